// Car motion: where the scenario puts cars, as Flankguard reads the MCI
// records (positions, left and right, heading units), lane and speed
// changes, spins, and results that do not depend on the MCI rate.
#include <gtest/gtest.h>

#include <cmath>

#include "sim/drive.h"
#include "sim/scenario.h"

namespace scenarios {
namespace {

sim::Scenario Load(const std::string& text) {
    sim::Scenario s;
    std::vector<std::string> errors;
    EXPECT_TRUE(sim::ParseScenario(text, "d.scn", &s, &errors)) << testing::PrintToString(errors);
    return s;
}

// The lateral offset B of `other` from `own` as Flankguard's side detection
// computes it from the records (B > 0: on the left), without prediction.
double Lateral(const sim::CarRecord& own, const sim::CarRecord& other) {
    const double g = 360.0 - own.heading * static_cast<double>(0.0054945056f);
    const double t2 = (g + 90) * 0.0174532925;
    const double dx = own.x / 65536.0 - other.x / 65536.0;
    const double dy = own.y / 65536.0 - other.y / 65536.0;
    return std::sin(t2) * dx + std::cos(t2) * dy;
}

double Along(const sim::CarRecord& own, const sim::CarRecord& other) {
    const double g = 360.0 - own.heading * static_cast<double>(0.0054945056f);
    const double t = g * 0.0174532925;
    const double dx = own.x / 65536.0 - other.x / 65536.0;
    const double dy = own.y / 65536.0 - other.y / 65536.0;
    return std::sin(t) * dx + std::cos(t) * dy;  // > 0: the own car is ahead
}

TEST(Drive, RelativePositionsAreLeftAndRightAsFlankguardSeesThem) {
    for (const double heading : {0.0, 90.0, 200.0, 359.0}) {
        SCOPED_TRACE(heading);
        const sim::Scenario s = Load("car 0 X at 100 -50 speed 100 heading " + std::to_string(heading) +
                                     "\ncar 1 X rel 10 3\ncar 2 X rel -5 -4\n");
        sim::Drive drive(s);
        drive.AdvanceTo(0);
        const std::vector<sim::CarRecord> r = drive.Records();
        EXPECT_NEAR(3.0, Lateral(r[0], r[1]), 0.01);    // on the left
        EXPECT_NEAR(-10.0, Along(r[0], r[1]), 0.01);    // ahead of the own car
        EXPECT_NEAR(-4.0, Lateral(r[0], r[2]), 0.01);   // on the right
        EXPECT_NEAR(5.0, Along(r[0], r[2]), 0.01);
        EXPECT_EQ(r[0].heading, r[1].heading);
        EXPECT_EQ(r[0].direction, r[0].heading);
        EXPECT_EQ(9102, r[1].speed);
    }
}

TEST(Drive, AbsolutePositionsInCoordinateUnits) {
    const sim::Scenario s = Load("car 0 X at 0 0\ncar 1 X at -3 2.5\n");
    sim::Drive drive(s);
    drive.AdvanceTo(0);
    EXPECT_EQ(-3 * 65536, drive.Records()[1].x);
    EXPECT_EQ(static_cast<int32_t>(2.5 * 65536), drive.Records()[1].y);
}

TEST(Drive, LaneChangeMovesSidewaysOnly) {
    const sim::Scenario s = Load("car 0 X at 0 0 speed 72\ncar 1 X rel 0 3\nat 1 car 1 lane -6 over 2\n");
    sim::Drive drive(s);
    drive.AdvanceTo(2);
    EXPECT_NEAR(0.0, drive.Cars()[1].x, 1e-6);  // half way across
    drive.AdvanceTo(5);
    EXPECT_NEAR(3.0, drive.Cars()[1].x, 1e-6);  // -x is left at heading 0: 3 m right of the line now
    EXPECT_NEAR(drive.Cars()[0].y, drive.Cars()[1].y, 1e-6);
    EXPECT_NEAR(100.0, drive.Cars()[0].y, 1e-6);  // 72 km/h = 20 m/s
}

TEST(Drive, SpeedRampCoversTheMeanSpeed) {
    const sim::Scenario s = Load("car 0 X at 0 0 speed 36\nat 1 car 0 speed 108 over 2\n");
    sim::Drive drive(s);
    drive.AdvanceTo(1);
    EXPECT_NEAR(10.0, drive.Cars()[0].y, 1e-6);
    drive.AdvanceTo(3);
    EXPECT_NEAR(10.0 + 2 * 20.0, drive.Cars()[0].y, 1e-6);  // from 10 to 30 m/s
    EXPECT_NEAR(108.0, drive.Cars()[0].speed, 1e-9);
}

TEST(Drive, SpinTurnsTheBodyNotTheCourse) {
    const sim::Scenario s = Load("car 0 X at 0 0 speed 36\nat 1 car 0 spin 8192 for 2\n");
    sim::Drive drive(s);
    drive.AdvanceTo(1.5);
    EXPECT_EQ(8192, drive.Records()[0].angVel);
    EXPECT_NEAR(90.0, drive.Cars()[0].heading, 1e-6);  // 180 degrees a second
    EXPECT_EQ(0, drive.Records()[0].direction);
    drive.AdvanceTo(3);
    EXPECT_EQ(0, drive.Records()[0].angVel);
    EXPECT_EQ(0, drive.Records()[0].heading);  // a whole turn
    EXPECT_NEAR(0.0, drive.Cars()[0].x, 1e-9);
    EXPECT_NEAR(30.0, drive.Cars()[0].y, 1e-6);
}

TEST(Drive, HeadingTurnsTheShorterWay) {
    const sim::Scenario s = Load("car 0 X at 0 0 speed 36 heading 350\nat 0 car 0 heading 10 over 2\n");
    sim::Drive drive(s);
    drive.AdvanceTo(1);
    EXPECT_NEAR(360.0, drive.Cars()[0].course, 1e-6);
    EXPECT_EQ(0, drive.Records()[0].direction);
}

TEST(Drive, PlaceRelativeToTheOwnCar) {
    const sim::Scenario s = Load("car 0 X at 0 0 speed 36\ncar 1 X rel 0 3\nat 2 car 1 place rel -12 -3.5 speed 0\n");
    sim::Drive drive(s);
    const auto begun = drive.AdvanceTo(2);
    ASSERT_EQ(1u, begun.size());
    EXPECT_NEAR(3.5, drive.Cars()[1].x, 1e-9);
    EXPECT_NEAR(20.0 - 12.0, drive.Cars()[1].y, 1e-6);
    EXPECT_EQ(0, drive.Cars()[1].speed);
}

TEST(Drive, SameCarsWhateverTheRate) {
    const sim::Scenario s = Load(
        "car 0 X at 0 0 speed 100\ncar 1 X rel -20 0 speed 115\nat 1 car 1 lane 3.5 over 1.5\n"
        "at 2.2 car 1 speed 90 over 1.3\nat 3 car 0 heading 20 over 2\n");
    sim::Drive slow(s), fast(s);
    for (int k = 0; k <= 60; ++k) slow.AdvanceTo(k / 10.0);
    for (int k = 0; k <= 180; ++k) fast.AdvanceTo(k / 30.0);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_NEAR(slow.Cars()[i].x, fast.Cars()[i].x, 1e-6);
        EXPECT_NEAR(slow.Cars()[i].y, fast.Cars()[i].y, 1e-6);
        EXPECT_NEAR(slow.Cars()[i].course, fast.Cars()[i].course, 1e-9);
    }
}

TEST(Drive, EventsBeginOnceInOrder) {
    const sim::Scenario s = Load("car 0 X at 0 0\nat 0 restart\nat 0.25 packet LAP\nat 0.25 restart\n");
    sim::Drive drive(s);
    EXPECT_EQ(1u, drive.AdvanceTo(0).size());
    EXPECT_EQ(0u, drive.AdvanceTo(0.2).size());
    const auto begun = drive.AdvanceTo(0.3);
    ASSERT_EQ(2u, begun.size());
    EXPECT_EQ(sim::EventKind::Packet, begun[0]->kind);
    EXPECT_EQ(0u, drive.AdvanceTo(0.3).size());
}

}  // namespace
}  // namespace scenarios
