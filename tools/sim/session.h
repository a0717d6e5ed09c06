// A scenario played against Flankguard: the handshake, MCI sets at the
// scenario's rate (optionally faster than real time), restarts with the
// reconnect they cause, acknowledged packets, and a timeline in words with
// Flankguard's call-outs beside it, each at the scenario time of the set
// that caused it.
#pragma once

#include <csignal>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "sim/drive.h"
#include "sim/expect.h"
#include "sim/peer.h"
#include "sim/scenario.h"

namespace sim {

// What the simulator sees of Flankguard besides its datagrams: its console
// output and its cue trace (standard error with FLANKGUARD_TRACE=1).
class ProgramView {
public:
    virtual ~ProgramView() = default;
    // Appends what the program has written since the last call.
    virtual void Read(std::string* console, std::string* trace) = 0;
    // False once the program has ended.
    virtual bool Alive() = 0;
};

struct RunOptions {
    double speed = 1;        // scenario seconds per wall-clock second
    double rate = 0;         // MCI sets a second; 0: the scenario's
    int connectTimeoutMs = 0;  // waiting for Flankguard's ISI; 0: for ever
    int settleTimeoutMs = 5000;  // after the last datagram, for the last cues
    bool showDatagrams = false;  // a timeline line for every datagram
    bool showConsole = true;     // Flankguard's console lines (not start-up)
    const volatile std::sig_atomic_t* stop = nullptr;  // nonzero: end early
    // One finished timeline line; stdout when empty.
    std::function<void(const std::string&)> print;
};

// The shared watch over a running program: pumps the simulator's socket,
// reads the program's output, keeps its datagrams apart, and maps each
// spotter run of the trace to the set of car positions that caused it.
class Monitor {
public:
    Monitor(Peer& peer, ProgramView* view, const RunOptions& options);

    // Pumps for up to `ms` (at least once), reading everything new.
    void Pump(int ms);
    // Pumps until `done` holds or `ms` have passed; returns `done()`.
    bool PumpUntil(const std::function<bool()>& done, int ms);

    // A set has gone out that will make Flankguard run its spotter once;
    // its cues are stamped with `time`.
    void ExpectRun(double time) { runTimes_.push_back(time); }
    size_t RunsExpected() const { return runTimes_.size(); }
    size_t RunsSeen() const { return runsSeen_; }
    const std::vector<Cue>& Cues() const { return cues_; }
    bool HasTrace() const { return view_ != nullptr; }

    // The datagrams the program has sent so far (all since the peer opened).
    size_t FromProgram() const { return peer_.Received().size(); }
    // Index of the first datagram at or after `from` that `match` takes, or -1.
    long FindFromProgram(size_t from, const std::function<bool(const Bytes&)>& match) const;

    // The scenario time printed before timeline lines of the program.
    void SetClock(double t) { clock_ = t; }
    void Say(double t, const std::string& text);
    bool ProgramGone();
    bool Stopped() const { return options_.stop && *options_.stop; }

private:
    void Absorb();

    Peer& peer_;
    ProgramView* view_;
    RunOptions options_;
    TraceReader trace_;
    std::string console_;  // an unfinished console line
    std::vector<double> runTimes_;
    size_t runsSeen_ = 0;
    std::vector<Cue> cues_;
    size_t shownReceived_ = 0;
    size_t shownSent_ = 0;
    double clock_ = 0;
    bool gone_ = false;
};

struct SessionResult {
    bool connected = false;
    size_t setsSent = 0;
    size_t runsSeen = 0;          // spotter runs in the trace
    size_t restarts = 0;
    size_t reconnects = 0;        // restarts after which Flankguard reconnected
    size_t unacknowledged = 0;    // acknowledged packets that got no ACK
    std::vector<Cue> cues;
    std::string error;            // why it could not run to the end
    // The scenario time of each datagram the session sent, by its index
    // in the peer's log of sent datagrams (answers sent by the peer itself
    // have none).
    std::map<size_t, double> sentTimes;
};

// Plays `scenario` against whoever sends the peer an ISI. The peer must be
// open; its configuration is set from the scenario.
SessionResult RunScenario(Peer& peer, const Scenario& scenario, ProgramView* view, const RunOptions& options);

}  // namespace sim
