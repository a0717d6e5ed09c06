// The scenario parser: a clear message with the line number for every kind
// of bad line, the meaning of a good file, and no crash on any input.
#include <gtest/gtest.h>

#include <random>

#include "sim/scenario.h"

namespace scenarios {
namespace {

const char kGood[] =
    "title a test\n"
    "track KY1\n"
    "own 1\n"
    "car 0 \"XF GTI\" rel -10 3 speed 110\n"
    "car 1 \"XR GT TURBO\" name \"Me Myself\" at 5 6 speed 100 heading 10\n"
    "car 2..4 RA name Pack rel 20 0 spaced 10 -1\n"
    "at 3 car 0 lane 3.5 over 1.5\n"
    "at 1 car 2 brake 60 over 2\n"
    "at 1 restart\n"
    "at 2 packet LAP\n"
    "at 4 car 1 spin 3000 for 0.5\n"
    "at 4 car 1 pit\n"
    "at 4 car 3 pit 30\n"
    "at 4 car 4 place at 1 2 speed 0\n"
    "expect CarLeft inside at 2 within 0.25\n"
    "expect StillThere*\n"
    "expect Clear at 3\n";

bool Parse(const std::string& text, sim::Scenario* s, std::vector<std::string>* errors) {
    return sim::ParseScenario(text, "t.scn", s, errors);
}

TEST(ScenarioParser, ReadsAGoodFile) {
    sim::Scenario s;
    std::vector<std::string> errors;
    ASSERT_TRUE(Parse(kGood, &s, &errors)) << testing::PrintToString(errors);
    EXPECT_EQ("a test", s.title);
    EXPECT_EQ("KY1", s.track);
    EXPECT_EQ(1, s.own);
    EXPECT_EQ(10, s.rate);
    // No end given: 5 s after the last event has ended (the pit at 4 s
    // lasts 3 s), rounded up, and at least 10 s.
    EXPECT_EQ(12, s.end);
    ASSERT_EQ(5u, s.cars.size());
    EXPECT_TRUE(s.cars[0].relative);
    EXPECT_EQ("Driver 0", s.cars[0].name);
    EXPECT_EQ("Me Myself", s.cars[1].name);
    EXPECT_EQ("XR GT TURBO", s.cars[1].model);
    EXPECT_FALSE(s.cars[1].relative);
    EXPECT_EQ(10, s.cars[1].heading);
    EXPECT_FALSE(s.cars[2].hasSpeed);
    // A range: one step of the spacing per index, numbered names.
    EXPECT_EQ("Pack 4", s.cars[4].name);
    EXPECT_EQ(40, s.cars[4].x);
    EXPECT_EQ(-2, s.cars[4].y);
    // Events by time, file order among equal times.
    ASSERT_EQ(8u, s.events.size());
    EXPECT_EQ(sim::EventKind::Speed, s.events[0].kind);
    EXPECT_TRUE(s.events[0].brake);
    EXPECT_EQ(sim::EventKind::Restart, s.events[1].kind);
    EXPECT_EQ(sim::EventKind::Packet, s.events[2].kind);
    EXPECT_EQ("LAP", s.events[2].packetId);
    EXPECT_EQ(sim::EventKind::Lane, s.events[3].kind);
    EXPECT_EQ(1.5, s.events[3].duration);
    EXPECT_EQ(sim::EventKind::Spin, s.events[4].kind);
    EXPECT_EQ(3000, s.events[4].value);
    EXPECT_EQ(0.5, s.events[4].duration);
    EXPECT_EQ(sim::EventKind::Pit, s.events[5].kind);
    EXPECT_EQ(20, s.events[5].value);
    EXPECT_EQ(3, s.events[5].duration);
    EXPECT_EQ(30, s.events[6].value);
    EXPECT_EQ(sim::EventKind::Place, s.events[7].kind);
    EXPECT_TRUE(s.events[7].hasSpeed);
    EXPECT_FALSE(s.events[7].hasHeading);
    ASSERT_EQ(3u, s.expectations.size());
    EXPECT_EQ("inside", s.expectations[0].word);
    EXPECT_EQ(0.25, s.expectations[0].within);
    EXPECT_TRUE(s.expectations[1].any);
    EXPECT_FALSE(s.expectations[1].timed);
    EXPECT_EQ(0.5, s.expectations[2].within);  // the default window
    EXPECT_EQ(17, s.expectations[2].line);
}

struct BadLine {
    const char* text;  // appended to a valid two-car head of 2 lines
    int line;
    const char* message;
};

// Each case adds lines after "car 0 ... at 0 0" and "car 1 ... rel 0 3".
TEST(ScenarioParser, ReportsEachFaultWithItsLine) {
    const BadLine cases[] = {
        {"speed 100", 3, "unknown directive 'speed'"},
        {"car 2", 3, "missing car model"},
        {"car 40 \"XF GTI\" rel 0 3", 3, "car index must be a number from 0 to 31"},
        {"car x \"XF GTI\" rel 0 3", 3, "car index"},
        {"car 5..3 \"XF GTI\" rel 0 3", 3, "runs backwards"},
        {"car 2 \"XF GTI rel 0 3", 3, "unterminated quote"},
        {"car 2 \"XF GTI\"rel 0 3", 3, "followed by a blank"},
        {"car 2 \"this model name is far too long for the field\" rel 0 3", 3, "1 to 35 characters"},
        {"car 2 \"XF GTI\" rel 0", 3, "missing lateral"},
        {"car 2 \"XF GTI\" rel 0 3 at 1 1", 3, "two positions"},
        {"car 2 \"XF GTI\" rel 0 3 colour red", 3, "unknown car option 'colour'"},
        {"car 2 \"XF GTI\" rel 0 3 speed fast", 3, "speed must be a number, not 'fast'"},
        {"car 2 \"XF GTI\" rel 0 3 speed 800", 3, "speed must lie between 0 and 719"},
        {"car 2 \"XF GTI\" rel 0 3 speed 1e2", 3, "must be a number"},
        {"car 2 \"XF GTI\" rel 0 3 speed nan", 3, "must be a number"},
        {"car 2 \"XF GTI\" rel 0 3 spaced 1 1", 3, "needs a range"},
        {"car 2 \"XF GTI\"", 3, "car 2 needs a position"},
        {"car 1 \"XF GTI\" rel 0 3", 3, "car 1 is already defined on line 2"},
        {"car 3 \"XF GTI\" rel 0 3", 3, "car 2 is missing"},
        {"own 5", 3, "own car 5 is not among the cars 0..1"},
        {"own 1\nown 0", 4, "'own' given twice"},
        {"track KY1RRR", 3, "1 to 5 characters"},
        {"track", 3, "missing track name"},
        {"track KY1 KY2", 3, "unexpected 'KY2'"},
        {"rate 0", 3, "rate must lie between 0.1 and 100"},
        {"end 10\nend 12", 4, "'end' given twice"},
        {"end 5\nat 6 car 1 speed 10", 4, "comes after the end"},
        {"at x car 1 speed 10", 3, "event time must be a number"},
        {"at 1 car 7 speed 10", 3, "car 7 is not defined"},
        {"at 1 car 1 jump", 3, "unknown action 'jump'"},
        {"at 1 car 1", 3, "missing action"},
        {"at 1 car 1 lane 3 over", 3, "missing duration"},
        {"at 1 car 1 lane 3 over -1", 3, "duration must lie between 0"},
        {"at 1 car 1 speed 10 soon", 3, "unexpected 'soon'"},
        {"at 1 car 1 spin 2.5", 3, "angVel must be a whole number"},
        {"at 1 car 1 spin 40000", 3, "angVel must be a whole number from -32768 to 32767"},
        {"at 1 car 1 pit over", 3, "missing duration"},
        {"at 1 car 1 place speed 0", 3, "place needs a position"},
        {"at 1 fly", 3, "unknown event 'fly'"},
        {"at 1 packet XYZ", 3, "packet kind must be one of"},
        {"at 1 packet RST", 3, "written 'restart'"},
        {"at 1 restart now", 3, "unexpected 'now'"},
        {"expect CarMiddle", 3, "unknown cue kind 'CarMiddle'"},
        {"expect", 3, "missing cue kind"},
        {"expect CarLeft sideways", 3, "unexpected 'sideways'"},
        {"expect CarLeft left right", 3, "unexpected 'right'"},
        {"expect CarLeft within 1", 3, "'within' needs a time"},
        {"expect StillThere* at 3", 3, "takes no time"},
        {"expect CarLeft at 99", 3, "comes after the end"},
        {"expect none\nexpect Clear", 3, "cannot stand beside"},
        {"expect none\nexpect none", 4, "given twice"},
    };
    const std::string head = "car 0 \"XF GTI\" at 0 0 speed 100\ncar 1 \"XF GTI\" rel 0 3\n";
    for (const BadLine& c : cases) {
        sim::Scenario s;
        std::vector<std::string> errors;
        EXPECT_FALSE(Parse(head + c.text + "\n", &s, &errors)) << c.text;
        ASSERT_FALSE(errors.empty()) << c.text;
        EXPECT_EQ(0u, errors[0].find("t.scn:" + std::to_string(c.line) + ": ")) << c.text << " -> " << errors[0];
        EXPECT_NE(std::string::npos, errors[0].find(c.message)) << c.text << " -> " << errors[0];
    }
}

TEST(ScenarioParser, FileLevelFaults) {
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {"", "no cars"},
        {"# only a comment\n", "no cars"},
        {"car 0 \"XF GTI\" rel 1 1\n", "the own car's position must be absolute"},
        {"car 1 \"XF GTI\" at 0 0\n", "car 0 is missing"},
    };
    for (const Case& c : cases) {
        sim::Scenario s;
        std::vector<std::string> errors;
        EXPECT_FALSE(Parse(c.text, &s, &errors)) << c.text;
        ASSERT_FALSE(errors.empty());
        EXPECT_NE(std::string::npos, errors[0].find(c.message)) << errors[0];
    }
}

TEST(ScenarioParser, ReportsEveryBadLineUpToTwenty) {
    std::string text = "car 0 \"XF GTI\" at 0 0\n";
    for (int i = 0; i < 30; ++i) text += "bogus\n";
    sim::Scenario s;
    std::vector<std::string> errors;
    EXPECT_FALSE(Parse(text, &s, &errors));
    ASSERT_EQ(20u, errors.size());
    EXPECT_EQ(0u, errors[0].find("t.scn:2: "));
    EXPECT_EQ(0u, errors[19].find("t.scn:21: "));
}

TEST(ScenarioParser, CommentsBlanksAndLineEndings) {
    sim::Scenario s;
    std::vector<std::string> errors;
    ASSERT_TRUE(Parse("# head\r\n\r\n  car 0 \"A # B\" at 0 0 # the own car\r\n\tend 3\r\n", &s, &errors))
        << testing::PrintToString(errors);
    EXPECT_EQ("A # B", s.cars[0].model);
    EXPECT_EQ(3, s.end);
}

// Any bytes: random ones, and random edits of a good file. The parser must
// return, and every message must name a line of the input.
TEST(ScenarioParser, SurvivesAnyInput) {
    std::mt19937 rng(12345);
    const std::string good = kGood;
    auto check = [](const std::string& text) {
        sim::Scenario s;
        std::vector<std::string> errors;
        const bool ok = sim::ParseScenario(text, "f", &s, &errors);
        EXPECT_EQ(ok, errors.empty());
        const long lines = 1 + static_cast<long>(std::count(text.begin(), text.end(), '\n'));
        for (const std::string& e : errors) {
            ASSERT_EQ(0u, e.find("f:")) << e;
            const long line = strtol(e.c_str() + 2, nullptr, 10);
            EXPECT_GE(line, 1) << e;
            EXPECT_LE(line, lines) << e;
        }
        if (ok) {
            EXPECT_FALSE(s.cars.empty());
            EXPECT_LT(static_cast<size_t>(s.own), s.cars.size());
        }
    };
    for (int i = 0; i < 300; ++i) {
        std::string text(rng() % 200, '\0');
        for (char& c : text) c = static_cast<char>(rng() % 256);
        check(text);
    }
    const char alphabet[] = " \n\t\"#.-0123456789car at rel expect*..";
    for (int i = 0; i < 1500; ++i) {
        std::string text = good;
        const int edits = 1 + static_cast<int>(rng() % 4);
        for (int e = 0; e < edits && !text.empty(); ++e) {
            const size_t at = rng() % text.size();
            switch (rng() % 3) {
            case 0:
                text.erase(at, 1 + rng() % 6);
                break;
            case 1:
                text.insert(at, 1, alphabet[rng() % (sizeof alphabet - 1)]);
                break;
            default:
                text[at] = static_cast<char>(rng() % 256);
                break;
            }
        }
        check(text);
    }
}

TEST(ScenarioUnits, SpeedAndAngleAsFlankguardReadsThem) {
    EXPECT_EQ(0u, sim::SpeedUnits(0));
    EXPECT_EQ(9102u, sim::SpeedUnits(100));   // 100 km/h = 27.78 m/s
    EXPECT_EQ(32768u, sim::SpeedUnits(360));  // 100 m/s
    EXPECT_EQ(65445u, sim::SpeedUnits(719));
    EXPECT_EQ(65535u, sim::SpeedUnits(1000));
    EXPECT_EQ(0u, sim::AngleUnits(0));
    EXPECT_EQ(0u, sim::AngleUnits(360));
    EXPECT_EQ(0u, sim::AngleUnits(359.999));  // rounds to a whole turn
    EXPECT_EQ(16380u, sim::AngleUnits(90));
    EXPECT_EQ(65338u, sim::AngleUnits(-1));
}

}  // namespace
}  // namespace scenarios
