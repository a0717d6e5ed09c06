// Every shipped scenario end to end: the stand-in simulator drives the
// scenario at several times real speed against the real program (cue trace
// on, null audio device), and the traced call-outs must match the
// scenario's expect lines. Every set must reach the spotter, in as many MCI
// packets as the field needs, every restart must end in a reconnect, and
// every acknowledged packet must be acknowledged.
#include <gtest/gtest.h>

#include <set>

#include "sim/expect.h"
#include "sim/scenario.h"
#include "sim/session.h"
#include "support.h"

namespace scenarios {
namespace {

// Fast enough for the whole set to take seconds; the expectations allow
// for still-there call-outs coming at another pace.
const double kSpeed = 6;

class Shipped : public testing::TestWithParam<std::string> {};

TEST_P(Shipped, CallOutsMatchTheExpectations) {
    sim::Scenario scenario;
    std::vector<std::string> errors;
    ASSERT_TRUE(sim::LoadScenario(ScenarioPath(GetParam()), &scenario, &errors)) << testing::PrintToString(errors);
    ASSERT_TRUE(scenario.HasExpectations()) << "a shipped scenario must say what Flankguard calls";

    sim::Peer peer;
    ASSERT_TRUE(peer.Open(0)) << peer.Error();
    TracedProgram fg;
    std::string error;
    ASSERT_TRUE(fg.Start(peer.Port(), &error)) << error;
    ProgramAdapter view(fg.program);
    std::string timeline;
    const sim::SessionResult result = sim::RunScenario(peer, scenario, &view, QuickOptions(kSpeed, &timeline));

    EXPECT_EQ("", result.error) << timeline;
    ASSERT_TRUE(result.connected) << timeline;
    EXPECT_EQ(result.setsSent, result.runsSeen) << "every set must make one spotter run\n" << timeline;
    size_t mci = 0;
    for (const sim::Datagram& d : peer.Sent()) mci += sim::HasId(d.bytes, "MCI");
    EXPECT_EQ(result.setsSent * ((scenario.cars.size() + 7) / 8), mci);
    EXPECT_EQ(result.restarts, result.reconnects) << timeline;
    EXPECT_EQ(0u, result.unacknowledged) << timeline;

    std::vector<std::string> report;
    const bool ok = sim::MatchExpectations(scenario, result.cues, &report);
    std::string text;
    for (const std::string& line : report) text += line + "\n";
    EXPECT_TRUE(ok) << text << "--- timeline:\n" << timeline << "--- program stdout:\n" << fg.program.Stdout();
}

std::string TestName(const testing::TestParamInfo<std::string>& info) {
    std::string name;
    for (char c : info.param) name += (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ? c : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Scenarios, Shipped, testing::ValuesIn(ShippedScenarios()), TestName);

// The cases the scenarios are there for must all be shipped.
TEST(ShippedSet, HasEveryCase) {
    const std::vector<std::string> names = ShippedScenarios();
    const std::set<std::string> have(names.begin(), names.end());
    for (const char* name : {"overtake-left", "overtake-right", "three-wide", "ky1-pass", "ky1r-pass", "pit-slow",
                             "spin", "restart", "field-32"})
        EXPECT_TRUE(have.count(name)) << name << ".scn is missing";
}

// What each case is about is in its file, not only in its name.
TEST(ShippedSet, CasesHoldWhatTheyAreAbout) {
    auto load = [](const char* name) {
        sim::Scenario s;
        std::vector<std::string> errors;
        EXPECT_TRUE(sim::LoadScenario(ScenarioPath(name), &s, &errors)) << name;
        return s;
    };
    auto has = [](const sim::Scenario& s, sim::EventKind kind) {
        for (const sim::ScenarioEvent& e : s.events)
            if (e.kind == kind) return true;
        return false;
    };
    EXPECT_EQ("KY1", load("ky1-pass").track);
    EXPECT_EQ("KY1R", load("ky1r-pass").track);
    for (const char* oval : {"ky1-pass", "ky1r-pass"}) {
        for (const sim::Expectation& e : load(oval).expectations)
            EXPECT_FALSE(e.word.empty()) << oval << " line " << e.line << ": the ovals check the words";
    }
    EXPECT_TRUE(load("pit-slow").expectNone);
    EXPECT_TRUE(has(load("spin"), sim::EventKind::Spin));
    EXPECT_TRUE(has(load("restart"), sim::EventKind::Restart));
    const sim::Scenario field = load("field-32");
    EXPECT_EQ(32u, field.cars.size());
    EXPECT_NE(0, field.own);
}

}  // namespace
}  // namespace scenarios
