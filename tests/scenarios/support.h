// Shared pieces of the scenario tests: a run directory with the voice pack
// and a config pointing at the stand-in simulator, the real program started
// there with its cue trace, and the program seen through the simulator's
// ProgramView.
#pragma once

#include <string>
#include <vector>

#include "program.h"
#include "sim/peer.h"
#include "sim/session.h"

namespace scenarios {

// The shipped scenario files, sorted by name.
std::vector<std::string> ShippedScenarios();
std::string ScenarioPath(const std::string& name);

// A fresh directory below the build tree with spotter/config.cfg and the
// shipped WAV files; removed at destruction.
class RunDir {
public:
    RunDir();
    ~RunDir();
    RunDir(const RunDir&) = delete;
    RunDir& operator=(const RunDir&) = delete;
    // Writes the config: address 127.0.0.1, the given ports, autorunLFS=0.
    bool WriteConfig(unsigned destPort, unsigned srcPort, const std::string& extraMain = "") const;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// The program under test, started in a RunDir with FLANKGUARD_TRACE=1 and
// AUDIODEV=null, reaching the simulator at `simPort`.
struct TracedProgram {
    RunDir dir;
    e2e::Program program;
    unsigned short srcPort = 0;
    // False, with the reason, when it could not be started.
    bool Start(unsigned simPort, std::string* error, const std::string& extraMain = "");
};

// e2e::Program as the simulator sees it.
class ProgramAdapter : public sim::ProgramView {
public:
    explicit ProgramAdapter(e2e::Program& program) : program_(program) {}
    void Read(std::string* console, std::string* trace) override;
    bool Alive() override { return program_.Alive(); }

private:
    e2e::Program& program_;
    size_t outSeen_ = 0;
    size_t errSeen_ = 0;
};

// Options for a quick run: the given pace, a connect time-out, the timeline
// collected in *timeline.
sim::RunOptions QuickOptions(double speed, std::string* timeline);

// Kind and word of each cue, "CarLeft/left", for comparisons.
std::vector<std::string> KindsAndWords(const std::vector<sim::Cue>& cues);

}  // namespace scenarios
