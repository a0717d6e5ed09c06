// Record and replay: a scenario session is recorded, and replays of the
// recording against fresh programs on other ports, as fast as the program
// takes it and at the recorded pace, give the same call-outs in the same
// order at the same scenario times.
#include <gtest/gtest.h>

#include <random>

#include "sim/record.h"
#include "sim/scenario.h"
#include "sim/session.h"
#include "support.h"

namespace scenarios {
namespace {

class RecordReplay : public testing::TestWithParam<const char*> {};

TEST_P(RecordReplay, ReplaysGiveTheSameCallOuts) {
    sim::Scenario scenario;
    std::vector<std::string> errors;
    ASSERT_TRUE(sim::LoadScenario(ScenarioPath(GetParam()), &scenario, &errors));

    RunDir files;
    const std::string path = files.Path() + "/session.rec";
    sim::SessionResult original;
    unsigned short recordedPort = 0;
    {
        sim::Peer peer;
        ASSERT_TRUE(peer.Open(0)) << peer.Error();
        TracedProgram fg;
        std::string error;
        ASSERT_TRUE(fg.Start(peer.Port(), &error)) << error;
        ProgramAdapter view(fg.program);
        std::string timeline;
        original = sim::RunScenario(peer, scenario, &view, QuickOptions(6, &timeline));
        ASSERT_EQ("", original.error) << timeline;
        ASSERT_FALSE(original.cues.empty()) << timeline;
        ASSERT_TRUE(sim::WriteRecording(path, peer, {"scenario: test"}, &original.sentTimes, &error)) << error;
        recordedPort = fg.srcPort;
    }

    sim::Recording recording;
    ASSERT_TRUE(sim::LoadRecording(path, &recording, &errors)) << testing::PrintToString(errors);
    EXPECT_EQ(recordedPort, recording.programPort);

    for (const bool fast : {true, false}) {
        SCOPED_TRACE(fast ? "fast" : "recorded pace");
        sim::Peer peer;
        ASSERT_TRUE(peer.Open(0)) << peer.Error();
        TracedProgram fg;
        std::string error;
        ASSERT_TRUE(fg.Start(peer.Port(), &error)) << error;
        ASSERT_NE(recordedPort, fg.srcPort);
        ProgramAdapter view(fg.program);
        std::string timeline;
        sim::ReplayOptions replay;
        replay.fast = fast;
        const sim::ReplayResult result = sim::Replay(peer, recording, &view, QuickOptions(1, &timeline), replay);
        EXPECT_EQ("", result.error) << timeline;
        EXPECT_EQ(0u, result.syncTimeouts) << timeline;
        // The recording's port is replaced by the live program's.
        EXPECT_EQ(fg.srcPort, peer.PeerPort());
        EXPECT_EQ(original.runsSeen, result.runsSeen) << timeline;
        EXPECT_EQ(KindsAndWords(original.cues), KindsAndWords(result.cues)) << timeline;
        ASSERT_EQ(original.cues.size(), result.cues.size());
        for (size_t i = 0; i < result.cues.size(); ++i)
            EXPECT_DOUBLE_EQ(original.cues[i].time, result.cues[i].time) << "call-out " << i;
    }
}

// A restart (the replay must wait for the reconnect) and a full field
// (four packets a set, held back until the program has taken them).
INSTANTIATE_TEST_SUITE_P(Scenarios, RecordReplay, testing::Values("restart", "field-32"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param) == "restart" ? std::string("restart")
                                                                          : std::string("field_32");
                         });

// The recording's text: errors by line, comments, scenario times, the port.
struct BadRecording {
    const char* text;
    int line;
    const char* message;
};

TEST(RecordingParser, ReportsEachFaultWithItsLine) {
    const BadRecording cases[] = {
        {"abc fg 49 53 49 00", 1, "starts with its time"},
        {"# note\n1.0 xx 49 53 49 00", 2, "sender must be sim or fg"},
        {"1.0 fg 49 5", 1, "two hex digits"},
        {"1.0 fg 49 5G", 1, "two hex digits"},
        {"1.0 fg 495", 1, "two hex digits"},
        {"2.0 fg 49\n1.0 fg 49", 2, "backwards"},
        {"1.0 fg", 1, "without bytes"},
        {"-1.0 fg 49", 1, "starts with its time"},
        {"", 1, "no datagrams"},
        {"# only a comment\n\n", 2, "no datagrams"},
    };
    for (const BadRecording& c : cases) {
        sim::Recording r;
        std::vector<std::string> errors;
        EXPECT_FALSE(sim::ParseRecording(c.text, "r.rec", &r, &errors)) << c.text;
        ASSERT_FALSE(errors.empty()) << c.text;
        EXPECT_EQ(0u, errors[0].find("r.rec:" + std::to_string(c.line) + ": ")) << errors[0];
        EXPECT_NE(std::string::npos, errors[0].find(c.message)) << errors[0];
    }
}

TEST(RecordingParser, ReadsDatagramsTimesAndThePort) {
    const std::string text =
        "# flankguard-sim recording\n"
        "0.000000 fg 49 53 49 00 30 75 31 01\n"
        "\n"
        "0.000100 sim 53 54 41 00\r\n"
        "0.250000 sim 4d 43 49 00 # scenario 2.500\n"
        "0.300000 fg 41 43 4B 00 00 00 00 00 # a note\n";
    sim::Recording r;
    std::vector<std::string> errors;
    ASSERT_TRUE(sim::ParseRecording(text, "r.rec", &r, &errors)) << testing::PrintToString(errors);
    ASSERT_EQ(4u, r.datagrams.size());
    EXPECT_EQ(30000, r.programPort);
    EXPECT_FALSE(r.datagrams[0].fromSim);
    EXPECT_TRUE(r.datagrams[1].fromSim);
    EXPECT_EQ((sim::Bytes{0x53, 0x54, 0x41, 0x00}), r.datagrams[1].bytes);
    EXPECT_EQ(-1, r.datagrams[1].scenarioTime);
    EXPECT_DOUBLE_EQ(0.25, r.datagrams[2].time);
    EXPECT_DOUBLE_EQ(2.5, r.datagrams[2].scenarioTime);
    EXPECT_EQ(0x4D, r.datagrams[2].bytes[0]);
    EXPECT_EQ(8u, r.datagrams[3].bytes.size());
    EXPECT_EQ(6, r.datagrams[3].line);
}

TEST(RecordingParser, SurvivesAnyInput) {
    std::mt19937 rng(4321);
    const char alphabet[] = "0123456789abcdefABCDEF .#\n\tsimfg";
    for (int i = 0; i < 600; ++i) {
        std::string text(rng() % 300, '\0');
        for (char& c : text)
            c = i % 2 ? static_cast<char>(rng() % 256) : alphabet[rng() % (sizeof alphabet - 1)];
        sim::Recording r;
        std::vector<std::string> errors;
        const bool ok = sim::ParseRecording(text, "f", &r, &errors);
        EXPECT_EQ(ok, errors.empty());
        if (ok) {
            EXPECT_FALSE(r.datagrams.empty());
        }
        for (const std::string& e : errors) EXPECT_EQ(0u, e.find("f:")) << e;
    }
}

}  // namespace
}  // namespace scenarios
