// Call-out sequencing: the sixteen transitions, the still-there timing on
// the fake clock, and the runs that end early without a word.
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "spotter_fixture.h"

namespace spottest {
namespace {

using Cs = std::vector<std::string>;

// Own car in slot 0 at the origin; slot 1 is 3 m to the left or far
// ahead, slot 2 is 3 m to the right or far ahead.
void PlaceField(bool left, bool right) {
    Car car;
    PutCar(0, car);
    car.x = left ? -3 * kMetre : 0;
    car.y = left ? 0 : 100 * kMetre;
    PutCar(1, car);
    car.x = right ? 3 * kMetre : 0;
    car.y = right ? 0 : 100 * kMetre;
    PutCar(2, car);
}

struct Transition {
    const char* name;
    bool wasL, wasR;  // the previous run's flags
    bool nowL, nowR;  // what this run finds
    Cs cues;          // from steps 1 to 8, in order
    bool stillThere;  // step 9 considered
};
void PrintTo(const Transition& c, std::ostream* os) { *os << c.name; }

class TransitionTable : public SpotterTest, public ::testing::WithParamInterface<Transition> {};

TEST_P(TransitionTable, PlaysTheCuesInOrder) {
    const Transition& t = GetParam();
    carLeft = wasLeft = t.wasL;
    carRight = wasRight = t.wasR;
    // Every cue plays for longer than the interval, and the last cue is
    // long past: step 9 plays StillThere exactly when it is considered.
    fake::SetTick(100000);
    fake::SetPlayMs(3000);
    PlaceField(t.nowL, t.nowR);
    RunSpotter(3);
    Cs expect = t.cues;
    if (t.stillThere) expect.push_back("StillThere");
    EXPECT_EQ(Cues(), expect);
    EXPECT_EQ(carLeft, t.nowL);
    EXPECT_EQ(carRight, t.nowR);
    EXPECT_EQ(wasLeft, t.nowL);
    EXPECT_EQ(wasRight, t.nowR);
}

INSTANTIATE_TEST_SUITE_P(
    All, TransitionTable,
    ::testing::Values(
        Transition{"NoneNone", false, false, false, false, {}, false},
        Transition{"NoneRight", false, false, false, true, {"CarRight"}, true},
        Transition{"NoneLeft", false, false, true, false, {"CarLeft"}, true},
        Transition{"NoneBoth", false, false, true, true, {"Middle", "Middle"}, true},
        Transition{"RightNone", false, true, false, false, {"Clear"}, false},
        Transition{"RightRight", false, true, false, true, {}, true},
        Transition{"RightLeft", false, true, true, false, {"CarLeft", "ClearRight"}, true},
        Transition{"RightBoth", false, true, true, true, {"Middle"}, true},
        Transition{"LeftNone", true, false, false, false, {"Clear"}, false},
        Transition{"LeftRight", true, false, false, true, {"CarRight", "ClearLeft"}, true},
        Transition{"LeftLeft", true, false, true, false, {}, true},
        Transition{"LeftBoth", true, false, true, true, {"Middle"}, true},
        Transition{"BothNone", true, true, false, false, {"Clear", "Clear"}, false},
        Transition{"BothRight", true, true, false, true, {"ClearLeft"}, true},
        Transition{"BothLeft", true, true, true, false, {"ClearRight"}, true},
        Transition{"BothBoth", true, true, true, true, {}, true}),
    [](const ::testing::TestParamInfo<Transition>& info) { return std::string(info.param.name); });

// One car on the left, run after run; returns the cues each run played.
class StillThereTest : public SpotterTest {
protected:
    Cs RunAt(TickMs now) {
        const size_t before = fake::Plays().size();
        fake::SetTick(now);
        PlaceField(true, false);
        RunSpotter(3);
        Cs all = Cues();
        return Cs(all.begin() + static_cast<long>(before), all.end());
    }
};

TEST_F(StillThereTest, NotAtTheIntervalButOneMillisecondLater) {
    EXPECT_EQ(RunAt(1000), Cs{"CarLeft"});
    EXPECT_EQ(RunAt(2000), Cs{});
    EXPECT_EQ(RunAt(3500), Cs{});
    EXPECT_EQ(RunAt(3501), Cs{"StillThere"});
    // Again each time the interval has passed since the latest cue.
    EXPECT_EQ(RunAt(6001), Cs{});
    EXPECT_EQ(RunAt(6002), Cs{"StillThere"});
    EXPECT_EQ(lastCueTime, 6002u);
}

TEST_F(StillThereTest, AcrossTheTickWrapAround) {
    const TickMs start = 0xFFFFFFFBu;  // 5 ms before 2^32
    EXPECT_EQ(RunAt(start), Cs{"CarLeft"});
    EXPECT_EQ(RunAt(2495), Cs{});  // 2500 ms later
    EXPECT_EQ(RunAt(2496), Cs{"StillThere"});
}

TEST_F(StillThereTest, DifferenceIsSigned) {
    // A cue stamped "after" now is a negative difference, not a huge one.
    EXPECT_EQ(RunAt(1000), Cs{"CarLeft"});
    lastCueTime = 2000;
    EXPECT_EQ(RunAt(1500), Cs{});
    // Half the tick range or more is negative too.
    lastCueTime = 1000;
    EXPECT_EQ(RunAt(1000 + 0x80000000u), Cs{});
    EXPECT_EQ(RunAt(1000 + 0x7FFFFFFFu), Cs{"StillThere"});
}

TEST_F(StillThereTest, CountsFromTheStartOfTheLatestCue) {
    fake::SetPlayMs(1000);
    EXPECT_EQ(RunAt(1000), Cs{"CarLeft"});  // plays 1000..2000
    EXPECT_EQ(RunAt(3500), Cs{});
    EXPECT_EQ(RunAt(3501), Cs{"StillThere"});
    EXPECT_EQ(fake::Plays().back().start, 3501u);
}

TEST_F(StillThereTest, FollowsInTheSameRunWhenTheCueOutlastsTheInterval) {
    fake::SetPlayMs(2501);
    EXPECT_EQ(RunAt(1000), (Cs{"CarLeft", "StillThere"}));
    EXPECT_EQ(fake::Plays()[1].start, 3501u);
    EXPECT_EQ(lastCueTime, 3501u);
}

TEST_F(StillThereTest, NotInTheSameRunWhenTheCueLastsExactlyTheInterval) {
    fake::SetPlayMs(2500);
    EXPECT_EQ(RunAt(1000), Cs{"CarLeft"});
}

TEST_F(SpotterTest, NoStillThereWithoutACarHoweverLong) {
    fake::SetTick(100000000);
    PlaceField(false, false);
    RunSpotter(3);
    RunSpotter(3);
    EXPECT_TRUE(Cues().empty());
}

TEST_F(SpotterTest, EarlyExitPlaysNothingNotEvenClear) {
    fake::SetTick(1000);
    PlaceField(true, false);
    RunSpotter(3);
    ASSERT_EQ(Cues(), Cs{"CarLeft"});

    // Spinning, and the car has gone: no Clear, all flags false.
    fake::SetTick(9000);
    PlaceField(false, false);
    PlayerTable[0].car.angVel = 2501;
    RunSpotter(3);
    EXPECT_EQ(Cues(), Cs{"CarLeft"});
    EXPECT_EQ(lastCueTime, 1000u);
    EXPECT_EQ(carLeft + carRight + wasLeft + wasRight, 0);

    // Slow with nothing alongside: still nothing.
    PlayerTable[0].car.angVel = 0;
    PlayerTable[0].car.speed = 0;
    RunSpotter(3);
    EXPECT_EQ(Cues(), Cs{"CarLeft"});

    // The car is back: announced afresh, as on a first run.
    fake::SetTick(9500);
    PlaceField(true, false);
    RunSpotter(3);
    EXPECT_EQ(Cues(), (Cs{"CarLeft", "CarLeft"}));
}

TEST_F(SpotterTest, SlowOwnCarStillCallsClearForACarThatWasAlongside) {
    fake::SetTick(1000);
    PlaceField(true, false);
    RunSpotter(3);
    PlaceField(false, false);
    PlayerTable[0].car.speed = 0;
    RunSpotter(3);
    EXPECT_EQ(Cues(), (Cs{"CarLeft", "Clear"}));
    EXPECT_EQ(wasLeft, 0);
}

TEST_F(SpotterTest, CueKindsFollowTheTrackOnTheOvals) {
    // KY1: a car on the right is "outside" (recordings 3 and 4).
    TrackMode = 0;
    PlaceField(false, true);
    RunSpotter(3);
    ASSERT_EQ(fake::Plays().size(), 1u);
    const int sound = fake::Plays()[0].image.back();
    EXPECT_TRUE(sound == 3 || sound == 4) << sound;
}

}  // namespace
}  // namespace spottest
