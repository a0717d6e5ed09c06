// Side detection: each test at its threshold, bit for bit, the 0/360
// heading correction, and the own-car checks of a run.
#include <cmath>
#include <cstdint>
#include <ostream>
#include <string>

#include "spotter/prediction.h"
#include "spotter/side_detection.h"
#include "spotter_fixture.h"

namespace spottest {
namespace {

// The along (A) and lateral (B) offsets as the rule gives them, written
// independently of the code under test, to show each case sits where it
// claims. Own and other positions in units.
struct Offsets {
    float a, b;
    double aUnrounded, bUnrounded;
};
Offsets RuleOffsets(uint16_t ownHeading, int32_t ownX, int32_t ownY, int32_t x, int32_t y) {
    const double g = 360.0 - ownHeading * 0.0054945056326687335968;
    const double t = g * 0.0174532925;
    const double t2 = (g + 90.0) * 0.0174532925;
    const double dx = ownX / 65536.0 - static_cast<float>(x / 65536.0);
    const double dy = ownY / 65536.0 - y / 65536.0;
    const double a = static_cast<float>(std::sin(t)) * dx + static_cast<float>(std::cos(t)) * dy;
    const double b = static_cast<float>(std::sin(t2)) * dx + static_cast<float>(std::cos(t2)) * dy;
    return {static_cast<float>(a), static_cast<float>(b), a, b};
}

const float k13 = 1.3f;
const float k13Beyond = std::nextafter(1.3f, 2.0f);     // 1.30000007
const float k34 = 3.4f;                                 // (6.8f + 6.8f) / 4
const float k34Inside = std::nextafter(3.4f, 0.0f);     // 3.39999986

struct PlaceCase {
    const char* name;
    uint16_t ownHeading;
    int32_t ownX, ownY;
    int32_t x, y;  // the other car, same heading and speed
    int32_t model; // both cars
    Verdict expect;
};
void PrintTo(const PlaceCase& c, std::ostream* os) { *os << c.name; }

class PlaceTable : public SpotterTest, public ::testing::WithParamInterface<PlaceCase> {};

TEST_P(PlaceTable, Classifies) {
    const PlaceCase& c = GetParam();
    Car own;
    own.x = c.ownX;
    own.y = c.ownY;
    own.heading = c.ownHeading;
    own.model = c.model;
    Car other = own;
    other.x = c.x;
    other.y = c.y;
    PutCar(0, own);
    PutCar(1, other);
    EXPECT_STREQ(VerdictName(ClassifyCar(MakeOwnFrame(PlayerTable[0]), PlayerTable[1])), VerdictName(c.expect));
}

const int32_t k300 = 300 * kMetre;  // beyond 256 m a float of metres spans 2 units

INSTANTIATE_TEST_SUITE_P(
    Places, PlaceTable,
    ::testing::Values(
        // Own car at the origin, heading 0, both XF GTI (limit 3.4 m).
        PlaceCase{"RightAt3m", 0, 0, 0, 3 * kMetre, 0, kXfGti, kAlongsideRight},
        PlaceCase{"LeftAtMinus3m", 0, 0, 0, -3 * kMetre, 0, kXfGti, kAlongsideLeft},
        PlaceCase{"AheadIsInner", 0, 0, 0, 0, 2 * kMetre, kXfGti, kFailInner},
        PlaceCase{"FourAheadIsOverlap", 0, 0, 0, 3 * kMetre, 4 * kMetre, kXfGti, kFailOverlap},
        PlaceCase{"SamePlaceIsInner", 0, 0, 0, 0, 0, kXfGti, kFailInner},
        // Two LX6 (6.5 m, exact): limit 3.25 m, one unit inside passes.
        PlaceCase{"Lx6OtherAheadAtLimit", 0, 0, 0, 3 * kMetre, 212992, kLx6, kFailOverlap},
        PlaceCase{"Lx6OtherBehindAtLimit", 0, 0, 0, 3 * kMetre, -212992, kLx6, kFailOverlap},
        PlaceCase{"Lx6OtherAheadInside", 0, 0, 0, 3 * kMetre, 212991, kLx6, kAlongsideRight},
        PlaceCase{"Lx6OtherBehindInside", 0, 0, 0, 3 * kMetre, -212991, kLx6, kAlongsideRight},
        // Heading 1000 (5.49 deg): A rounds to exactly +-3.4f from just
        // inside the limit, or to one float step inside.
        PlaceCase{"XfAlongExactlyPlusLimit", 1000, 0, 0, -399742, -262303, kXfGti, kFailOverlap},
        PlaceCase{"XfAlongExactlyMinusLimit", 1000, 0, 0, -399709, 185402, kXfGti, kFailOverlap},
        PlaceCase{"XfAlongJustInsidePlus", 1000, 0, 0, -393754, -261727, kXfGti, kAlongsideLeft},
        PlaceCase{"XfAlongJustInsideMinus", 1000, 0, 0, -400000, 185374, kXfGti, kAlongsideLeft},
        // Lateral window, heading 0: B = -dx exactly.
        PlaceCase{"WindowRightEdge", 0, 0, 0, 23 * kMetre, 0, kXfGti, kFailLateral},
        PlaceCase{"WindowLeftEdge", 0, 0, 0, -23 * kMetre, 0, kXfGti, kFailLateral},
        PlaceCase{"WindowRightInside", 0, 0, 0, 23 * kMetre - 1, 0, kXfGti, kAlongsideRight},
        PlaceCase{"WindowLeftInside", 0, 0, 0, -23 * kMetre + 1, 0, kXfGti, kAlongsideLeft},
        // Heading 1000: B rounds to exactly +-1.3f from just beyond it, or
        // to one float step beyond.
        PlaceCase{"InnerExactlyPlus", 1000, 0, 0, -71783, -143536, kXfGti, kFailInner},
        PlaceCase{"InnerExactlyMinus", 1000, 0, 0, 99991, -149710, kXfGti, kFailInner},
        PlaceCase{"InnerBeyondPlus", 1000, 0, 0, -76002, -99676, kXfGti, kAlongsideLeft},
        PlaceCase{"InnerBeyondMinus", 1000, 0, 0, 95209, -99997, kXfGti, kAlongsideRight},
        // Far from the origin. The other car's x in metres is a float:
        // 323 m - 1 unit rounds to 323 m, so B is exactly -23.
        PlaceCase{"OtherXRoundsToFloat", 0, k300, 0, 323 * kMetre - 1, 0, kXfGti, kFailLateral},
        // The own x is not rounded: 300 m + 1 unit stays, B = -23 + 1 unit.
        PlaceCase{"OwnXStaysDouble", 0, k300 + 1, 0, 323 * kMetre + 1, 0, kXfGti, kAlongsideRight},
        // The other car's y is not rounded: 296.75 m + 1 unit as a float
        // would be 296.75 m and A exactly the 3.25 limit.
        PlaceCase{"OtherYStaysDouble", 0, 0, k300, 3 * kMetre, k300 - 212991, kLx6, kAlongsideRight}),
    [](const ::testing::TestParamInfo<PlaceCase>& info) { return std::string(info.param.name); });

TEST(SideRule, ThresholdCasesSitExactlyWhereTheyClaim) {
    EXPECT_EQ(static_cast<double>(k34), (static_cast<double>(6.8f) + static_cast<double>(6.8f)) * 0.25);
    EXPECT_EQ(RuleOffsets(1000, 0, 0, -399742, -262303).a, k34);
    EXPECT_EQ(RuleOffsets(1000, 0, 0, -399709, 185402).a, -k34);
    EXPECT_EQ(RuleOffsets(1000, 0, 0, -393754, -261727).a, k34Inside);
    EXPECT_EQ(RuleOffsets(1000, 0, 0, -400000, 185374).a, -k34Inside);
    EXPECT_EQ(RuleOffsets(1000, 0, 0, -71783, -143536).b, k13);
    EXPECT_EQ(RuleOffsets(1000, 0, 0, 99991, -149710).b, -k13);
    // Unrounded, these would pass: the float rounding decides them.
    EXPECT_LT(RuleOffsets(1000, 0, 0, -399742, -262303).aUnrounded, static_cast<double>(k34));
    EXPECT_GT(RuleOffsets(1000, 0, 0, -399709, 185402).aUnrounded, -static_cast<double>(k34));
    EXPECT_GT(RuleOffsets(1000, 0, 0, -71783, -143536).bUnrounded, static_cast<double>(k13));
    EXPECT_LT(RuleOffsets(1000, 0, 0, 99991, -149710).bUnrounded, -static_cast<double>(k13));
    EXPECT_EQ(RuleOffsets(1000, 0, 0, -76002, -99676).b, k13Beyond);
    EXPECT_EQ(RuleOffsets(1000, 0, 0, 95209, -99997).b, -k13Beyond);
    EXPECT_EQ(RuleOffsets(0, 300 * kMetre, 0, 323 * kMetre - 1, 0).b, -23.0f);
    EXPECT_EQ(RuleOffsets(0, 0, 0, 3 * kMetre, 212992).a, -3.25f);
}

// Headings: the other car sits 3 m to the own car's right in its own frame.
struct HeadingCase {
    const char* name;
    uint16_t ownHeading;
    uint16_t otherHeading;
    int32_t maxAngleDiff;
    Verdict expect;
};
void PrintTo(const HeadingCase& c, std::ostream* os) { *os << c.name; }

class HeadingTable : public SpotterTest, public ::testing::WithParamInterface<HeadingCase> {};

TEST_P(HeadingTable, ComparesTruncatedDifference) {
    const HeadingCase& c = GetParam();
    Settings.maxAngleDiff = c.maxAngleDiff;
    Car own;
    own.heading = c.ownHeading;
    Car other;
    other.heading = c.otherHeading;
    const double t = (360.0 - c.ownHeading * 0.0054945056326687335968) * 0.0174532925;
    other.x = static_cast<int32_t>(std::lround(3.0 * kMetre * std::cos(t)));
    other.y = static_cast<int32_t>(std::lround(-3.0 * kMetre * std::sin(t)));
    PutCar(0, own);
    PutCar(1, other);
    EXPECT_STREQ(VerdictName(ClassifyCar(MakeOwnFrame(PlayerTable[0]), PlayerTable[1])), VerdictName(c.expect));
}

// Angles are exact: 360 - raw x f with f the float of 1/182
// (0.0054945056326687336), so a gap of n units is n x f degrees.
INSTANTIATE_TEST_SUITE_P(
    Headings, HeadingTable,
    ::testing::Values(
        // 5624 units: 30.901099678 degrees.
        HeadingCase{"Plus30_9Passes", 0, 5624, 30, kAlongsideRight},
        HeadingCase{"Minus30_9Passes", 5624, 0, 30, kAlongsideRight},
        // 5641 units: 30.994506274, the largest gap under 31.
        HeadingCase{"Plus30_99Passes", 0, 5641, 30, kAlongsideRight},
        // 5642 units: 31.000000780, the smallest gap of 31 or more; no
        // pair of headings differs by exactly 31.0.
        HeadingCase{"Plus31Fails", 0, 5642, 30, kFailHeading},
        HeadingCase{"Minus31Fails", 5642, 0, 30, kFailHeading},
        HeadingCase{"Plus31PassesWithLimit31", 0, 5642, 31, kAlongsideRight},
        // Own 182 (358.99999997) and other 65337 (1.00548548): own becomes
        // -1.00000003, difference -2.0055, truncated -2.
        HeadingCase{"Own359Other1Passes", 182, 65337, 30, kAlongsideRight},
        HeadingCase{"Own359Other1AtLimit2", 182, 65337, 2, kAlongsideRight},
        HeadingCase{"Own359Other1OverLimit1", 182, 65337, 1, kFailHeading},
        // Own 1.00548548, other 359 becomes -1.00000003: difference +2.
        HeadingCase{"Own1Other359AtLimit2", 65337, 182, 2, kAlongsideRight},
        HeadingCase{"Own1Other359OverLimit1", 65337, 182, 1, kFailHeading},
        // 14560 (279.999998) and 17290 (264.999998): difference 15.
        HeadingCase{"Own280Other265Passes", 14560, 17290, 30, kAlongsideRight},
        HeadingCase{"Own280Other265OverLimit14", 14560, 17290, 14, kFailHeading},
        // 47320 (99.9999935) and 10920 (299.9999985): not corrected,
        // difference -200.000005, truncated -200.
        HeadingCase{"Own100Other300Fails", 47320, 10920, 30, kFailHeading},
        HeadingCase{"Own100Other300AtLimit200", 47320, 10920, 200, kAlongsideRight},
        HeadingCase{"Own100Other300OverLimit199", 47320, 10920, 199, kFailHeading}),
    [](const ::testing::TestParamInfo<HeadingCase>& info) { return std::string(info.param.name); });

TEST(SideRule, HeadingGapsAreExact) {
    const double f = static_cast<double>(0.0054945056f);
    EXPECT_EQ(AngleDegrees(0) - AngleDegrees(5642), 5642 * f);
    EXPECT_GT(5642 * f, 31.0);
    EXPECT_LT(5641 * f, 31.0);
    EXPECT_EQ(AngleDegrees(182), 360.0 - 182 * f);
    EXPECT_GT(AngleDegrees(65337), 1.0);
}

// Speeds: the other car 3 m to the right, both heading 0. Own km/h is a
// float, the other's a double: raw x 100/32768 x 3.6f.
struct SpeedCase {
    const char* name;
    uint16_t ownSpeed, otherSpeed;
    int32_t slower, faster;
    Verdict expect;
};
void PrintTo(const SpeedCase& c, std::ostream* os) { *os << c.name; }

class SpeedTable : public SpotterTest, public ::testing::WithParamInterface<SpeedCase> {};

TEST_P(SpeedTable, ComparesDifference) {
    const SpeedCase& c = GetParam();
    Settings.maxSpeedDiffSlower = c.slower;
    Settings.maxSpeedDiffFaster = c.faster;
    Car own;
    own.speed = c.ownSpeed;
    Car other;
    other.speed = c.otherSpeed;
    other.x = 3 * kMetre;
    PutCar(0, own);
    PutCar(1, other);
    EXPECT_STREQ(VerdictName(ClassifyCar(MakeOwnFrame(PlayerTable[0]), PlayerTable[1])), VerdictName(c.expect));
}

INSTANTIATE_TEST_SUITE_P(
    Speeds, SpeedTable,
    ::testing::Values(
        // Own 10000 = 109.86328125 km/h. No pair of raw speeds differs by
        // exactly 75 km/h; these are the nearest on each side.
        SpeedCase{"Slower74_9927Passes", kCruise, 3174, 75, 75, kAlongsideRight},
        SpeedCase{"Slower75_0037Fails", kCruise, 3173, 75, 75, kFailSpeed},
        SpeedCase{"Faster74_9927Passes", kCruise, 16826, 75, 75, kAlongsideRight},
        SpeedCase{"Faster75_0037Fails", kCruise, 16827, 75, 75, kFailSpeed},
        SpeedCase{"Faster76Fails", kCruise, 16918, 75, 75, kFailSpeed},
        // 4096 is exactly 45.0 as a float (44.9999988 as a double): S is
        // exactly 45 against a standing car.
        SpeedCase{"SlowerEqualPasses", 4096, 0, 45, 75, kAlongsideRight},
        SpeedCase{"SlowerOneOverFails", 4096, 0, 44, 75, kFailSpeed},
        // Both standing: S = 0 equals both limits of 0 and passes.
        SpeedCase{"EqualToZeroLimitsPasses", 0, 0, 0, 0, kAlongsideRight},
        // Same raw speed 4096: 45.0f - 44.9999988 = +1.2e-6, over 0.
        SpeedCase{"OwnFloatOtherDouble", 4096, 4096, 0, 0, kFailSpeed}),
    [](const ::testing::TestParamInfo<SpeedCase>& info) { return std::string(info.param.name); });

TEST(SideRule, SpeedFigures) {
    EXPECT_EQ(static_cast<float>(SpeedKmh(4096)), 45.0f);
    EXPECT_LT(SpeedKmh(4096), 45.0);
    EXPECT_EQ(static_cast<float>(SpeedKmh(kCruise)), 109.86328125f);
    const double own = 109.86328125;
    EXPECT_LT(own - SpeedKmh(3174), 75.0);
    EXPECT_GT(own - SpeedKmh(3173), 75.0);
    EXPECT_GT(own - SpeedKmh(16826), -75.0);
    EXPECT_LT(own - SpeedKmh(16827), -75.0);
    EXPECT_LT(own - SpeedKmh(16918), -76.0);
}

TEST_F(SpotterTest, UnknownAndOutOfRangeModelsTakeTheUnknownLength) {
    EXPECT_EQ(ModelLength(0), 8.4f);
    EXPECT_EQ(ModelLength(-1), 8.4f);
    EXPECT_EQ(ModelLength(19), 8.4f);  // the end marker's 0.0 is never used
    EXPECT_EQ(ModelLength(1000), 8.4f);
    EXPECT_EQ(ModelLength(18), 8.35f);
}

// ---- Runs: the own-car checks and what a run examines --------------------

struct ExitCase {
    const char* name;
    uint16_t ownSpeed;
    int32_t minSpeed;
    int16_t angVel;
    bool prevAlongside;  // carLeft and wasLeft set by the previous run
    bool exits;
};
void PrintTo(const ExitCase& c, std::ostream* os) { *os << c.name; }

class ExitTable : public SpotterTest, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(ExitTable, EndsEarlyOrClassifies) {
    const ExitCase& c = GetParam();
    Settings.minSpeed = c.minSpeed;
    carLeft = wasLeft = c.prevAlongside;
    fake::SetTick(100000);
    lastCueTime = 99999;
    Car own;
    own.speed = c.ownSpeed;
    own.angVel = c.angVel;
    Car other;
    other.speed = c.ownSpeed;
    other.x = 3 * kMetre;
    PutCar(0, own);
    PutCar(1, other);
    RunSpotter(2);
    if (c.exits) {
        EXPECT_EQ(carLeft + carRight + wasLeft + wasRight, 0);
        EXPECT_TRUE(Cues().empty());
        EXPECT_EQ(lastCueTime, 99999u);
    } else {
        EXPECT_EQ(carRight, 1);
        EXPECT_EQ(carLeft, 0);
        EXPECT_EQ(wasRight, 1);
        const std::vector<std::string> expect =
            c.prevAlongside ? std::vector<std::string>{"CarRight", "ClearLeft"} : std::vector<std::string>{"CarRight"};
        EXPECT_EQ(Cues(), expect);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Exits, ExitTable,
    ::testing::Values(
        // Raw 4096 is exactly 45.0 km/h as a float.
        ExitCase{"SpeedEqualToMinSpeed", 4096, 45, 0, false, false},
        ExitCase{"SpeedBelowMinSpeed", 4095, 45, 0, false, true},
        ExitCase{"SpeedBelowButCarAlongside", 4095, 45, 0, true, false},
        ExitCase{"StandingAtMinSpeedZero", 0, 0, 0, false, false},
        ExitCase{"AngVelPlus2500", kCruise, 25, 2500, false, false},
        ExitCase{"AngVelMinus2500", kCruise, 25, -2500, false, false},
        ExitCase{"AngVelPlus2501", kCruise, 25, 2501, true, true},
        ExitCase{"AngVelMinus2501", kCruise, 25, -2501, true, true},
        ExitCase{"SlowAndSpinning", 0, 25, 32767, false, true}),
    [](const ::testing::TestParamInfo<ExitCase>& info) { return std::string(info.param.name); });

TEST_F(SpotterTest, OwnIndexBeyondTheTableEndsLikeTheEarlyExit) {
    for (uint8_t index : {uint8_t{32}, uint8_t{255}}) {
        carLeft = carRight = wasLeft = wasRight = 1;
        SetOwnIndex(index);
        Car car;
        PutCar(0, car);
        car.x = 3 * kMetre;
        PutCar(1, car);
        RunSpotter(2);
        EXPECT_EQ(carLeft + carRight + wasLeft + wasRight, 0) << int(index);
    }
    EXPECT_TRUE(Cues().empty());
    EXPECT_EQ(lastCueTime, 0u);
}

TEST_F(SpotterTest, CarsOnBothSidesSetBothFlagsOnce) {
    Car car;
    PutCar(0, car);
    car.x = -3 * kMetre;
    PutCar(1, car);
    car.x = -5 * kMetre;
    PutCar(2, car);
    car.x = 4 * kMetre;
    PutCar(3, car);
    RunSpotter(4);
    EXPECT_EQ(carLeft, 1);
    EXPECT_EQ(carRight, 1);
}

TEST_F(SpotterTest, CountZeroExaminesNoCar) {
    carLeft = wasLeft = 1;
    Car car;
    PutCar(0, car);
    car.x = -3 * kMetre;
    PutCar(1, car);
    RunSpotter(0);
    EXPECT_EQ(carLeft, 0);
    EXPECT_EQ(carRight, 0);
    EXPECT_EQ(Cues(), std::vector<std::string>{"Clear"});
}

TEST_F(SpotterTest, NegativeCountExaminesNoCar) {
    Car car;
    PutCar(0, car);
    car.x = -3 * kMetre;
    PutCar(1, car);
    RunSpotter(-5);
    EXPECT_EQ(carLeft, 0);
    EXPECT_TRUE(Cues().empty());
}

TEST_F(SpotterTest, CountAbove32IsJudgedOverThe32Slots) {
    Settings.prediction = 400;
    Car car;
    for (int i = 0; i < 31; ++i) {
        car.x = 0;
        car.y = 100 * i * kMetre;
        PutCar(i, car);
    }
    car.x = 3 * kMetre;
    car.y = 0;
    PutCar(31, car);
    RunSpotter(40);
    EXPECT_EQ(carRight, 1);
    EXPECT_EQ(carLeft, 0);
    // Slot 31 was moved with the rest.
    EXPECT_NE(PlayerTable[31].car.y, 0);
    EXPECT_EQ(PlayerTable[31].car.y - PlayerTable[0].car.y, 0);
}

TEST_F(SpotterTest, HeadingCorrectionIsPerCar) {
    // Own 280: car 1 at 10 degrees pulls the own angle to -80 for its own
    // comparison (difference -90, fails); car 2 at 265 is compared with 280.
    Car own;
    own.heading = 14560;
    PutCar(0, own);
    const double t = (360.0 - 14560 * 0.0054945056326687335968) * 0.0174532925;
    Car other;
    other.x = static_cast<int32_t>(std::lround(3.0 * kMetre * std::cos(t)));
    other.y = static_cast<int32_t>(std::lround(-3.0 * kMetre * std::sin(t)));
    other.heading = 63700;  // 9.99999
    PutCar(1, other);
    other.heading = 17290;  // 264.99999
    PutCar(2, other);
    RunSpotter(3);
    EXPECT_EQ(carRight, 1);
    EXPECT_STREQ(VerdictName(ClassifyCar(MakeOwnFrame(PlayerTable[0]), PlayerTable[1])), "heading");
}

// ---- Trace ---------------------------------------------------------------

TEST_F(SpotterTest, TraceNamesEachExaminedCarButNeverTheOwn) {
    SetTrace(true);
    SetOwnIndex(2);
    Car car;
    PutCar(2, car);
    car.x = -3 * kMetre;
    PutCar(0, car);
    car.x = 0;
    PutCar(1, car);  // the own car's twin: same place, inner limit
    car.x = 3 * kMetre;
    car.speed = 0;
    PutCar(3, car);
    ::testing::internal::CaptureStderr();
    RunSpotter(4);
    const std::string err = ::testing::internal::GetCapturedStderr();
    const std::string block =
        "run cars=4 own=2 left=1 right=0\n"
        "  car 0: left\n"
        "  car 1: inner\n"
        "  car 3: speed\n";
    ASSERT_GE(err.size(), block.size());
    EXPECT_EQ(err.substr(0, block.size()), block);
    // Then the cue's own trace line.
    EXPECT_EQ(err.substr(block.size(), 12), "cue CarLeft ");
}

TEST_F(SpotterTest, TraceOfAnEarlyExit) {
    SetTrace(true);
    Car car;
    car.speed = 0;
    PutCar(0, car);
    ::testing::internal::CaptureStderr();
    RunSpotter(1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "run cars=1 own=0 exit slow\n");
}

TEST_F(SpotterTest, NoTraceWhenTheVariableIsEmpty) {
    Car car;
    PutCar(0, car);
    car.x = 3 * kMetre;
    PutCar(1, car);
    SetTrace(true);
    ::testing::internal::CaptureStderr();
    RunSpotter(2);
    EXPECT_NE(::testing::internal::GetCapturedStderr(), "");
    SetTrace(false);
    carLeft = carRight = wasLeft = wasRight = 0;
    ::testing::internal::CaptureStderr();
    RunSpotter(2);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(Cues().size(), 2u);
}

}  // namespace
}  // namespace spottest
