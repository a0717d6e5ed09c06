// Playing a scenario against Flankguard, and the watch over the program
// that both scenarios and replays use.
#include "sim/session.h"

#include <cstdio>

namespace sim {

namespace {

// Start-up lines of the program's console that the timeline leaves out.
bool StartupLine(const std::string& line) {
    if (line.empty()) return true;
    if (line.find_first_not_of('-') == std::string::npos) return true;
    return line.compare(0, 15, " LFS Flankguard") == 0 || line.compare(0, 14, "Loading sound ") == 0 ||
           line.compare(0, 15, "Loading config ") == 0;
}

std::string Printable(const std::string& s) {
    std::string out;
    for (unsigned char c : s) out += (c >= 0x20 && c < 0x7f) ? static_cast<char>(c) : '?';
    return out;
}

int MsUntil(Clock::time_point t) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t - Clock::now()).count();
    return ms < 0 ? 0 : static_cast<int>(ms);
}

std::function<bool(const Bytes&)> Small(const char* id) {
    return [id](const Bytes& b) { return IsSmall(b, id); };
}

std::function<bool(const Bytes&)> Ack(int32_t value) {
    return [value](const Bytes& b) {
        int32_t v = -1;
        return IsSmall(b, "ACK", &v) && v == value;
    };
}

}  // namespace

Monitor::Monitor(Peer& peer, ProgramView* view, const RunOptions& options)
    : peer_(peer), view_(view), options_(options) {
    shownReceived_ = peer.Received().size();
    shownSent_ = peer.Sent().size();
}

void Monitor::Say(double t, const std::string& text) {
    char prefix[32];
    snprintf(prefix, sizeof prefix, "%8.2f s  ", t);
    const std::string line = prefix + text;
    if (options_.print) {
        options_.print(line);
    } else {
        fputs(line.c_str(), stdout);
        fputc('\n', stdout);
        fflush(stdout);
    }
}

bool Monitor::ProgramGone() {
    if (view_ && !gone_ && !view_->Alive()) {
        gone_ = true;
        Absorb();
    }
    return gone_;
}

void Monitor::Pump(int ms) {
    peer_.Pump(ms);
    Absorb();
}

bool Monitor::PumpUntil(const std::function<bool()>& done, int ms) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (done()) return true;
        if (Stopped() || ProgramGone()) return done();
        if (ms > 0 && Clock::now() >= deadline) return false;
        Pump(ms > 0 ? std::min(10, MsUntil(deadline)) : 10);
    }
}

long Monitor::FindFromProgram(size_t from, const std::function<bool(const Bytes&)>& match) const {
    for (size_t i = from; i < peer_.Received().size(); ++i)
        if (match(peer_.Received()[i].bytes)) return static_cast<long>(i);
    return -1;
}

void Monitor::Absorb() {
    if (options_.showDatagrams) {
        // Received and sent in the order they happened.
        const std::vector<Datagram>& in = peer_.Received();
        const std::vector<Datagram>& out = peer_.Sent();
        while (shownReceived_ < in.size() || shownSent_ < out.size()) {
            const bool takeIn = shownSent_ >= out.size() ||
                                (shownReceived_ < in.size() && in[shownReceived_].at <= out[shownSent_].at);
            const Datagram& d = takeIn ? in[shownReceived_++] : out[shownSent_++];
            std::string hex = Hex(d.bytes);
            if (hex.size() > 96) hex = hex.substr(0, 96) + " ...";
            Say(clock_, std::string(takeIn ? "<- " : "-> ") + IdText(d.bytes) + " " + std::to_string(d.bytes.size()) +
                            " bytes: " + hex);
        }
    }
    if (!view_) return;
    std::string console, trace;
    view_->Read(&console, &trace);
    console_ += console;
    for (size_t nl = console_.find('\n'); nl != std::string::npos; nl = console_.find('\n')) {
        const std::string line = console_.substr(0, nl);
        console_.erase(0, nl + 1);
        if (options_.showConsole && (options_.showDatagrams || !StartupLine(line)))
            Say(clock_, "[flankguard] " + Printable(line));
    }
    trace_.Feed(trace);
    for (const TraceLine& line : trace_.Take()) {
        if (line.kind == TraceLine::kRun) {
            ++runsSeen_;
            if (options_.showDatagrams) Say(clock_, "[trace] " + Printable(line.text));
        } else if (line.kind == TraceLine::kCue) {
            Cue c;
            c.time = runsSeen_ > 0 && runsSeen_ <= runTimes_.size() ? runTimes_[runsSeen_ - 1] : clock_;
            c.kind = line.cueKind;
            c.path = line.cuePath;
            c.word = RecordingWord(c.path);
            cues_.push_back(c);
            Say(c.time, ">> call-out " + Printable(c.kind) + " (" + Printable(c.path) + ")");
        } else if (options_.showDatagrams && !line.text.empty()) {
            Say(clock_, "[trace] " + Printable(line.text));
        } else if (!line.text.empty() && line.text.compare(0, 2, "  ") != 0 && options_.showConsole) {
            // Anything else on its standard error is worth seeing.
            Say(clock_, "[flankguard] " + Printable(line.text));
        }
    }
}

namespace {

void SendSet(Peer& peer, const std::vector<CarRecord>& records) {
    const size_t total = records.size();
    for (size_t first = 0; first < total; first += kMciRecords) {
        const size_t last = std::min(total, first + kMciRecords);
        const std::vector<CarRecord> part(records.begin() + static_cast<long>(first),
                                          records.begin() + static_cast<long>(last));
        peer.SendMci(static_cast<uint8_t>(total), static_cast<uint8_t>(first), part);
    }
}

struct PendingAck {
    int32_t value;
    std::string id;
};

}  // namespace

SessionResult RunScenario(Peer& peer, const Scenario& scenario, ProgramView* view, const RunOptions& options) {
    SessionResult result;
    peer.config.answerState = true;
    peer.config.answerPlayers = true;
    peer.config.state = StaFields();
    peer.config.state.ownIndex = static_cast<uint8_t>(scenario.own);
    peer.config.state.playerCount = static_cast<uint8_t>(scenario.cars.size());
    peer.config.state.raceActive = 1;
    peer.config.state.track = scenario.track;
    peer.config.players.clear();
    for (const ScenarioCar& c : scenario.cars)
        peer.config.players.push_back({static_cast<uint8_t>(c.index), c.name, c.model});

    Monitor mon(peer, view, options);
    const double rate = options.rate > 0 ? options.rate : scenario.rate;
    const double speed = options.speed > 0 ? options.speed : 1;
    {
        char pace[48] = "";
        if (speed != 1) snprintf(pace, sizeof pace, " at %.3g times real time", speed);
        char head[512];
        snprintf(head, sizeof head, "scenario %s%s%s: %zu cars on %s, own car %d, %.4g sets/s, %.4g s%s",
                 scenario.file.c_str(), scenario.title.empty() ? "" : " - ", scenario.title.c_str(),
                 scenario.cars.size(), scenario.track.c_str(), scenario.own, rate, scenario.end, pace);
        mon.Say(0, head);
    }
    mon.Say(0, "waiting for Flankguard to connect to port " + std::to_string(peer.Port()) + "...");
    const bool connected = mon.PumpUntil([&] { return mon.FindFromProgram(0, Small("NLI")) >= 0; },
                                         options.connectTimeoutMs);
    if (!connected) {
        result.error = mon.ProgramGone() ? "Flankguard ended before it connected"
                       : mon.Stopped()    ? "interrupted"
                                          : "Flankguard did not connect";
        result.cues = mon.Cues();
        return result;
    }
    result.connected = true;
    // Its player requests come right behind the NLI, and on its first
    // connection the MST after them: answer them before the first set.
    const size_t nli = static_cast<size_t>(mon.FindFromProgram(0, Small("NLI")));
    mon.PumpUntil([&] { return mon.FindFromProgram(nli, [](const Bytes& b) { return HasId(b, "MST"); }) >= 0; },
                  300);
    mon.Pump(0);
    mon.Say(0, "Flankguard connected from port " + std::to_string(peer.PeerPort()));

    Drive drive(scenario);
    Observer observer(scenario);
    std::vector<PendingAck> pending;
    size_t ackScan = mon.FromProgram();
    int32_t nextAck = 1;
    auto checkAcks = [&](double t) {
        for (; ackScan < peer.Received().size(); ++ackScan) {
            int32_t v = 0;
            if (!IsSmall(peer.Received()[ackScan].bytes, "ACK", &v)) continue;
            for (size_t i = 0; i < pending.size(); ++i) {
                if (pending[i].value != v) continue;
                mon.Say(t, "Flankguard acknowledges " + pending[i].id + " (value " + std::to_string(v) + ")");
                pending.erase(pending.begin() + static_cast<long>(i));
                break;
            }
        }
    };

    const Clock::time_point start = Clock::now();
    Clock::duration paused = Clock::duration::zero();
    double t = 0;
    for (size_t k = 0;; ++k) {
        t = static_cast<double>(k) / rate;
        if (t > scenario.end + 1e-9) break;
        const Clock::time_point due =
            start + paused + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(t / speed));
        while (Clock::now() < due && !mon.Stopped() && !mon.ProgramGone()) {
            mon.Pump(std::min(20, MsUntil(due)));
            checkAcks(t);
        }
        if (mon.Stopped() || mon.ProgramGone()) break;
        mon.SetClock(t);
        for (const ScenarioEvent* ev : drive.AdvanceTo(t)) {
            mon.Say(t, DescribeEvent(scenario, *ev));
            if (ev->kind == EventKind::Packet) {
                pending.push_back({nextAck, ev->packetId});
                result.sentTimes[peer.Sent().size()] = t;
                peer.SendAcked(ev->packetId.c_str(), static_cast<uint16_t>(nextAck++));
            } else if (ev->kind == EventKind::Restart) {
                // The clock stands still while Flankguard reconnects.
                const Clock::time_point before = Clock::now();
                const size_t from = mon.FromProgram();
                const int32_t value = nextAck++;
                ++result.restarts;
                result.sentTimes[peer.Sent().size()] = t;
                peer.SendRst(static_cast<uint16_t>(value));
                if (!mon.PumpUntil([&] { return mon.FindFromProgram(from, Ack(value)) >= 0; }, 2000)) {
                    mon.Say(t, "Flankguard did not acknowledge the restart");
                } else if (!mon.PumpUntil([&] { return mon.FindFromProgram(from, Small("ISC")) >= 0; }, 500)) {
                    mon.Say(t, "Flankguard acknowledges the restart and stays connected");
                } else {
                    const size_t closed = static_cast<size_t>(mon.FindFromProgram(from, Small("ISC")));
                    if (mon.PumpUntil([&] { return mon.FindFromProgram(closed, Small("NLI")) >= 0; }, 4000)) {
                        mon.Pump(30);
                        ++result.reconnects;
                        mon.Say(t, "Flankguard closes (ISC) and reconnects (ISI, STA, NLI)");
                    } else {
                        mon.Say(t, "Flankguard closed (ISC) but did not reconnect");
                    }
                }
                ackScan = mon.FromProgram();
                paused += Clock::now() - before;
            }
        }
        for (const std::string& line : observer.Update(drive.Cars())) mon.Say(t, line);
        const size_t setFrom = peer.Sent().size();
        SendSet(peer, drive.Records());
        for (size_t i = setFrom; i < peer.Sent().size(); ++i) result.sentTimes[i] = t;
        ++result.setsSent;
        mon.ExpectRun(t);
        checkAcks(t);
    }

    // Flankguard answers an ACK with an ACK of value 0 once it has handled
    // everything before it, the last set's call-outs included.
    const size_t from = mon.FromProgram();
    peer.SendAck(0);
    mon.PumpUntil(
        [&] {
            return mon.FindFromProgram(from, Ack(0)) >= 0 && (!mon.HasTrace() || mon.RunsSeen() >= mon.RunsExpected());
        },
        options.settleTimeoutMs);
    mon.Pump(0);
    checkAcks(scenario.end);
    for (const PendingAck& p : pending) {
        mon.Say(scenario.end, "Flankguard did not acknowledge " + p.id + " (value " + std::to_string(p.value) + ")");
        ++result.unacknowledged;
    }
    result.runsSeen = mon.RunsSeen();
    result.cues = mon.Cues();
    if (mon.Stopped()) result.error = "interrupted";
    else if (mon.ProgramGone()) result.error = "Flankguard ended during the scenario";
    if (mon.HasTrace() && result.runsSeen < result.setsSent && result.error.empty())
        mon.Say(scenario.end, "Flankguard ran its spotter " + std::to_string(result.runsSeen) + " times for " +
                                  std::to_string(result.setsSent) +
                                  " sets: sets were lost on the way (too fast?), so call-out times may be off");
    char tail[200];
    if (mon.HasTrace())
        snprintf(tail, sizeof tail, "end: %zu sets sent, %zu spotter runs traced, %zu call-outs", result.setsSent,
                 result.runsSeen, result.cues.size());
    else
        snprintf(tail, sizeof tail, "end: %zu sets sent", result.setsSent);
    mon.Say(t > scenario.end ? scenario.end : t, tail);
    return result;
}

}  // namespace sim
