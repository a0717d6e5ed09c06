// Matching traced call-outs against expect lines, and reading the trace.
#include <gtest/gtest.h>

#include "sim/expect.h"
#include "sim/scenario.h"

namespace scenarios {
namespace {

sim::Scenario WithExpectations(const std::string& lines) {
    sim::Scenario s;
    std::vector<std::string> errors;
    EXPECT_TRUE(sim::ParseScenario("car 0 X at 0 0\nend 20\n" + lines, "m.scn", &s, &errors))
        << testing::PrintToString(errors);
    return s;
}

// "CarLeft/left@2.0 Clear/clear@3.5"
std::vector<sim::Cue> Cues(const std::string& text) {
    std::vector<sim::Cue> out;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(' ', at);
        if (end == std::string::npos) end = text.size();
        const std::string item = text.substr(at, end - at);
        at = end + 1;
        if (item.empty()) continue;
        const size_t slash = item.find('/');
        const size_t time = item.find('@');
        sim::Cue c;
        c.kind = item.substr(0, slash);
        c.word = item.substr(slash + 1, time - slash - 1);
        c.time = strtod(item.c_str() + time + 1, nullptr);
        out.push_back(c);
    }
    return out;
}

struct MatchCase {
    const char* expect;
    const char* cues;
    bool matches;
};

TEST(Matching, OrderCountsRepeatsWordsAndTimes) {
    const MatchCase cases[] = {
        {"expect CarLeft\nexpect Clear\n", "CarLeft/left@1 Clear/clear@2", true},
        {"expect CarLeft\nexpect Clear\n", "Clear/clear@1 CarLeft/left@2", false},
        {"expect CarLeft\n", "CarLeft/left@1 Clear/clear@2", false},
        {"expect CarLeft\nexpect Clear\n", "CarLeft/left@1", false},
        {"expect CarLeft\nexpect Clear\n", "", false},
        {"expect CarLeft\nexpect StillThere*\nexpect Clear\n", "CarLeft/left@1 Clear/clear@2", true},
        {"expect CarLeft\nexpect StillThere*\nexpect Clear\n",
         "CarLeft/left@1 StillThere/stillthere@3 StillThere/stillthere@5 Clear/clear@6", true},
        {"expect CarLeft\nexpect StillThere*\nexpect Clear\n", "CarLeft/left@1 Middle/middle@2 Clear/clear@3",
         false},
        // A repeat does not swallow the one that must follow it.
        {"expect StillThere*\nexpect StillThere\n", "StillThere/stillthere@1", true},
        {"expect StillThere*\nexpect StillThere\n", "", false},
        {"expect StillThere*\n", "", true},
        {"expect CarRight outside\n", "CarRight/outside@1", true},
        {"expect CarRight outside\n", "CarRight/inside@1", false},
        {"expect CarRight\n", "CarRight/inside@1", true},
        {"expect StillThere* stillthere\nexpect Clear\n", "StillThere/stillthere@1 Clear/clear@2", true},
        // Times: within the window, its edges included.
        {"expect CarLeft at 2.0\n", "CarLeft/left@2.5", true},
        {"expect CarLeft at 2.0\n", "CarLeft/left@1.5", true},
        {"expect CarLeft at 2.0\n", "CarLeft/left@2.6", false},
        {"expect CarLeft at 2.0 within 0.1\n", "CarLeft/left@2.1", true},
        {"expect CarLeft at 2.0 within 0.1\n", "CarLeft/left@2.2", false},
        {"expect none\n", "", true},
        {"expect none\n", "StillThere/stillthere@1", false},
    };
    for (const MatchCase& c : cases) {
        std::vector<std::string> report;
        EXPECT_EQ(c.matches, sim::MatchExpectations(WithExpectations(c.expect), Cues(c.cues), &report))
            << c.expect << "with: " << c.cues << "\n" << testing::PrintToString(report);
    }
}

TEST(Matching, ReportSaysWhereTheyPart) {
    std::vector<std::string> report;
    const sim::Scenario s = WithExpectations("expect CarLeft\nexpect StillThere*\nexpect Clear at 5\n");
    EXPECT_FALSE(sim::MatchExpectations(s, Cues("CarLeft/left@1 Clear/clear@9"), &report));
    ASSERT_EQ(3u, report.size());
    EXPECT_EQ("expected: CarLeft, StillThere*, Clear at 5.00 s (within 0.50)", report[0]);
    EXPECT_EQ("got: CarLeft left at 1.00 s, Clear clear at 9.00 s", report[1]);
    EXPECT_EQ("mismatch: call-out 2 was Clear clear at 9.00 s, but line 5 expects Clear at 5.00 s (within 0.50)",
              report[2]);

    EXPECT_FALSE(sim::MatchExpectations(s, Cues("CarLeft/left@1"), &report));
    EXPECT_EQ("mismatch: no call-out for line 5, which expects Clear at 5.00 s (within 0.50)", report.back());

    EXPECT_FALSE(sim::MatchExpectations(s, Cues("CarLeft/left@1 Clear/clear@5 Clear/clear@6"), &report));
    EXPECT_EQ("mismatch: call-out 3, Clear clear at 6.00 s, comes after everything expected", report.back());
}

TEST(Trace, LinesAndWords) {
    sim::TraceReader reader;
    reader.Feed("run cars=2 own=0 left=1 right=0\n  car 1: left\ncue CarLeft spotter/le");
    std::vector<sim::TraceLine> lines = reader.Take();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(sim::TraceLine::kRun, lines[0].kind);
    EXPECT_EQ(sim::TraceLine::kOther, lines[1].kind);
    reader.Feed("ft2.wav\ncue Middle spotter/middle.wav absent\ncue 7 -\n");
    lines = reader.Take();
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(sim::TraceLine::kCue, lines[0].kind);
    EXPECT_EQ("CarLeft", lines[0].cueKind);
    EXPECT_EQ("spotter/left2.wav", lines[0].cuePath);
    EXPECT_EQ("spotter/middle.wav", lines[1].cuePath);
    EXPECT_EQ("7", lines[2].cueKind);
    EXPECT_EQ("-", lines[2].cuePath);

    EXPECT_EQ("left", sim::RecordingWord("spotter/left2.wav"));
    EXPECT_EQ("outside", sim::RecordingWord("spotter/outside.wav"));
    EXPECT_EQ("clearin", sim::RecordingWord("spotter/clearin.wav"));
    EXPECT_EQ("stillthere", sim::RecordingWord("spotter/stillthere2.wav"));
    EXPECT_EQ("", sim::RecordingWord("-"));
    EXPECT_EQ("", sim::RecordingWord(".wav"));
}

}  // namespace
}  // namespace scenarios
