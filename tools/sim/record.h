// Recordings of InSim sessions, as text: every datagram in both directions
// with its time, and their replay against a live Flankguard.
//
// The file: lines starting with '#' are comments; every other line is one
// datagram: seconds since the first datagram, who sent it ("sim" for the
// simulator, "fg" for Flankguard), and its bytes as two-digit hex numbers
// separated by blanks:
//
//   0.000000 fg 49 53 49 00 30 75 31 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00
//   0.000105 sim 53 54 41 00 ...
//   0.250110 sim 4D 43 49 00 ... # scenario 2.500
//
// A data line may end in a comment; "# scenario T" there gives the scenario
// time of a datagram that a scenario session sent, which a replay shows.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "sim/peer.h"
#include "sim/session.h"

namespace sim {

struct RecordedDatagram {
    double time = 0;
    bool fromSim = false;
    Bytes bytes;
    double scenarioTime = -1;  // -1: none
    int line = 0;
};

struct Recording {
    std::vector<RecordedDatagram> datagrams;  // in time order
    uint16_t programPort = 0;  // from the first ISI Flankguard sent, 0 if none
};

// The peer's datagrams in both directions, since it opened, as a recording
// text; `notes` become comment lines at the top; `sentTimes` (may be null)
// gives scenario times by index into the peer's sent datagrams.
std::string FormatRecording(const Peer& peer, const std::vector<std::string>& notes,
                            const std::map<size_t, double>* sentTimes = nullptr);
bool WriteRecording(const std::string& path, const Peer& peer, const std::vector<std::string>& notes,
                    const std::map<size_t, double>* sentTimes, std::string* error);

// Parses a recording; on failure false with "FILE:LINE: text" messages.
bool ParseRecording(const std::string& text, const std::string& file, Recording* out,
                    std::vector<std::string>* errors);
bool LoadRecording(const std::string& path, Recording* out, std::vector<std::string>* errors);

struct ReplayOptions {
    // As fast as Flankguard takes it instead of at the recorded pace.
    bool fast = false;
    // Fast: the pause before each datagram, and at most this many sets that
    // the trace has not shown as handled yet.
    int gapMs = 2;
    size_t maxSetsAhead = 8;
    // How long to wait for a datagram of Flankguard's that the recording
    // shows before the next one of the simulator's.
    int syncTimeoutMs = 5000;
};

struct ReplayResult {
    bool connected = false;
    size_t sent = 0;
    size_t runsSeen = 0;
    size_t syncTimeouts = 0;
    std::vector<Cue> cues;  // stamped with scenario times where recorded, else recording times
    std::string error;
};

// Replays the simulator's side of `recording` to whoever sends the peer an
// ISI, at that program's port. Each datagram of the simulator's waits for
// as many datagrams of Flankguard's as came before it in the recording, so
// answers follow what they answer.
ReplayResult Replay(Peer& peer, const Recording& recording, ProgramView* view, const RunOptions& options,
                    const ReplayOptions& replay);

}  // namespace sim
