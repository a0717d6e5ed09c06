// The scenario in motion: every car's position, course, heading, speed and
// angular velocity at any scenario time, the MCI records for them, and a
// plain-words account of what happens (events, cars drawing alongside and
// clearing, as Flankguard's default settings judge them).
#pragma once

#include <string>
#include <vector>

#include "sim/packets.h"
#include "sim/scenario.h"

namespace sim {

struct CarNow {
    double x = 0;        // metres
    double y = 0;
    double course = 0;   // direction of motion, degrees (0 = +y, counter-clockwise)
    double heading = 0;  // direction the body points, degrees
    double speed = 0;    // km/h
    int angVel = 0;      // the MCI's unit: 16384 = 360 degrees a second
};

class Drive {
public:
    explicit Drive(const Scenario& scenario);

    // Runs the cars on to scenario time `t` (never backwards). Returns the
    // events that began on the way, in order: those at `t` included, those
    // at 0 on the first call.
    std::vector<const ScenarioEvent*> AdvanceTo(double t);
    double Now() const { return now_; }
    const std::vector<CarNow>& Cars() const { return cars_; }
    // The cars as MCI records, by index.
    std::vector<CarRecord> Records() const;

private:
    struct Ramp {
        int car;
        EventKind kind;
        double t0, t1;
        double from, to;       // speed, lateral progress, or course
        double fromHeading;    // Heading: the body's own start
        double toHeading;
        double value;          // Lane: metres; Spin: angVel
    };
    void Integrate(double to);
    void Step(double dt);
    void Begin(const ScenarioEvent& ev);
    void Cancel(int car, EventKind kind);

    const Scenario& scenario_;
    std::vector<CarNow> cars_;
    std::vector<Ramp> ramps_;
    size_t nextEvent_ = 0;
    double now_ = 0;
    bool started_ = false;
};

// "own car" or "car N".
std::string CarLabel(const Scenario& scenario, int car);
// One line on an event as it begins, for the timeline.
std::string DescribeEvent(const Scenario& scenario, const ScenarioEvent& ev);

// Watches the cars set by set with Flankguard's default spotting rules
// (prediction 400 ms, minSpeed 25, maxAngleDiff 30, speed differences 75,
// maxXDistance 23, the 1.3 m inner limit, the model lengths) and tells in
// words when a car draws alongside, changes sides or clears, and when the
// own car is too slow or spins so that Flankguard does not spot.
class Observer {
public:
    explicit Observer(const Scenario& scenario);
    // The lines for this set's changes. Like Flankguard's flags, what it
    // knows survives reconnects.
    std::vector<std::string> Update(const std::vector<CarNow>& cars);

private:
    enum Side { kNone, kLeft, kRight };
    const Scenario& scenario_;
    std::vector<Side> side_;   // as Flankguard would have it
    std::vector<Side> quiet_;  // where cars are while it does not spot
    std::vector<float> length_;
    bool anyAlongside_ = false;
    int offReason_ = 0;  // 0 spotting, 1 slow, 2 spinning
};

// The length Flankguard takes for a car model (8.4 m when unknown).
float ModelLength(const std::string& model);

}  // namespace sim
