// The real POSIX backend's PlatLaunch and PlatWindowExists: which program
// a command line starts and with which arguments, the errors, how detached
// the program is, and the window search on a private Xvfb, including a
// window manager's frames, exact titles and a server that goes away.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "launch_support.h"
#include "platform/platform.h"

using launchtest::Child;
using launchtest::Report;
using launchtest::TempDir;
using launchtest::Xvfb;

namespace {

const char kTitle[] = "Live for Speed";

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// True when this process has no child at all, not even a zombie.
bool NoChildren() {
    errno = 0;
    return waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

// --- PlatLaunch ----------------------------------------------------------------

// Sets the environment of one test and puts it back afterwards, for runs of
// many tests in one process.
class EnvGuard {
public:
    void Set(const char* name, const std::string& value) {
        Keep(name);
        setenv(name, value.c_str(), 1);
    }
    void Unset(const char* name) {
        Keep(name);
        unsetenv(name);
    }
    ~EnvGuard() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second.has_value) {
                setenv(it->first.c_str(), it->second.value.c_str(), 1);
            } else {
                unsetenv(it->first.c_str());
            }
        }
    }

private:
    struct Old {
        bool has_value;
        std::string value;
    };
    void Keep(const char* name) {
        const char* v = getenv(name);
        saved_.push_back({name, Old{v != nullptr, v ? v : ""}});
    }
    std::vector<std::pair<std::string, Old>> saved_;
};

class LaunchTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.Path().empty());
        report = dir.File("report.txt");
        env.Set("FAKE_LFS_REPORT", report);
        env.Set("FAKE_LFS_WINDOW", "0");
        env.Unset("DISPLAY");
        mkdir(dir.File("bin").c_str(), 0755);
        mkdir(dir.File("subdir").c_str(), 0755);
        symlink(launchtest::FakeLfsPath().c_str(), dir.File("fake").c_str());
        launchtest::WriteFile(dir.File("plain.txt"), "text\n", 0644);
        launchtest::WriteFile(dir.File("garbage"), std::string("\x01\x02garbage\n"), 0755);
        launchtest::WriteFile(dir.File("nointerp"), "#!/nonexistent/interpreter\n", 0755);
        launchtest::WriteFile(dir.File("LFS.exe"), "MZ not really\n", 0644);
        // Nothing of the system's: the tests put their own wine there.
        env.Set("PATH", dir.File("bin"));
    }

    // The command line with {dir} and {fake} filled in.
    std::string Line(const std::string& text) const {
        return Replace(Replace(text, "{fake}", dir.File("fake")), "{dir}", dir.Path());
    }

    // Launches and waits for fake_lfs's report. Fatal when either fails.
    Report LaunchAndReport(const std::string& cmdline) {
        Report r;
        const uint32_t err = PlatLaunch(cmdline.c_str());
        EXPECT_EQ(0u, err) << cmdline;
        EXPECT_TRUE(NoChildren()) << "PlatLaunch left a child to reap";
        EXPECT_TRUE(launchtest::WaitForReport(report, &r)) << "no report from " << cmdline;
        return r;
    }

    EnvGuard env;
    TempDir dir;
    std::string report;
};

struct FailCase {
    const char* name;
    const char* cmdline;
    uint32_t error;
};

void PrintTo(const FailCase& c, std::ostream* os) {
    *os << c.name;
}

class LaunchFails : public LaunchTest, public testing::WithParamInterface<FailCase> {};

TEST_P(LaunchFails, WithTheErrno) {
    const FailCase& c = GetParam();
    const std::string line = Line(c.cmdline);
    EXPECT_EQ(c.error, PlatLaunch(line.c_str())) << line;
    EXPECT_TRUE(NoChildren());
    usleep(20000);
    EXPECT_FALSE(launchtest::FileExists(report)) << "something was started";
}

INSTANTIATE_TEST_SUITE_P(
    Launch, LaunchFails,
    testing::Values(FailCase{"Empty", "", ENOENT}, FailCase{"OnlyBlanks", " \t  \t", ENOENT},
                    FailCase{"MissingFile", "{dir}/missing /insim=29999", ENOENT},
                    FailCase{"MissingExe", "{dir}/LFS/LFS.exe /insim=29999", ENOENT},
                    FailCase{"ThroughAFile", "{dir}/plain.txt/LFS.exe /insim=29999", ENOENT},
                    FailCase{"NotOnPath", "flankguard-no-such-program /insim=29999", ENOENT},
                    FailCase{"Directory", "{dir}/subdir /insim=29999", EACCES},
                    FailCase{"NotExecutable", "{dir}/plain.txt /insim=29999", EACCES},
                    FailCase{"NotAProgram", "{dir}/garbage /insim=29999", ENOEXEC},
                    FailCase{"MissingInterpreter", "{dir}/nointerp /insim=29999", ENOENT},
                    // A Windows program, and no wine on PATH.
                    FailCase{"ExeWithoutWine", "{dir}/LFS.exe /insim=29999", ENOENT}),
    [](const testing::TestParamInfo<FailCase>& info) { return std::string(info.param.name); });

TEST_F(LaunchTest, OverlongCommandLineIsRefused) {
    const std::string line = dir.File("fake") + " " + std::string(5000, 'x');
    EXPECT_EQ(static_cast<uint32_t>(E2BIG), PlatLaunch(line.c_str()));
    EXPECT_TRUE(NoChildren());
}

struct ArgsCase {
    const char* name;
    const char* cmdline;
    std::vector<std::string> args;  // after {dir}/{fake} replacement
};

void PrintTo(const ArgsCase& c, std::ostream* os) {
    *os << c.name;
}

class LaunchArgs : public LaunchTest, public testing::WithParamInterface<ArgsCase> {};

// Words at blanks and nothing else: no shell, no quotes, no expansion.
TEST_P(LaunchArgs, ReachTheProgramLiterally) {
    const ArgsCase& c = GetParam();
    const Report r = LaunchAndReport(Line(c.cmdline));
    std::vector<std::string> expected;
    for (const std::string& a : c.args) expected.push_back(Line(a));
    EXPECT_EQ(expected, r.args);
    for (const char* side : {"pwned", "tick", "side.txt", "id"}) {
        EXPECT_FALSE(launchtest::FileExists(dir.File(side))) << side << " appeared";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Launch, LaunchArgs,
    testing::Values(
        ArgsCase{"Plain", "{fake} /insim=29999", {"{fake}", "/insim=29999"}},
        ArgsCase{"RunsOfBlanksAndTabs", "  \t{fake}\t a  \t\tb   /insim=29999 \t", {"{fake}", "a", "b", "/insim=29999"}},
        ArgsCase{"QuotesStayQuotes",
                 "{fake} \"two words\" 'one' \\ a\\b /insim=29999",
                 {"{fake}", "\"two", "words\"", "'one'", "\\", "a\\b", "/insim=29999"}},
        ArgsCase{"ShellCharactersStayText",
                 "{fake} $HOME ; touch {dir}/pwned * `touch {dir}/tick` >{dir}/side.txt $(id>{dir}/id) | & /insim=29999",
                 {"{fake}", "$HOME", ";", "touch", "{dir}/pwned", "*", "`touch", "{dir}/tick`", ">{dir}/side.txt",
                  "$(id>{dir}/id)", "|", "&", "/insim=29999"}}),
    [](const testing::TestParamInfo<ArgsCase>& info) { return std::string(info.param.name); });

TEST_F(LaunchTest, BareNameIsFoundOnPath) {
    // A file of the name that cannot be started is passed over.
    mkdir(dir.File("noexec").c_str(), 0755);
    launchtest::WriteFile(dir.File("noexec/fake-lfs-cmd"), "#!/bin/sh\n", 0644);
    symlink(launchtest::FakeLfsPath().c_str(), dir.File("bin/fake-lfs-cmd").c_str());
    env.Set("PATH", dir.File("empty") + ":" + dir.File("noexec") + ":" + dir.File("bin"));
    const Report r = LaunchAndReport("fake-lfs-cmd /insim=29999");
    EXPECT_EQ((std::vector<std::string>{"fake-lfs-cmd", "/insim=29999"}), r.args);
}

TEST_F(LaunchTest, BareNameOnlyNotExecutableIsAccessError) {
    mkdir(dir.File("noexec").c_str(), 0755);
    launchtest::WriteFile(dir.File("noexec/fake-lfs-cmd"), "#!/bin/sh\n", 0644);
    env.Set("PATH", dir.File("noexec"));
    EXPECT_EQ(static_cast<uint32_t>(EACCES), PlatLaunch("fake-lfs-cmd /insim=29999"));
}

TEST_F(LaunchTest, WindowsProgramGoesThroughWine) {
    symlink(launchtest::FakeLfsPath().c_str(), dir.File("bin/wine").c_str());
    launchtest::WriteFile(dir.File("Game.EXE"), "MZ\n", 0644);
    const std::string wine = dir.File("bin/wine");

    Report r = LaunchAndReport(Line("{dir}/LFS.exe /insim=29999"));
    EXPECT_EQ((std::vector<std::string>{wine, dir.File("LFS.exe"), "/insim=29999"}), r.args);

    unlink(report.c_str());
    r = LaunchAndReport(Line("{dir}/Game.EXE  a\tb /insim=29999"));
    EXPECT_EQ((std::vector<std::string>{wine, dir.File("Game.EXE"), "a", "b", "/insim=29999"}), r.args);
}

TEST_F(LaunchTest, WindowsProgramOnPathGoesThroughWineByItsPath) {
    symlink(launchtest::FakeLfsPath().c_str(), dir.File("bin/wine").c_str());
    mkdir(dir.File("games").c_str(), 0755);
    launchtest::WriteFile(dir.File("games/LFS.exe"), "MZ\n", 0644);
    env.Set("PATH", dir.File("games") + ":" + dir.File("bin"));
    const Report r = LaunchAndReport("LFS.exe /insim=29999");
    EXPECT_EQ((std::vector<std::string>{dir.File("bin/wine"), dir.File("games/LFS.exe"), "/insim=29999"}), r.args);
}

TEST_F(LaunchTest, ExecutableExeRunsDirectly) {
    symlink(launchtest::FakeLfsPath().c_str(), dir.File("bin/wine").c_str());
    symlink(launchtest::FakeLfsPath().c_str(), dir.File("native.exe").c_str());
    const Report r = LaunchAndReport(Line("{dir}/native.exe /insim=29999"));
    EXPECT_EQ((std::vector<std::string>{dir.File("native.exe"), "/insim=29999"}), r.args);
}

TEST_F(LaunchTest, ProgramIsDetached) {
    // What this process has that the program must not get: an inheritable
    // descriptor, a blocked and an ignored signal.
    const int leak = open("/dev/zero", O_RDONLY);
    ASSERT_GE(leak, 3);
    sigset_t block;
    sigemptyset(&block);
    sigaddset(&block, SIGUSR2);
    sigprocmask(SIG_BLOCK, &block, nullptr);
    signal(SIGPIPE, SIG_IGN);
    env.Set("FAKE_LFS_MARK", "own environment");
    char cwd[4096];
    ASSERT_NE(nullptr, getcwd(cwd, sizeof cwd));
    ASSERT_EQ(0, chdir(dir.File("subdir").c_str()));

    const Report r = LaunchAndReport(Line("{fake} /insim=29999"));
    ASSERT_GT(r.Number("pid"), 0);
    EXPECT_NE(getsid(0), r.Number("sid"));
    EXPECT_NE(getpgrp(), r.Number("pgid"));
    EXPECT_EQ(r.Number("sid"), r.Number("pgid")) << "its own group in its own session";
    EXPECT_NE(r.Number("pid"), r.Number("sid")) << "a session leader could gain a terminal";
    EXPECT_EQ((std::map<int, std::string>{{0, "/dev/null"}, {1, "/dev/null"}, {2, "/dev/null"}}), r.fds);
    EXPECT_EQ(dir.File("subdir"), r.Fact("cwd"));
    EXPECT_EQ("own environment", r.Fact("mark"));
    EXPECT_EQ("0000000000000000", r.Fact("sigblk"));
    EXPECT_EQ("0000000000000000", r.Fact("sigign"));

    close(leak);
    sigprocmask(SIG_UNBLOCK, &block, nullptr);
    signal(SIGPIPE, SIG_DFL);
    EXPECT_EQ(0, chdir(cwd));
}

// Started with stdin and stdout closed, the report pipe of the launch gets
// descriptors 0 and 1; an exec failure must still come back.
TEST_F(LaunchTest, ClosedStandardDescriptorsKeepTheFailureReport) {
    const int savedIn = dup(0);
    const int savedOut = dup(1);
    ASSERT_GE(savedIn, 0);
    ASSERT_GE(savedOut, 0);
    close(0);
    close(1);
    const uint32_t failed = PlatLaunch(Line("{dir}/garbage /insim=29999").c_str());
    const uint32_t started = PlatLaunch(Line("{fake} /insim=29999").c_str());
    dup2(savedIn, 0);
    dup2(savedOut, 1);
    close(savedIn);
    close(savedOut);
    EXPECT_EQ(static_cast<uint32_t>(ENOEXEC), failed);
    EXPECT_EQ(0u, started);
    Report r;
    ASSERT_TRUE(launchtest::WaitForReport(report, &r));
    EXPECT_EQ((std::map<int, std::string>{{0, "/dev/null"}, {1, "/dev/null"}, {2, "/dev/null"}}), r.fds);
}

TEST_F(LaunchTest, ManyLaunchesLeaveNoChildren) {
    for (int i = 0; i < 5; ++i) {
        unlink(report.c_str());
        LaunchAndReport(Line("{fake} /insim=29999"));
    }
    EXPECT_TRUE(NoChildren());
}

// --- PlatWindowExists ---------------------------------------------------------

// Every test gets a private server; each runs in a process of its own, so
// the backend's display connection starts fresh.
class WindowTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(x.Start()) << "Xvfb could not be started (package xvfb)";
        env.Set("DISPLAY", x.Display());
    }

    // fake_lfs shows a window with `env`; its report at dir/<name>.txt.
    bool Show(Child* child, const std::string& name, std::map<std::string, std::string> env = {}) {
        env["FAKE_LFS_REPORT"] = dir.File(name + ".txt");
        return launchtest::ShowWindow(child, dir, x.Display(), env);
    }
    bool Signal(Child* child, const std::string& name, int sig, int ack) {
        return launchtest::SignalFake(child->Pid(), sig, dir.File(name + ".txt"), ack);
    }

    EnvGuard env;
    Xvfb x;
    TempDir dir;
};

TEST_F(WindowTest, NoWindowNoSimulator) {
    EXPECT_FALSE(PlatWindowExists(kTitle));
    EXPECT_FALSE(PlatWindowExists(kTitle));
}

struct ShownCase {
    const char* name;
    const char* title;
    const char* prop;    // wm, net, both
    const char* frames;  // frame windows around it
    bool found;
};

void PrintTo(const ShownCase& c, std::ostream* os) {
    *os << c.name;
}

class WindowShown : public WindowTest, public testing::WithParamInterface<ShownCase> {};

TEST_P(WindowShown, FoundByExactTitle) {
    const ShownCase& c = GetParam();
    Child lfs;
    ASSERT_TRUE(Show(&lfs, "w", {{"FAKE_LFS_TITLE", c.title}, {"FAKE_LFS_PROP", c.prop}, {"FAKE_LFS_FRAMES", c.frames}}));
    EXPECT_EQ(c.found, PlatWindowExists(kTitle));
    EXPECT_EQ(c.found, PlatWindowExists(kTitle)) << "second look";
}

const std::string kLongTitle = std::string(kTitle) + std::string(200, '!');

INSTANTIATE_TEST_SUITE_P(
    Window, WindowShown,
    testing::Values(ShownCase{"TopLevelBothNames", kTitle, "both", "0", true},
                    ShownCase{"TopLevelWmName", kTitle, "wm", "0", true},
                    ShownCase{"TopLevelNetWmName", kTitle, "net", "0", true},
                    ShownCase{"InFrameWmName", kTitle, "wm", "1", true},
                    ShownCase{"InFrameNetWmName", kTitle, "net", "1", true},
                    ShownCase{"InTwoFrames", kTitle, "both", "2", true},
                    ShownCase{"TrailingBlank", "Live for Speed ", "both", "0", false},
                    ShownCase{"OtherCase", "live for speed", "both", "0", false},
                    ShownCase{"Prefix", "Live for Spee", "both", "0", false},
                    ShownCase{"Longer", "Live for Speed2", "both", "0", false},
                    ShownCase{"LongerInFrame", "Live for Speed S3", "net", "1", false},
                    ShownCase{"MuchLonger", kLongTitle.c_str(), "both", "0", false},
                    ShownCase{"LeadingText", "XLive for Speed", "wm", "0", false},
                    ShownCase{"EmptyTitle", "", "both", "0", false}),
    [](const testing::TestParamInfo<ShownCase>& info) { return std::string(info.param.name); });

TEST_F(WindowTest, FollowsWindowsComingGoingAndRenamed) {
    Child a, b;
    ASSERT_TRUE(Show(&a, "a", {{"FAKE_LFS_FRAMES", "1"}}));
    EXPECT_TRUE(PlatWindowExists(kTitle));
    ASSERT_TRUE(Signal(&a, "a", SIGUSR1, 1));  // renamed
    EXPECT_FALSE(PlatWindowExists(kTitle));
    ASSERT_TRUE(Show(&b, "b"));
    EXPECT_TRUE(PlatWindowExists(kTitle));
    ASSERT_TRUE(Signal(&b, "b", SIGTERM, 1));  // closed
    EXPECT_FALSE(PlatWindowExists(kTitle));
    EXPECT_FALSE(PlatWindowExists(kTitle));
}

TEST_F(WindowTest, ClosedWindowIsMissedAtTheNextLook) {
    Child a;
    ASSERT_TRUE(Show(&a, "a"));
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(PlatWindowExists(kTitle));
    ASSERT_TRUE(Signal(&a, "a", SIGTERM, 1));
    EXPECT_FALSE(PlatWindowExists(kTitle));
}

TEST_F(WindowTest, ServerGoingAwayIsNoWindowAndNoExit) {
    Child a;
    ASSERT_TRUE(Show(&a, "a"));
    ASSERT_TRUE(PlatWindowExists(kTitle));
    const int number = x.Number();
    x.Stop(true);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(PlatWindowExists(kTitle));
    EXPECT_FALSE(PlatWindowExists(kTitle));
    EXPECT_EQ("", testing::internal::GetCapturedStderr());

    // A new server on the same display: the connection is made again.
    ASSERT_TRUE(x.Start(number));
    EXPECT_FALSE(PlatWindowExists(kTitle));
    Child b;
    ASSERT_TRUE(Show(&b, "b"));
    EXPECT_TRUE(PlatWindowExists(kTitle));
}

TEST(WindowRefused, ServerThatRefusesIsNoWindowAndSilent) {
    // The server knows one cookie (an Xauthority record: family, address,
    // display number, name, data, each length-prefixed); this process has
    // none, so it is refused.
    auto field = [](const std::string& text) {
        return std::string{static_cast<char>(text.size() >> 8), static_cast<char>(text.size() & 0xFF)} + text;
    };
    const std::string cookie = std::string("\x01\x00", 2) + field("localhost") + field("0") +
                               field("MIT-MAGIC-COOKIE-1") + field("0123456789abcdef");
    TempDir dir;
    launchtest::WriteFile(dir.File("cookies"), cookie);
    Xvfb x;
    ASSERT_TRUE(x.Start(-1, dir.File("cookies"))) << "Xvfb could not be started (package xvfb)";
    EnvGuard env;
    env.Set("DISPLAY", x.Display());
    env.Set("XAUTHORITY", dir.File("no-cookies"));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(PlatWindowExists(kTitle));
    EXPECT_FALSE(PlatWindowExists(kTitle));
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
}

// --- No display -----------------------------------------------------------------

// TCP stand-ins for an X server (display N is TCP port 6000 + N): one that
// accepts and at once closes every connection, from a thread of its own,
// and a port where nothing listens.
class StandIns {
public:
    StandIns() {
        refusing_ = Bound();
        listen(refusing_, 8);
        closed_ = Bound();
        closer_ = std::thread([this] {
            while (!stop_) {
                pollfd p = {refusing_, POLLIN, 0};
                if (poll(&p, 1, 10) <= 0) continue;
                const int c = accept(refusing_, nullptr, nullptr);
                if (c >= 0) {
                    ++accepted_;
                    close(c);
                }
            }
        });
    }
    ~StandIns() {
        stop_ = true;
        closer_.join();
        close(refusing_);
        close(closed_);
    }
    std::string Refusing() const { return DisplayOf(refusing_); }
    std::string Closed() const { return DisplayOf(closed_); }
    int Accepted() const { return accepted_; }

private:
    static int Bound() {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        return fd;
    }
    static std::string DisplayOf(int fd) {
        sockaddr_in a{};
        socklen_t len = sizeof a;
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        return "127.0.0.1:" + std::to_string(ntohs(a.sin_port) - 6000);
    }
    int refusing_ = -1;
    int closed_ = -1;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::thread closer_;
};

struct NoDisplayCase {
    const char* name;
    const char* display;  // nullptr: DISPLAY unset; "@refusing", "@closed": the stand-ins
};

void PrintTo(const NoDisplayCase& c, std::ostream* os) {
    *os << c.name;
}

class NoDisplay : public testing::TestWithParam<NoDisplayCase> {};

TEST_P(NoDisplay, FalseQuicklyAndSilently) {
    const NoDisplayCase& c = GetParam();
    StandIns standIns;
    std::string display = c.display ? c.display : "";
    if (display == "@refusing") display = standIns.Refusing();
    if (display == "@closed") display = standIns.Closed();
    EnvGuard env;
    if (c.display) {
        env.Set("DISPLAY", display);
    } else {
        env.Unset("DISPLAY");
    }
    testing::internal::CaptureStderr();
    const int64_t start = launchtest::NowMs();
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(PlatWindowExists(kTitle));
    const int64_t took = launchtest::NowMs() - start;
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
    EXPECT_LT(took, 300) << "three looks took " << took << " ms";
    if (std::string(c.name) == "Refusing") {
        EXPECT_EQ(3, standIns.Accepted()) << "a new try at every look";
    }
}

INSTANTIATE_TEST_SUITE_P(Window, NoDisplay,
                         testing::Values(NoDisplayCase{"Unset", nullptr}, NoDisplayCase{"Empty", ""},
                                         NoDisplayCase{"NoServer", ":4711"},
                                         NoDisplayCase{"ClosedTcpPort", "@closed"},
                                         NoDisplayCase{"Refusing", "@refusing"}),
                         [](const testing::TestParamInfo<NoDisplayCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
