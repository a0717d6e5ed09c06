// Writing, reading and replaying recordings.
#include "sim/record.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace sim {

namespace {

const size_t kMaxErrors = 20;
const size_t kMaxDatagram = 65535;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool ParseTime(const std::string& s, double* v) {
    size_t i = 0, digits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
    }
    if (digits == 0 || digits > 20 || i != s.size()) return false;
    *v = strtod(s.c_str(), nullptr);
    return true;
}

int MsUntil(Clock::time_point t) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t - Clock::now()).count();
    return ms < 0 ? 0 : static_cast<int>(ms);
}

}  // namespace

std::string FormatRecording(const Peer& peer, const std::vector<std::string>& notes,
                            const std::map<size_t, double>* sentTimes) {
    std::string text =
        "# flankguard-sim recording\n"
        "# seconds since the first datagram, sender (sim: the simulator, fg: Flankguard), bytes in hex\n";
    for (const std::string& note : notes) text += "# " + note + "\n";
    const std::vector<Datagram>& in = peer.Received();
    const std::vector<Datagram>& out = peer.Sent();
    size_t i = 0, o = 0;
    bool haveBase = false;
    Clock::time_point base;
    char stamp[40];
    while (i < in.size() || o < out.size()) {
        const bool takeIn = o >= out.size() || (i < in.size() && in[i].at <= out[o].at);
        const size_t outIndex = o;
        const Datagram& d = takeIn ? in[i++] : out[o++];
        if (!haveBase) {
            base = d.at;
            haveBase = true;
        }
        const double t = std::chrono::duration<double>(d.at - base).count();
        snprintf(stamp, sizeof stamp, "%.6f ", t < 0 ? 0.0 : t);
        text += stamp;
        text += takeIn ? "fg " : "sim ";
        text += Hex(d.bytes);
        if (!takeIn && sentTimes) {
            const auto found = sentTimes->find(outIndex);
            if (found != sentTimes->end()) {
                snprintf(stamp, sizeof stamp, " # scenario %.3f", found->second);
                text += stamp;
            }
        }
        text += "\n";
    }
    return text;
}

bool WriteRecording(const std::string& path, const Peer& peer, const std::vector<std::string>& notes,
                    const std::map<size_t, double>* sentTimes, std::string* error) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) {
        *error = path + ": cannot write the recording";
        return false;
    }
    file << FormatRecording(peer, notes, sentTimes);
    file.close();
    if (!file) {
        *error = path + ": writing the recording failed";
        return false;
    }
    return true;
}

bool ParseRecording(const std::string& text, const std::string& file, Recording* out,
                    std::vector<std::string>* errors) {
    *out = Recording();
    errors->clear();
    auto fault = [&](int line, const std::string& message) {
        if (errors->size() < kMaxErrors) errors->push_back(file + ":" + std::to_string(line) + ": " + message);
    };
    std::istringstream in(text);
    std::string raw;
    int lineNo = 0;
    double last = 0;
    while (std::getline(in, raw)) {
        ++lineNo;
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        const size_t first = raw.find_first_not_of(" \t");
        if (first == std::string::npos || raw[first] == '#') continue;
        double scenarioTime = -1;
        const size_t hash = raw.find('#');
        if (hash != std::string::npos) {
            std::istringstream note(raw.substr(hash + 1));
            std::string word, value;
            note >> word >> value;
            if (word == "scenario" && !ParseTime(value, &scenarioTime)) scenarioTime = -1;
            raw.resize(hash);
        }
        std::istringstream words(raw);
        std::string timeText, who, byte;
        words >> timeText >> who;
        RecordedDatagram d;
        d.line = lineNo;
        d.scenarioTime = scenarioTime;
        if (!ParseTime(timeText, &d.time)) {
            fault(lineNo, "a datagram line starts with its time in seconds, not '" + timeText + "'");
            continue;
        }
        if (d.time < last) {
            fault(lineNo, "times must not go backwards");
            continue;
        }
        if (who != "sim" && who != "fg") {
            fault(lineNo, "sender must be sim or fg, not '" + who + "'");
            continue;
        }
        d.fromSim = who == "sim";
        bool bad = false;
        while (words >> byte) {
            const int hi = byte.size() == 2 ? HexDigit(byte[0]) : -1;
            const int lo = byte.size() == 2 ? HexDigit(byte[1]) : -1;
            if (hi < 0 || lo < 0) {
                fault(lineNo, "bytes must be two hex digits each, not '" + byte + "'");
                bad = true;
                break;
            }
            if (d.bytes.size() >= kMaxDatagram) {
                fault(lineNo, "a datagram holds at most 65535 bytes");
                bad = true;
                break;
            }
            d.bytes.push_back(static_cast<uint8_t>(hi * 16 + lo));
        }
        if (bad) continue;
        if (d.bytes.empty()) {
            fault(lineNo, "a datagram without bytes");
            continue;
        }
        last = d.time;
        if (!d.fromSim && out->programPort == 0 && HasId(d.bytes, "ISI") && d.bytes.size() >= 6)
            out->programPort = GetLe16(d.bytes, 4);
        out->datagrams.push_back(d);
    }
    if (errors->empty() && out->datagrams.empty()) fault(lineNo > 0 ? lineNo : 1, "no datagrams in the recording");
    return errors->empty();
}

bool LoadRecording(const std::string& path, Recording* out, std::vector<std::string>* errors) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        errors->assign(1, path + ": cannot open the recording");
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return ParseRecording(text.str(), path, out, errors);
}

ReplayResult Replay(Peer& peer, const Recording& recording, ProgramView* view, const RunOptions& options,
                    const ReplayOptions& replay) {
    ReplayResult result;
    peer.config.answerState = false;
    peer.config.answerPlayers = false;
    Monitor mon(peer, view, options);
    size_t fromSim = 0, fromFg = 0;
    for (const RecordedDatagram& d : recording.datagrams) (d.fromSim ? fromSim : fromFg)++;
    mon.Say(0, "replaying " + std::to_string(fromSim) + " datagrams of the simulator's (" + std::to_string(fromFg) +
                   " of Flankguard's recorded" +
                   (recording.programPort ? ", at its port " + std::to_string(recording.programPort) : "") + ")" +
                   (replay.fast ? ", as fast as Flankguard takes them" : ", at the recorded pace"));
    mon.Say(0, "waiting for Flankguard to connect to port " + std::to_string(peer.Port()) + "...");
    const size_t base = peer.Received().size();
    if (!mon.PumpUntil([&] { return peer.HasPeer(); }, options.connectTimeoutMs)) {
        result.error = mon.ProgramGone() ? "Flankguard ended before it connected"
                       : mon.Stopped()    ? "interrupted"
                                          : "Flankguard did not connect";
        return result;
    }
    result.connected = true;
    mon.Say(0, "Flankguard connected from port " + std::to_string(peer.PeerPort()) +
                   (recording.programPort && recording.programPort != peer.PeerPort()
                        ? ", which takes the place of the recording's " + std::to_string(recording.programPort)
                        : ""));

    auto liveFg = [&] { return peer.Received().size() - base; };
    // The recorded pace: recording time `rec0` happened live at `live0`.
    std::vector<double> fgTimes;
    for (const RecordedDatagram& d : recording.datagrams)
        if (!d.fromSim) fgTimes.push_back(d.time);
    Clock::time_point live0 = peer.Received().size() > base ? peer.Received()[base].at : Clock::now();
    double rec0 = fgTimes.empty() ? 0 : fgTimes[0];
    bool annotated = false;
    for (const RecordedDatagram& d : recording.datagrams) annotated = annotated || d.scenarioTime >= 0;
    bool syncing = true;
    bool holdBack = mon.HasTrace();  // fast: no more sets ahead of the spotter than allowed
    bool raceActive = false;
    uint16_t flags = 0;
    size_t fgBefore = 0;
    double t = 0;
    for (const RecordedDatagram& d : recording.datagrams) {
        if (!d.fromSim) {
            ++fgBefore;
            continue;
        }
        if (mon.Stopped() || mon.ProgramGone()) break;
        // Scenario times where the recording has them, else its own.
        if (d.scenarioTime >= 0) t = d.scenarioTime;
        else if (!annotated) t = d.time;
        if (syncing && fgBefore > 0) {
            if (mon.PumpUntil([&] { return liveFg() >= fgBefore; }, replay.syncTimeoutMs)) {
                live0 = peer.Received()[base + fgBefore - 1].at;
                rec0 = fgTimes[fgBefore - 1];
            } else if (!mon.Stopped() && !mon.ProgramGone()) {
                mon.Say(t, "Flankguard has sent " + std::to_string(liveFg()) + " datagrams where the recording has " +
                               std::to_string(fgBefore) + " before line " + std::to_string(d.line) +
                               "; going on without waiting for it");
                ++result.syncTimeouts;
                syncing = false;
            }
        }
        if (replay.fast) {
            mon.Pump(replay.gapMs);
            if (holdBack && !mon.PumpUntil([&] { return mon.RunsExpected() <= mon.RunsSeen() + replay.maxSetsAhead; },
                                           replay.syncTimeoutMs)) {
                if (!mon.Stopped() && !mon.ProgramGone())
                    mon.Say(t, "the trace shows no spotter runs for the sets sent; going on without waiting for them");
                holdBack = false;
            }
        } else {
            const Clock::time_point due =
                live0 + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(d.time - rec0));
            while (Clock::now() < due && !mon.Stopped() && !mon.ProgramGone()) mon.Pump(std::min(20, MsUntil(due)));
        }
        if (mon.Stopped() || mon.ProgramGone()) break;
        mon.SetClock(t);
        peer.Send(d.bytes);
        ++result.sent;
        // Which sets make the program run its spotter, by the state it has.
        if (HasId(d.bytes, "STA") && d.bytes.size() == kStaSize) {
            flags = GetLe16(d.bytes, 8);
            raceActive = d.bytes[15] != 0;
        } else if (HasId(d.bytes, "MCI") && d.bytes.size() == kMciSize) {
            const int total = d.bytes[8];
            const int first = d.bytes[9];
            if (raceActive && (flags & 0x1004) == 0 && total - first <= 8) mon.ExpectRun(t);
        } else if (HasId(d.bytes, "RST")) {
            mon.Say(t, "race restart (RST)");
        }
    }
    mon.PumpUntil(
        [&] { return liveFg() >= fromFg && (!mon.HasTrace() || mon.RunsSeen() >= mon.RunsExpected()); },
        options.settleTimeoutMs);
    mon.Pump(0);
    result.runsSeen = mon.RunsSeen();
    result.cues = mon.Cues();
    if (mon.Stopped()) result.error = "interrupted";
    else if (mon.ProgramGone()) result.error = "Flankguard ended during the replay";
    char tail[160];
    snprintf(tail, sizeof tail, "end of replay: %zu datagrams sent%s", result.sent,
             mon.HasTrace() ? (", " + std::to_string(result.runsSeen) + " spotter runs traced, " +
                               std::to_string(result.cues.size()) + " call-outs")
                                  .c_str()
                            : "");
    mon.Say(t, tail);
    return result;
}

}  // namespace sim
