// flankguard.exe under Wine against the stand-in simulator on loopback:
// the same spotting session as the Linux build must print the same console
// text (but for the form of the settings path and the line ends) and send
// the same datagrams; and the Windows launcher starts the simulator,
// watches its window, and reports a launch that fails.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "program.h"
#include "sim/peer.h"

namespace {

namespace fs = std::filesystem;

struct Target {
    const char* name;
    bool windows;
};
const Target kLinux = {"Linux build", false};
const Target kWindows = {"Windows build under Wine", true};

const char kBanner[] =
    "---------------------------------\n"
    " LFS Flankguard v1.1b by Ralvino\n"
    "---------------------------------\n\n";

std::vector<std::string> Command(const Target& t) {
    if (t.windows) return {FLANKGUARD_WINE, std::string(FLANKGUARD_WINDOWS_DIR) + "/flankguard.exe"};
    return {FLANKGUARD_NATIVE_EXE};
}

std::vector<std::string> Environment(const Target& t) {
    std::vector<std::string> env = {"FLANKGUARD_TRACE=1"};
    if (t.windows) {
        env.push_back(std::string("WINEPREFIX=") + FLANKGUARD_WINE_PREFIX);
        env.push_back("WINEDEBUG=-all");
        env.push_back("WINEDLLOVERRIDES=mscoree,mshtml=");
    }
    return env;
}

// A Linux directory as the program sees it: under Wine on drive Z:.
std::string SeenDir(const Target& t, const std::string& dir) {
    if (!t.windows) return dir;
    std::string seen = "Z:" + dir;
    for (char& c : seen) {
        if (c == '/') c = '\\';
    }
    return seen;
}

std::string ConfigLine(const Target& t, const std::string& dir) {
    const std::string tail = t.windows ? "\\spotter\\config.cfg" : "/spotter/config.cfg";
    return "Loading config " + SeenDir(t, dir) + tail + "...\n\n";
}

// The C runtime writes text-mode line ends on Windows.
std::string UnixLines(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') continue;
        out += s[i];
    }
    return out;
}

std::string Replaced(std::string s, const std::string& what, const std::string& with) {
    const size_t at = s.find(what);
    if (at != std::string::npos) s.replace(at, what.size(), with);
    return s;
}

// "cue <kind> <recording>" lines of the trace: the kinds, in order. The
// recording of a two-take cue is a coin toss, so it is left out.
std::vector<std::string> CueKinds(const std::string& trace) {
    std::vector<std::string> kinds;
    std::istringstream in(UnixLines(trace));
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("cue ", 0) != 0) continue;
        kinds.push_back(line.substr(4, line.find(' ', 4) - 4));
    }
    return kinds;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/flankguard-wine-XXXXXX";
        if (mkdtemp(pattern)) path = fs::canonical(pattern).string();
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path.empty()) fs::remove_all(path, ignored);
    }
    std::string path;
};

// What one run of the program left behind.
struct Session {
    std::string dir;
    std::string out;
    std::string err;
    std::vector<sim::Bytes> received;
};

class WineE2e : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.Open(0)) << sim.Error();
        srcPort = e2e::FreeUdpPort();
        ASSERT_NE(0, srcPort);
    }

    void TearDown() override {
        child.Kill();
        if (HasFailure()) {
            std::cerr << "--- program stdout:\n" << child.Stdout() << "\n--- program stderr:\n" << child.Stderr()
                      << "\n--- simulator received:\n";
            for (const sim::Datagram& d : sim.Received()) std::cerr << "  " << sim::Hex(d.bytes).substr(0, 216) << "\n";
        }
    }

    // Writes spotter/config.cfg in `dir` and starts the program there. The
    // reader takes the first line of a key, so `mainLines` can override
    // autorunLFS=0.
    void Start(const Target& t, const std::string& dir, const std::string& mainLines = "", bool voices = false) {
        ASSERT_FALSE(dir.empty()) << "no temporary directory";
        fs::create_directory(dir + "/spotter");
        {
            std::ofstream cfg(dir + "/spotter/config.cfg", std::ios::binary);
            cfg << "[main]\naddress=127.0.0.1\ndestPort=" << sim.Port() << "\nsrcPort=" << srcPort << "\n"
                << mainLines << "autorunLFS=0\n[spotting]\nprediction=0\n";
            ASSERT_TRUE(cfg.good());
        }
        if (voices) {
            for (const fs::directory_entry& e : fs::directory_iterator(FLANKGUARD_VOICE_DIR)) {
                if (e.path().extension() == ".wav") fs::copy_file(e.path(), dir + "/spotter/" + e.path().filename().string());
            }
        }
        std::string error;
        child.extraEnv = Environment(t);
        ASSERT_TRUE(child.Start(Command(t), dir, &error)) << error;
        started = std::chrono::steady_clock::now();
    }

    bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            sim.Pump(2);
            child.Drain();
            if (done()) return true;
            if (std::chrono::steady_clock::now() >= deadline || !child.Alive()) {
                sim.Pump(0);
                child.Drain();
                return done();
            }
        }
    }

    long WaitForDatagram(const std::function<bool(const sim::Bytes&)>& match, size_t from, int timeoutMs) {
        long found = -1;
        WaitUntil(
            [&] {
                for (size_t i = from; i < sim.Received().size(); ++i) {
                    if (match(sim.Received()[i].bytes)) {
                        found = static_cast<long>(i);
                        return true;
                    }
                }
                return false;
            },
            timeoutMs);
        return found;
    }

    // A barrier: a LAP with a fresh acknowledgement value, answered by its
    // ACK once everything sent before it has been handled.
    void Probe() {
        const uint16_t value = nextProbe++;
        const size_t from = sim.Received().size();
        ASSERT_TRUE(sim.SendAcked("LAP", value));
        ASSERT_GE(WaitForDatagram(
                      [value](const sim::Bytes& b) {
                          int32_t v = 0;
                          return sim::IsSmall(b, "ACK", &v) && v == value;
                      },
                      from, 10000),
                  0)
            << "no ACK for the probe " << value;
    }

    size_t CueCount() { return CueKinds(child.Stderr()).size(); }

    // Handshake with two players, acknowledgements, a car that comes
    // alongside on the right and goes again; then the program is ended.
    void RunSpotting(const Target& t, Session* s) {
        SCOPED_TRACE(t.name);
        TempDir dir;
        s->dir = dir.path;
        nextProbe = 0xB001;
        sim.config.state.playerCount = 2;
        sim.config.state.ownIndex = 0;
        sim.config.state.raceActive = 1;
        sim.config.state.track = "BL1";
        sim.config.players = {{0, "Alice", "XF GTI"}, {1, "Bob", "FZ50 GTR"}};
        const size_t from = sim.Received().size();
        ASSERT_NO_FATAL_FAILURE(Start(t, dir.path, "", true));
        ASSERT_GE(WaitForDatagram([](const sim::Bytes& b) { return sim::HasId(b, "MST"); }, from, 60000), 0)
            << "the handshake did not complete";
        ASSERT_TRUE(WaitUntil([&] { return child.Stdout().find("Player 1: Bob car:FZ50 GTR") != std::string::npos; },
                              10000));
        ASSERT_NO_FATAL_FAILURE(Probe());
        ASSERT_TRUE(sim.SendAcked("PIT", 0x0222));
        ASSERT_NO_FATAL_FAILURE(Probe());

        sim::CarRecord own;
        own.speed = 10000;
        sim::CarRecord other = own;
        other.x = 3 * 65536;
        ASSERT_TRUE(sim.SendMci(2, 0, {own, other}));
        EXPECT_TRUE(WaitUntil([&] { return CueCount() >= 1; }, 10000)) << "no cue for the car alongside";
        other.y = 40 * 65536;
        ASSERT_TRUE(sim.SendMci(2, 0, {own, other}));
        EXPECT_TRUE(WaitUntil([&] { return CueCount() >= 2; }, 10000)) << "no cue when it went";
        ASSERT_NO_FATAL_FAILURE(Probe());

        child.Kill();
        s->out = child.Stdout();
        s->err = child.Stderr();
        for (size_t i = from; i < sim.Received().size(); ++i) s->received.push_back(sim.Received()[i].bytes);
    }

    sim::Peer sim;
    e2e::Program child;
    uint16_t srcPort = 0;
    uint16_t nextProbe = 0xB001;
    std::chrono::steady_clock::time_point started;
};

TEST_F(WineE2e, SpottingSessionMatchesTheLinuxBuild) {
    Session onLinux, onWindows;
    ASSERT_NO_FATAL_FAILURE(RunSpotting(kLinux, &onLinux));
    ASSERT_NO_FATAL_FAILURE(RunSpotting(kWindows, &onWindows));

    // The Windows console: the banner first, the settings path in its
    // Windows form, and otherwise the Linux text line for line.
    const std::string out = UnixLines(onWindows.out);
    EXPECT_EQ(0u, out.find(kBanner)) << out;
    const std::string configLine = ConfigLine(kWindows, onWindows.dir);
    EXPECT_NE(std::string::npos, out.find(configLine)) << "wanted: " << configLine;
    EXPECT_NE(std::string::npos, out.find("Connecting to 127.0.0.1:" + std::to_string(sim.Port()) + "... Connected\n"));
    EXPECT_EQ(Replaced(UnixLines(onLinux.out), ConfigLine(kLinux, onLinux.dir), "<settings path line>"),
              Replaced(out, configLine, "<settings path line>"));

    // The same datagrams, byte for byte, in the same order.
    ASSERT_FALSE(onLinux.received.empty());
    ASSERT_FALSE(onWindows.received.empty());
    EXPECT_TRUE(sim::HasId(onWindows.received.front(), "ISI"));
    EXPECT_EQ(onLinux.received.size(), onWindows.received.size());
    for (size_t i = 0; i < onLinux.received.size() && i < onWindows.received.size(); ++i) {
        EXPECT_EQ(sim::Hex(onLinux.received[i]), sim::Hex(onWindows.received[i])) << "datagram " << i;
    }

    // The same call-outs.
    const std::vector<std::string> cues = CueKinds(onWindows.err);
    ASSERT_FALSE(cues.empty()) << "no cue trace: " << onWindows.err;
    EXPECT_EQ("CarRight", cues.front());
    EXPECT_EQ(CueKinds(onLinux.err), cues);
}

TEST_F(WineE2e, FailedLaunchIsReportedAndEndsTheProgram) {
    TempDir dir;
    // No state answer: the one attempt stays in Connecting until the
    // window watch ends it.
    sim.config.answerState = false;
    ASSERT_NO_FATAL_FAILURE(Start(kWindows, dir.path, "autorunLFS=1\nLFSpath=flankguard_no_such_program.exe\n"));
    ASSERT_TRUE(WaitUntil([] { return false; }, 40000) || !child.Alive());
    ASSERT_FALSE(child.Alive()) << "the program did not end";
    const auto ran = std::chrono::steady_clock::now() - started;
    EXPECT_TRUE(WIFEXITED(child.ExitStatus()) && WEXITSTATUS(child.ExitStatus()) == 0) << "status " << child.ExitStatus();
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(ran).count(), 7500) << "the wait after a launch";

    // On a busy machine an attempt may time out before the first window
    // check; the last attempt is always the one the watch ends.
    const std::string out = UnixLines(child.Stdout());
    const std::string head = ConfigLine(kWindows, dir.path) +
                             "Autorun enabled, launching flankguard_no_such_program.exe... failed, error 0x2 (2).\n";
    const std::string attempt = "Connecting to 127.0.0.1:" + std::to_string(sim.Port()) + "... ";
    const size_t at = out.find(head);
    ASSERT_NE(std::string::npos, at) << out;
    std::string rest = out.substr(at + head.size());
    size_t timeouts = 0;
    while (rest.rfind(attempt + "Connect timeout.\n", 0) == 0) {
        rest = rest.substr(attempt.size() + 17);
        ++timeouts;
    }
    EXPECT_EQ(attempt, rest);

    std::vector<std::string> got;
    for (const sim::Datagram& d : sim.Received()) got.push_back(sim::Hex(d.bytes));
    sim::Bytes isi = sim::BuildBlank("ISI", sim::kIsiSize);
    sim::PutLe16(isi, 4, srcPort);
    isi[6] = 0x31;
    isi[7] = 1;
    std::vector<std::string> want;
    for (size_t i = 0; i <= timeouts; ++i) {
        want.push_back(sim::Hex(isi));
        want.push_back(sim::Hex(sim::BuildSmall("SST", 0)));
    }
    want.push_back(sim::Hex(sim::BuildSmall("ISC", 100)));
    EXPECT_EQ(want, got);
}

TEST_F(WineE2e, LaunchedSimulatorIsWatchedUntilItsWindowCloses) {
    ASSERT_NE(nullptr, getenv("DISPLAY")) << "Wine needs an X display for windows: run under xvfb-run";
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    fs::copy_file(std::string(FLANKGUARD_WINDOWS_DIR) + "/tests/windows/fake_lfs_window.exe",
                  dir.path + "/fake_lfs_window.exe");
    sim.config.state.playerCount = 0;
    // The stand-in keeps its window for 10 s: past the 7.5 s wait after
    // the launch and the handshake.
    ASSERT_NO_FATAL_FAILURE(Start(kWindows, dir.path, "autorunLFS=1\nLFSpath=./fake_lfs_window.exe 10000\n"));
    ASSERT_GE(WaitForDatagram([](const sim::Bytes& b) { return sim::HasId(b, "MST"); }, 0, 30000), 0)
        << "no handshake while the simulator's window is open";
    EXPECT_TRUE(child.Alive());
    ASSERT_TRUE(WaitUntil([&] { return !child.Alive(); }, 30000)) << "the program did not end with the window";
    EXPECT_TRUE(WIFEXITED(child.ExitStatus()) && WEXITSTATUS(child.ExitStatus()) == 0) << "status " << child.ExitStatus();

    const std::string out = UnixLines(child.Stdout());
    EXPECT_NE(std::string::npos, out.find(ConfigLine(kWindows, dir.path) +
                                          "Autorun enabled, launching ./fake_lfs_window.exe 10000... done.\n"
                                          "Connecting to 127.0.0.1:" +
                                          std::to_string(sim.Port()) + "... Connected\n"))
        << out;
    ASSERT_FALSE(sim.Received().empty());
    EXPECT_EQ(sim::Hex(sim::BuildSmall("ISC", 100)), sim::Hex(sim.Received().back().bytes)) << "the close packet last";

    // The simulator got the switch on its command line and the program's
    // own directory.
    const std::string report = ReadFile(dir.path + "/fake_lfs_report.txt");
    EXPECT_EQ("cmdline ./fake_lfs_window.exe 10000 /insim=29999\ncwd " + SeenDir(kWindows, dir.path) + "\n", report);
}

}  // namespace
