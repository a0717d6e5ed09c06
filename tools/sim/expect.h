// Flankguard's cue trace (FLANKGUARD_TRACE=1 on its standard error) read
// line by line, the cues taken from it, and their comparison with a
// scenario's expected call-outs.
#pragma once

#include <string>
#include <vector>

#include "sim/scenario.h"

namespace sim {

// One call-out as Flankguard traced it, with the scenario time of the set
// of car positions that made it.
struct Cue {
    double time = 0;
    std::string kind;  // CueKind name
    std::string path;  // the recording, "spotter/left2.wav", or "-"
    std::string word;  // the recording's word: "left" for left2.wav
};

// "spotter/outside2.wav" -> "outside", "spotter/clearin.wav" -> "clearin";
// "" for "-" or anything that is not a .wav path.
std::string RecordingWord(const std::string& path);

struct TraceLine {
    enum Kind { kRun, kCue, kOther } kind = kOther;
    std::string text;
    std::string cueKind;  // kCue
    std::string cuePath;  // kCue
};

// Splits the trace into lines as bytes come in; a line is classified once
// it is complete.
class TraceReader {
public:
    void Feed(const std::string& bytes);
    // The complete lines since the last call.
    std::vector<TraceLine> Take();

private:
    std::string pending_;
    std::vector<TraceLine> lines_;
};

TraceLine ClassifyTraceLine(const std::string& line);

// Compares the cues with the scenario's expectations, in order; `*` items
// take any number of their kind. Returns true when they match; `report`
// gets a few lines that say what was expected, what came, and where the
// two part.
bool MatchExpectations(const Scenario& scenario, const std::vector<Cue>& cues, std::vector<std::string>* report);

// "CarLeft outside at 2.4" and the like, for messages.
std::string DescribeExpectation(const Expectation& e);
std::string DescribeCue(const Cue& c);

}  // namespace sim
