// Scenario files for the stand-in simulator: the track, the cars with their
// start positions, timed events (lane changes, speed changes, spins, pit
// stops, restarts, acknowledged packets) and the call-outs Flankguard is
// expected to make. The format is described in tools/scenarios/README.md.
#pragma once

#include <string>
#include <vector>

namespace sim {

// At most this many cars, the size of Flankguard's player table.
const int kMaxScenarioCars = 32;

struct ScenarioCar {
    int index = 0;
    std::string model;  // the car model's name as the NPL carries it
    std::string name;   // the player's name
    // Start position: absolute world metres (x, y), or along and lateral
    // metres from the own car's start (along + ahead, lateral + left).
    bool relative = false;
    double x = 0;
    double y = 0;
    bool hasSpeed = false;    // otherwise the own car's speed
    double speed = 0;         // km/h
    bool hasHeading = false;  // otherwise the own car's heading
    double heading = 0;       // degrees, 0 = +y, growing counter-clockwise
    int line = 0;
};

enum class EventKind {
    Lane,     // lateral move of `value` metres (+ left) over `duration`
    Speed,    // speed ramp to `value` km/h over `duration` (also "brake")
    Heading,  // turn to `value` degrees over `duration`, the shorter way
    Spin,     // angVel `value` for `duration`, the body turning with it
    Pit,      // into the pit lane: speed ramp to `value` km/h
    Place,    // put the car somewhere else at once
    Restart,  // RST: the race restarts; Flankguard reconnects
    Packet,   // an acknowledged packet of kind `packetId`
};

struct ScenarioEvent {
    double time = 0;
    EventKind kind = EventKind::Speed;
    int car = -1;  // -1 for restart and packet
    double value = 0;
    double duration = 0;
    bool brake = false;  // written "brake": only the description differs
    // Place: the new position, as for ScenarioCar, relative to the own
    // car's position and course at that moment; speed and heading optional.
    bool relative = false;
    double x = 0;
    double y = 0;
    bool hasSpeed = false;
    double speed = 0;
    bool hasHeading = false;
    double heading = 0;
    std::string packetId;  // Packet
    int line = 0;
};

// One expected cue, or with `any` a run of zero or more of that kind.
struct Expectation {
    std::string kind;  // CueKind name: CarLeft, CarRight, Clear, ...
    bool any = false;
    std::string word;     // the recording's word ("outside"), "" for any
    bool timed = false;   // with a time: the cue's set must lie within
    double time = 0;      // [time - within, time + within] seconds
    double within = 0;
    int line = 0;
};

struct Scenario {
    std::string file;  // as given to the parser, for messages
    std::string title;
    std::string track = "BL1";
    int own = 0;
    double rate = 10;  // MCI sets per second
    double end = 0;    // seconds
    double window = 0.5;
    std::vector<ScenarioCar> cars;        // by index, 0 .. n-1
    std::vector<ScenarioEvent> events;    // by time; file order on ties
    bool expectNone = false;              // "expect none": no cue at all
    std::vector<Expectation> expectations;

    bool HasExpectations() const { return expectNone || !expectations.empty(); }
};

// The names of the seven cue kinds, in CueKind order.
extern const char* const kCueKindNames[7];
bool IsCueKind(const std::string& name);

// Parses a scenario. On failure returns false with one message per fault,
// each "FILE:LINE: text", in `errors` (at most 20), and `out` is
// unspecified. Never throws and accepts any bytes.
bool ParseScenario(const std::string& text, const std::string& file, Scenario* out, std::vector<std::string>* errors);
// Reads and parses the file at `path`.
bool LoadScenario(const std::string& path, Scenario* out, std::vector<std::string>* errors);

// Speed in km/h to the MCI's unit (32768 = 100 m/s), rounded and clamped.
unsigned SpeedUnits(double kmh);
// Degrees to the unit Flankguard reads angles in (182 to the degree),
// taken modulo one turn.
unsigned AngleUnits(double degrees);

}  // namespace sim
