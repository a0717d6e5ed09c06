// Position prediction: exact unit offsets, truncation toward zero, the
// 32-bit wrap, and which slots a run moves.
#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>

#include "spotter/prediction.h"
#include "spotter_fixture.h"

namespace spottest {
namespace {

// 400 ms x 0.001f x 32768 x 200 = 2621440.124..., which as a float is
// 2621440: exactly 40 m.
const double kD400 = 2621440.0;
// The float nearest 1/182, written out as its exact decimal value.
const double kFactor = 0.0054945056326687335968;

// The offset of one axis as the rule gives it, written independently of
// the code under test.
int64_t Offset(uint16_t direction, double d, bool xAxis) {
    const double r = (360.0 - direction * kFactor) * 0.0174532925;
    return static_cast<int64_t>(std::trunc((xAxis ? std::sin(r) : std::cos(r)) * d));
}

struct MoveCase {
    const char* name;
    uint16_t direction;
    uint16_t speed;
    int32_t prediction;
    int32_t x0, y0;
    int64_t dx, dy;  // expected offsets in units
};
void PrintTo(const MoveCase& c, std::ostream* os) { *os << c.name; }

class PredictionTable : public SpotterTest, public ::testing::WithParamInterface<MoveCase> {};

TEST_P(PredictionTable, MovesByTheTruncatedOffset) {
    const MoveCase& c = GetParam();
    Settings.prediction = c.prediction;
    Car car;
    car.x = c.x0;
    car.y = c.y0;
    car.direction = c.direction;
    car.speed = c.speed;
    PutCar(0, car);
    PredictPositions(1);
    // Sums wrap as 32-bit two's complement.
    const auto wrap = [](int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); };
    EXPECT_EQ(PlayerTable[0].car.x, wrap(c.x0 + c.dx));
    EXPECT_EQ(PlayerTable[0].car.y, wrap(c.y0 + c.dy));
}

INSTANTIATE_TEST_SUITE_P(
    Moves, PredictionTable,
    ::testing::Values(
        // sin(360 x 0.0174532925) x d = -0.0188 truncates to 0, not -1.
        MoveCase{"Direction0", 0, 32768, 400, 1000, 2000, 0, 40 * kMetre},
        // 16384 units are 90.022 degrees: x falls by one unit less than
        // 40 m (-2621439.807 truncated), y by 1005 units (15.3 mm).
        MoveCase{"Direction16384", 16384, 32768, 400, 0, 0, -(40 * kMetre - 1), -1005},
        // 161 x 0.001f x 65129 x 200 = 2097153.8996 rounds to the float
        // 2097154; unrounded, or with 0.001 as a double (2097153.75), the
        // offset would be 2097153.
        MoveCase{"DistanceRoundsToFloat", 0, 65129, 161, 0, 0, 0, 2097154},
        // 3 x 0.001f x 175 x 200 in double is 105.000005, float 105.000008;
        // the same chain in float arithmetic would be 104.999992.
        MoveCase{"ProductFormedInDouble", 0, 175, 3, 0, 0, 0, 105},
        MoveCase{"SpeedZero", 12345, 0, 400, 77, -77, 0, 0},
        MoveCase{"NegativePredictionMovesBack", 0, 32768, -400, 0, 0, 0, -40 * kMetre},
        // Direction 49152 moves toward +x by 2621438.26 units.
        MoveCase{"WrapsNearInt32Max", 49152, 32768, 400, std::numeric_limits<int32_t>::max() - 10, 0,
                 2621438, 3016},
        MoveCase{"WrapsNearInt32Min", 16384, 32768, 400, std::numeric_limits<int32_t>::min() + 10, 5,
                 -(40 * kMetre - 1), -1005}),
    [](const ::testing::TestParamInfo<MoveCase>& info) { return std::string(info.param.name); });

TEST(PredictionRule, StatedOffsetsMatchAnIndependentExpression) {
    EXPECT_EQ(static_cast<float>(400 * static_cast<double>(0.001f) * 32768 * static_cast<double>(200.0f)),
              static_cast<float>(kD400));
    EXPECT_EQ(static_cast<float>(161 * static_cast<double>(0.001f) * 65129 * static_cast<double>(200.0f)),
              2097154.0f);
    EXPECT_EQ(Offset(0, 2097154.0, false), 2097154);
    EXPECT_EQ(Offset(0, kD400, true), 0);
    EXPECT_EQ(Offset(0, kD400, false), 40 * kMetre);
    EXPECT_EQ(Offset(16384, kD400, true), -(40 * kMetre - 1));
    EXPECT_EQ(Offset(16384, kD400, false), -1005);
    EXPECT_EQ(Offset(49152, kD400, true), 2621438);
    EXPECT_EQ(Offset(49152, kD400, false), 3016);
}

TEST_F(SpotterTest, WrapAroundLandsOnTheNegativeSide) {
    Settings.prediction = 400;
    Car car;
    car.x = std::numeric_limits<int32_t>::max() - 10;
    car.direction = 49152;
    car.speed = 32768;
    PutCar(0, car);
    PredictPositions(1);
    EXPECT_EQ(PlayerTable[0].car.x, std::numeric_limits<int32_t>::min() + 2621438 - 11);
}

TEST_F(SpotterTest, OnlySlotsOfTheSetMove) {
    Settings.prediction = 400;
    Car car;
    car.speed = 32768;
    for (int i = 0; i < kPlayerSlots; ++i) PutCar(i, car);
    PredictPositions(2);
    EXPECT_EQ(PlayerTable[0].car.y, 40 * kMetre);
    EXPECT_EQ(PlayerTable[1].car.y, 40 * kMetre);
    EXPECT_EQ(PlayerTable[2].car.y, 0);
}

TEST_F(SpotterTest, CountZeroOrNegativeMovesNothing) {
    Settings.prediction = 400;
    Car car;
    car.speed = 32768;
    PutCar(0, car);
    PredictPositions(0);
    PredictPositions(-1);
    PredictPositions(std::numeric_limits<int32_t>::min());
    EXPECT_EQ(PlayerTable[0].car.x, 0);
    EXPECT_EQ(PlayerTable[0].car.y, 0);
}

TEST_F(SpotterTest, CountAbove32MovesThe32Slots) {
    Settings.prediction = 400;
    Car car;
    car.speed = 32768;
    for (int i = 0; i < kPlayerSlots; ++i) PutCar(i, car);
    PredictPositions(255);
    for (int i = 0; i < kPlayerSlots; ++i) EXPECT_EQ(PlayerTable[i].car.y, 40 * kMetre) << "slot " << i;
}

TEST_F(SpotterTest, RunWithPredictionZeroLeavesSlotsUntouched) {
    Settings.prediction = 0;
    Car car;
    car.x = 123;
    car.y = 456;
    car.speed = 32768;
    car.direction = 16384;
    PutCar(0, car);
    PutCar(1, car);
    RunSpotter(2);
    EXPECT_EQ(PlayerTable[0].car.x, 123);
    EXPECT_EQ(PlayerTable[0].car.y, 456);
    EXPECT_EQ(PlayerTable[1].car.x, 123);
    EXPECT_EQ(PlayerTable[1].car.y, 456);
}

TEST_F(SpotterTest, TwoRunsWithoutNewRecordMoveTheSlotTwice) {
    Settings.prediction = 400;
    Car car;
    car.speed = 32768;
    PutCar(0, car);
    PutCar(1, car);
    RunSpotter(2);
    RunSpotter(2);
    EXPECT_EQ(PlayerTable[0].car.y, 80 * kMetre);
    EXPECT_EQ(PlayerTable[1].car.y, 80 * kMetre);
    EXPECT_EQ(PlayerTable[0].car.x, 0);
}

TEST_F(SpotterTest, RunMovesEvenWhenItEndsEarly) {
    // Prediction comes before the own-car checks: a slow own car still
    // moves, and so do the others.
    Settings.prediction = 400;
    Settings.minSpeed = 1000;
    Car car;
    car.speed = 32768;
    PutCar(0, car);
    PutCar(1, car);
    RunSpotter(2);
    EXPECT_EQ(PlayerTable[0].car.y, 40 * kMetre);
    EXPECT_EQ(PlayerTable[1].car.y, 40 * kMetre);
}

}  // namespace
}  // namespace spottest
