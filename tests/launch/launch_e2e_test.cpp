// The real flankguard program with autorun: a simulator window already open,
// autorun off, a launch of fake_lfs that is watched until its window closes,
// and a launch of a missing program. Each runs the program in a temporary
// directory with its own spotter/config.cfg, sending to a UDP socket of the
// test's own.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "launch_support.h"

using launchtest::Child;
using launchtest::NowMs;
using launchtest::Report;
using launchtest::TempDir;
using launchtest::Xvfb;

namespace {

using Bytes = std::vector<uint8_t>;

class AutorunTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.Path().empty());
        ASSERT_EQ(0, mkdir(dir.File("spotter").c_str(), 0755));
        // Would leave a mark if it ever ran.
        launchtest::WriteFile(dir.File("lfs.sh"), "#!/bin/sh\ntouch \"$0.ran\"\n", 0755);
    }

    void WriteConfig(bool autorun, const std::string& lfsPath) {
        launchtest::WriteFile(dir.File("spotter/config.cfg"),
                              "[main]\naddress=127.0.0.1\ndestPort=" + std::to_string(sink.Port()) +
                                  "\nsrcPort=" + std::to_string(launchtest::FreeUdpPort()) +
                                  "\nautorunLFS=" + (autorun ? "1" : "0") + "\nLFSpath=" + lfsPath + "\n");
    }

    void Start(const std::map<std::string, std::string>& env, const std::vector<std::string>& unset = {}) {
        ASSERT_TRUE(program.Start({FLANKGUARD_EXE}, dir.Path(), env, unset));
    }

    // The output after the settings line, where the launcher's line begins.
    std::string Tail() {
        const std::string& out = program.Out();
        const std::string loading = "Loading config " + dir.File("spotter/config.cfg") + "...\n\n";
        const size_t at = out.find(loading);
        return at == std::string::npos ? "<no settings line in: " + out + ">" : out.substr(at + loading.size());
    }

    std::string Attempt() const { return "Connecting to 127.0.0.1:" + std::to_string(sink.Port()) + "... "; }

    // Waits until the output holds `text`; returns when it was seen, or -1.
    int64_t WaitForOutput(const std::string& text, int timeoutMs) {
        int64_t seen = -1;
        launchtest::WaitFor(
            [&] {
                if (program.Out().find(text) == std::string::npos) return false;
                seen = NowMs();
                return true;
            },
            timeoutMs);
        return seen;
    }

    // Waits for the program to end; returns when it was seen ended, or -1.
    int64_t WaitForExit(int timeoutMs) {
        int64_t seen = -1;
        launchtest::WaitFor(
            [&] {
                if (program.Alive()) return false;
                seen = NowMs();
                return true;
            },
            timeoutMs);
        return seen;
    }

    std::vector<std::string> Ids() {
        std::vector<std::string> ids;
        for (const Bytes& d : sink.Received()) ids.push_back(launchtest::IdOf(d));
        return ids;
    }

    void ExpectEndedWithStatus0() {
        ASSERT_FALSE(program.Alive());
        EXPECT_TRUE(WIFEXITED(program.ExitStatus())) << "status " << program.ExitStatus();
        EXPECT_EQ(0, WEXITSTATUS(program.ExitStatus()));
    }

    TempDir dir;
    launchtest::UdpSink sink;
    Child program;
};

TEST_F(AutorunTest, SimulatorAlreadyRunningIsLeftAloneAndNotWatched) {
    Xvfb x;
    ASSERT_TRUE(x.Start()) << "Xvfb could not be started (package xvfb)";
    Child lfs;
    ASSERT_TRUE(launchtest::ShowWindow(&lfs, dir, x.Display(), {{"FAKE_LFS_FRAMES", "1"}}));
    WriteConfig(true, dir.File("lfs.sh"));
    Start({{"DISPLAY", x.Display()}});

    // No launch and so no 7.5 s wait: the attempt comes at once.
    ASSERT_GE(WaitForOutput(Attempt(), 2000), 0) << program.Out();
    EXPECT_EQ(Attempt(), Tail());
    ASSERT_TRUE(launchtest::WaitFor([&] { return Ids().size() >= 2; }, 1000));
    EXPECT_EQ((std::vector<std::string>{"ISI", "SST"}), Ids());

    // Closing that simulator does not end the program.
    ASSERT_TRUE(launchtest::SignalFake(lfs.Pid(), SIGTERM, dir.File("window.txt"), 1));
    usleep(300 * 1000);
    EXPECT_TRUE(program.Alive());
    EXPECT_EQ((std::vector<std::string>{"ISI", "SST"}), Ids()) << "no close packet";
    EXPECT_FALSE(launchtest::FileExists(dir.File("lfs.sh.ran")));
    EXPECT_EQ("", program.Err());
}

TEST_F(AutorunTest, AutorunOffNeitherSearchesNorLaunchesNorEnds) {
    // An X server stand-in that only listens: any window search would show
    // as a pending connection.
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(0, bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a));
    ASSERT_EQ(0, listen(listener, 8));
    socklen_t len = sizeof a;
    getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    const std::string display = "127.0.0.1:" + std::to_string(ntohs(a.sin_port) - 6000);

    WriteConfig(false, dir.File("lfs.sh"));
    Start({{"DISPLAY", display}});
    ASSERT_GE(WaitForOutput(Attempt(), 2000), 0) << program.Out();
    usleep(1000 * 1000);

    EXPECT_TRUE(program.Alive()) << "the program ended by itself";
    EXPECT_EQ(Attempt(), Tail());
    pollfd p = {listener, POLLIN, 0};
    EXPECT_EQ(0, poll(&p, 1, 0)) << "the program looked for a window";
    EXPECT_FALSE(launchtest::FileExists(dir.File("lfs.sh.ran")));
    EXPECT_EQ((std::vector<std::string>{"ISI", "SST"}), Ids());
    program.Kill();
    close(listener);
}

// One launch that shows all of it, since each launch costs the real 7.5 s:
// the words reach fake_lfs untouched by any shell, fake_lfs runs detached
// and leaves no child behind, the program waits, watches the window, and
// ends with the close packet within a cycle of the window closing.
TEST_F(AutorunTest, LaunchedSimulatorIsWatchedUntilItsWindowCloses) {
    Xvfb x;
    ASSERT_TRUE(x.Start()) << "Xvfb could not be started (package xvfb)";
    symlink(launchtest::FakeLfsPath().c_str(), dir.File("fake").c_str());
    const std::string lfsPath = dir.File("fake") + " $HOME ; touch " + dir.File("pwned") + " *\t`touch " +
                                dir.File("tick") + "` >" + dir.File("side.txt") + " $(id) |";
    const std::vector<std::string> words = {dir.File("fake"), "$HOME", ";", "touch", dir.File("pwned"), "*",
                                            "`touch", dir.File("tick") + "`", ">" + dir.File("side.txt"),
                                            "$(id)", "|", "/insim=29999"};
    WriteConfig(true, lfsPath);
    const std::string report = dir.File("launched.txt");
    Start({{"DISPLAY", x.Display()},
           {"FAKE_LFS_REPORT", report},
           {"FAKE_LFS_FRAMES", "1"},
           {"FAKE_LFS_MARK", "from flankguard"}});

    const std::string launchLine = "Autorun enabled, launching " + lfsPath + "... done.\n";
    const int64_t done = WaitForOutput(launchLine, 3000);
    ASSERT_GE(done, 0) << program.Out();
    EXPECT_EQ(launchLine, Tail());

    Report r;
    ASSERT_TRUE(launchtest::WaitForReport(report, &r)) << "fake_lfs did not start";
    ASSERT_GT(r.Number("window"), 0) << "fake_lfs showed no window";
    EXPECT_EQ(words, r.args);
    EXPECT_NE(getsid(program.Pid()), r.Number("sid"));
    EXPECT_EQ(r.Number("sid"), r.Number("pgid"));
    EXPECT_EQ((std::map<int, std::string>{{0, "/dev/null"}, {1, "/dev/null"}, {2, "/dev/null"}}), r.fds);
    EXPECT_EQ(dir.Path(), r.Fact("cwd"));
    EXPECT_EQ("from flankguard", r.Fact("mark"));
    EXPECT_EQ(std::vector<pid_t>{}, launchtest::ChildrenOf(program.Pid())) << "a child of flankguard is left";

    // The wait, then the first attempt with the window there.
    const int64_t attempt = WaitForOutput(Attempt(), 9000);
    ASSERT_GE(attempt, 0) << program.Out();
    EXPECT_GE(attempt - done, 7450);
    EXPECT_LE(attempt - done, 8500);
    EXPECT_EQ(launchLine + Attempt(), Tail());
    // The cycles run every 25 ms from the attempt line: close the window
    // just after one, so the wait for the next is close to a whole cycle.
    usleep(303 * 1000);
    ASSERT_TRUE(program.Alive()) << "ended while the window was open";
    EXPECT_EQ((std::vector<std::string>{"ISI", "SST"}), Ids());
    EXPECT_EQ(std::vector<pid_t>{}, launchtest::ChildrenOf(program.Pid()));

    const int64_t closing = NowMs();
    ASSERT_EQ(0, kill(static_cast<pid_t>(r.Number("pid")), SIGTERM));
    const int64_t ended = WaitForExit(2000);
    ASSERT_GE(ended, 0) << "still running after the window closed";
    EXPECT_LE(ended - closing, 125) << "a cycle is 25 ms";
    ExpectEndedWithStatus0();
    ASSERT_FALSE(sink.Received().empty());
    EXPECT_EQ(launchtest::Small("ISC", 100), sink.Received().back());
    EXPECT_EQ((std::vector<std::string>{"ISI", "SST", "ISC"}), Ids());
    EXPECT_EQ(launchLine + Attempt(), Tail());
    EXPECT_EQ("", program.Err());

    // fake_lfs acknowledges the close once its window is gone.
    EXPECT_TRUE(launchtest::WaitFor([&] { return launchtest::FileExists(report + ".ack"); }, 2000));
    for (const char* side : {"pwned", "tick", "side.txt"}) {
        EXPECT_FALSE(launchtest::FileExists(dir.File(side))) << side << " appeared";
    }
    EXPECT_EQ((std::vector<std::string>{"fake", "launched.txt", "launched.txt.ack", "lfs.sh", "spotter"}),
              dir.Entries());
}

// No display either: the window search is false at once and silent.
TEST_F(AutorunTest, FailedLaunchWaitsThenEndsAtTheFirstCycle) {
    const std::string missing = dir.File("LFS/LFS.exe");
    WriteConfig(true, missing);
    Start({}, {"DISPLAY"});

    const std::string launchLine = "Autorun enabled, launching " + missing + "... failed, error 0x2 (2).\n";
    const int64_t failed = WaitForOutput(launchLine, 3000);
    ASSERT_GE(failed, 0) << program.Out();
    EXPECT_EQ(launchLine, Tail());

    const int64_t attempt = WaitForOutput(Attempt(), 9000);
    ASSERT_GE(attempt, 0) << program.Out();
    EXPECT_GE(attempt - failed, 7450);
    EXPECT_LE(attempt - failed, 8500);
    const int64_t ended = WaitForExit(2000);
    ASSERT_GE(ended, 0) << "still running after the first cycle";
    EXPECT_LE(ended - attempt, 125);
    ExpectEndedWithStatus0();
    EXPECT_EQ((std::vector<std::string>{"ISI", "SST", "ISC"}), Ids());
    ASSERT_FALSE(sink.Received().empty());
    EXPECT_EQ(launchtest::Small("ISC", 100), sink.Received().back());
    EXPECT_EQ(launchLine + Attempt(), Tail());
    EXPECT_EQ("", program.Err());
}

}  // namespace
