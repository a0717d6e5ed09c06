// The flankguard-sim program as people run it: scenario errors with their
// lines, the dry run, --program with --expect passing and failing, and
// --record followed by --replay --fast.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>

#include "support.h"

namespace scenarios {
namespace {

struct Outcome {
    int status = -1;
    std::string output;  // standard output and error together
};

Outcome RunSim(const std::string& args) {
    Outcome o;
    const std::string command = std::string("AUDIODEV=null '") + FLANKGUARD_SIM_EXE + "' " + args + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return o;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) o.output.append(buf, n);
    const int status = pclose(pipe);
    o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return o;
}

std::string Quote(const std::string& s) {
    return "'" + s + "'";
}

TEST(SimCommand, BadScenarioNamesItsLine) {
    RunDir dir;
    const std::string path = dir.Path() + "/bad.scn";
    std::ofstream(path) << "car 0 \"XF GTI\" at 0 0 speed 100\n\nat 2 car 0 swerve 3\n";
    const Outcome o = RunSim("--dry-run " + Quote(path));
    EXPECT_EQ(2, o.status) << o.output;
    EXPECT_NE(std::string::npos, o.output.find(path + ":3: unknown action 'swerve'")) << o.output;
}

TEST(SimCommand, UsageErrors) {
    for (const char* args : {"--fast", "--expect", "--rate 0", "--speed x", "--listen 127.0.0.1:99999", "--bogus",
                             "--expect x.scn", "a.scn b.scn"}) {
        const Outcome o = RunSim(args);
        EXPECT_EQ(2, o.status) << args << ": " << o.output;
    }
    EXPECT_EQ(0, RunSim("--help").status);
}

TEST(SimCommand, DryRunTellsTheTimeline) {
    const Outcome o = RunSim("--dry-run " + Quote(ScenarioPath("overtake-left")));
    EXPECT_EQ(0, o.status) << o.output;
    EXPECT_NE(std::string::npos, o.output.find("    3.60 s  car 1 draws alongside on the left\n")) << o.output;
    EXPECT_NE(std::string::npos, o.output.find("expected: CarLeft left at 3.60 s")) << o.output;
}

class SimWithProgram : public testing::Test {
protected:
    void SetUp() override {
        simPort = e2e::FreeUdpPort();
        srcPort = e2e::FreeUdpPort();
        ASSERT_NE(0, simPort);
        ASSERT_TRUE(dir.WriteConfig(simPort, srcPort));
    }
    // flankguard-sim on its port, starting Flankguard in the run directory.
    Outcome Sim(const std::string& args) {
        return RunSim("--listen 127.0.0.1:" + std::to_string(simPort) + " --program " + Quote(FLANKGUARD_EXE) +
                   " --dir " + Quote(dir.Path()) + " " + args);
    }
    RunDir dir;
    unsigned short simPort = 0;
    unsigned short srcPort = 0;
};

TEST_F(SimWithProgram, ExpectPassesAndFails) {
    Outcome o = Sim("--speed 6 --expect " + Quote(ScenarioPath("overtake-left")));
    EXPECT_EQ(0, o.status) << o.output;
    EXPECT_NE(std::string::npos, o.output.find("  >> call-out CarLeft (spotter/left")) << o.output;
    EXPECT_NE(std::string::npos, o.output.find("PASS: ")) << o.output;

    // The same cars with the wrong side expected.
    std::ifstream in(ScenarioPath("overtake-left"));
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t at = text.find("expect CarLeft left");
    ASSERT_NE(std::string::npos, at);
    text.replace(at, 19, "expect CarRight");
    const std::string wrong = dir.Path() + "/wrong.scn";
    std::ofstream(wrong) << text;
    o = Sim("--speed 6 --expect " + Quote(wrong));
    EXPECT_EQ(1, o.status) << o.output;
    EXPECT_NE(std::string::npos, o.output.find("mismatch: call-out 1 was CarLeft left at 3.60 s, but line"))
        << o.output;
    EXPECT_NE(std::string::npos, o.output.find("FAIL: ")) << o.output;
}

TEST_F(SimWithProgram, RecordThenReplay) {
    const std::string rec = dir.Path() + "/session.rec";
    Outcome o = Sim("--speed 6 --record " + Quote(rec) + " " + Quote(ScenarioPath("spin")));
    ASSERT_EQ(0, o.status) << o.output;
    EXPECT_NE(std::string::npos, o.output.find("recorded ")) << o.output;
    auto callouts = [](const std::string& out) {
        std::string lines;
        for (size_t at = out.find(">> call-out "); at != std::string::npos; at = out.find(">> call-out ", at + 1)) {
            const size_t start = out.rfind('\n', at) + 1;
            const size_t paren = out.find(" (", at);
            lines += out.substr(start, paren - start) + "\n";
        }
        return lines;
    };
    const std::string live = callouts(o.output);
    EXPECT_EQ(
        "    0.00 s  >> call-out CarLeft\n"
        "    3.50 s  >> call-out CarLeft\n"
        "    5.10 s  >> call-out Clear\n",
        live);
    o = Sim("--fast --replay " + Quote(rec));
    EXPECT_EQ(0, o.status) << o.output;
    EXPECT_EQ(live, callouts(o.output)) << o.output;
}

}  // namespace
}  // namespace scenarios
