// flankguard-sim: the simulator's side of InSim, for trying Flankguard
// without the game. Plays a scenario file (cars, lane changes, spins,
// restarts) as MCI sets, prints a timeline of what happens beside the
// call-outs Flankguard makes, checks them against the scenario's expect
// lines, and records and replays sessions. Without a scenario it answers the
// handshake and prints every datagram. See tools/scenarios/README.md.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/child.h"
#include "sim/drive.h"
#include "sim/expect.h"
#include "sim/peer.h"
#include "sim/record.h"
#include "sim/scenario.h"
#include "sim/session.h"

namespace {

volatile sig_atomic_t stopRequested = 0;

void OnSignal(int) {
    stopRequested = 1;
}

const char kUsage[] =
    "usage: flankguard-sim [options] [SCENARIO]\n"
    "\n"
    "Plays the simulator's side of InSim for Flankguard. With a SCENARIO file it\n"
    "drives the cars of that file and prints a timeline of what happens; without\n"
    "one (and without --replay) it answers the handshake and prints each datagram.\n"
    "\n"
    "  --listen ADDR[:PORT]  where to take Flankguard's datagrams (default\n"
    "                        127.0.0.1:29999; a LAN address for another machine;\n"
    "                        a bare PORT keeps 127.0.0.1)\n"
    "  --rate N              MCI sets a second (default: the scenario's, 10)\n"
    "  --speed F             run the scenario F times faster than real time\n"
    "  --program EXE         start Flankguard (EXE) with its cue trace on, and show\n"
    "                        its call-outs in the timeline\n"
    "  --dir DIR             the directory to start it in (default: this one)\n"
    "  --trace FILE          read the cue trace of a Flankguard started elsewhere\n"
    "                        with FLANKGUARD_TRACE=1 and its standard error in FILE\n"
    "  --expect              compare the call-outs with the scenario's expect lines;\n"
    "                        exit status 1 when they differ\n"
    "  --record FILE         record every datagram both ways, with times\n"
    "  --replay FILE         replay the simulator's side of a recording\n"
    "  --fast                replay as fast as Flankguard takes it\n"
    "  --connect-timeout S   give up when Flankguard has not connected after S\n"
    "                        seconds (default 10 with --program, else never)\n"
    "  --dry-run             print the scenario's timeline without any network\n"
    "  --verbose             show every datagram and all of Flankguard's output\n"
    "  -h, --help            this text\n";

struct Args {
    std::string address = "127.0.0.1";
    long port = 29999;
    double rate = 0;
    double speed = 1;
    std::string program;
    std::string dir;
    std::string trace;
    bool expect = false;
    std::string record;
    std::string replay;
    bool fast = false;
    double connectTimeout = -1;
    bool dryRun = false;
    bool verbose = false;
    std::string scenario;
};

bool Number(const char* text, double lo, double hi, double* out) {
    char* end = nullptr;
    const double v = strtod(text, &end);
    if (!end || *end || end == text || !(v >= lo && v <= hi)) return false;
    *out = v;
    return true;
}

// Returns 0 when parsed, else the exit status (2 for a usage error, 0 for help).
int ParseArgs(int argc, char** argv, Args* a) {
    auto need = [&](int& i) -> const char* {
        if (i + 1 >= argc) {
            fprintf(stderr, "flankguard-sim: %s needs a value\n", argv[i]);
            return nullptr;
        }
        return argv[++i];
    };
    for (int i = 1; i < argc; ++i) {
        const std::string opt = argv[i];
        const char* v = nullptr;
        if (opt == "-h" || opt == "--help") {
            fputs(kUsage, stdout);
            return -1;
        } else if (opt == "--listen") {
            if (!(v = need(i))) return 2;
            std::string s = v;
            // A bare port keeps the address.
            if (!s.empty() && s.find_first_not_of("0123456789") == std::string::npos) s = ":" + s;
            const size_t colon = s.rfind(':');
            if (colon != std::string::npos) {
                double p = 0;
                if (!Number(s.c_str() + colon + 1, 0, 65535, &p) || p != static_cast<long>(p)) {
                    fprintf(stderr, "flankguard-sim: bad port in --listen %s\n", v);
                    return 2;
                }
                a->port = static_cast<long>(p);
                s.resize(colon);
            }
            if (!s.empty()) a->address = s;
        } else if (opt == "--rate") {
            if (!(v = need(i))) return 2;
            if (!Number(v, 0.1, 100, &a->rate)) {
                fprintf(stderr, "flankguard-sim: --rate takes a number from 0.1 to 100\n");
                return 2;
            }
        } else if (opt == "--speed") {
            if (!(v = need(i))) return 2;
            if (!Number(v, 0.01, 1000, &a->speed)) {
                fprintf(stderr, "flankguard-sim: --speed takes a number from 0.01 to 1000\n");
                return 2;
            }
        } else if (opt == "--connect-timeout") {
            if (!(v = need(i))) return 2;
            if (!Number(v, 0, 86400, &a->connectTimeout)) {
                fprintf(stderr, "flankguard-sim: --connect-timeout takes seconds\n");
                return 2;
            }
        } else if (opt == "--program") {
            if (!(v = need(i))) return 2;
            a->program = v;
        } else if (opt == "--dir") {
            if (!(v = need(i))) return 2;
            a->dir = v;
        } else if (opt == "--trace") {
            if (!(v = need(i))) return 2;
            a->trace = v;
        } else if (opt == "--record") {
            if (!(v = need(i))) return 2;
            a->record = v;
        } else if (opt == "--replay") {
            if (!(v = need(i))) return 2;
            a->replay = v;
        } else if (opt == "--expect") {
            a->expect = true;
        } else if (opt == "--fast") {
            a->fast = true;
        } else if (opt == "--dry-run") {
            a->dryRun = true;
        } else if (opt == "--verbose") {
            a->verbose = true;
        } else if (!opt.empty() && opt[0] == '-') {
            fprintf(stderr, "flankguard-sim: unknown option %s\n%s", opt.c_str(), kUsage);
            return 2;
        } else if (a->scenario.empty()) {
            a->scenario = opt;
        } else {
            fprintf(stderr, "flankguard-sim: one scenario at a time (%s and %s)\n", a->scenario.c_str(), opt.c_str());
            return 2;
        }
    }
    auto conflict = [](const char* what) {
        fprintf(stderr, "flankguard-sim: %s\n", what);
        return 2;
    };
    if (!a->replay.empty() && !a->scenario.empty()) return conflict("--replay and a scenario exclude each other");
    if (a->fast && a->replay.empty()) return conflict("--fast is for --replay; scenarios take --speed");
    if (a->expect && a->scenario.empty()) return conflict("--expect needs a scenario");
    if (a->expect && a->program.empty() && a->trace.empty())
        return conflict("--expect needs Flankguard's cue trace: --program EXE or --trace FILE");
    if (!a->program.empty() && !a->trace.empty()) return conflict("--program and --trace exclude each other");
    if (a->dryRun && a->scenario.empty()) return conflict("--dry-run needs a scenario");
    if (!a->dir.empty() && a->program.empty()) return conflict("--dir is for --program");
    return 0;
}

// Flankguard as this process's child.
class ChildView : public sim::ProgramView {
public:
    explicit ChildView(sim::Child& child) : child_(child) {}
    void Read(std::string* console, std::string* trace) override { child_.Read(console, trace); }
    bool Alive() override { return child_.Alive(); }

private:
    sim::Child& child_;
};

// The trace file of a Flankguard started elsewhere, read from where it
// ended when the simulator started (from the top again if it is rewritten).
class TraceFileView : public sim::ProgramView {
public:
    explicit TraceFileView(const std::string& path) : path_(path) {
        std::ifstream in(path_, std::ios::binary | std::ios::ate);
        if (in) pos_ = static_cast<long long>(in.tellg());
    }
    void Read(std::string*, std::string* trace) override {
        std::ifstream in(path_, std::ios::binary | std::ios::ate);
        if (!in) return;
        const long long size = static_cast<long long>(in.tellg());
        if (size < pos_) pos_ = 0;
        if (size == pos_) return;
        in.seekg(pos_);
        std::string chunk(static_cast<size_t>(size - pos_), '\0');
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        chunk.resize(static_cast<size_t>(in.gcount()));
        pos_ += static_cast<long long>(chunk.size());
        *trace += chunk;
    }
    bool Alive() override { return true; }

private:
    std::string path_;
    long long pos_ = 0;
};

void PrintLine(const std::string& line) {
    fputs(line.c_str(), stdout);
    fputc('\n', stdout);
    fflush(stdout);
}

int DryRun(const sim::Scenario& scenario, double rate) {
    sim::Drive drive(scenario);
    sim::Observer observer(scenario);
    char line[400];
    snprintf(line, sizeof line, "%8.2f s  scenario %s%s%s: %zu cars on %s, own car %d (dry run)", 0.0,
             scenario.file.c_str(), scenario.title.empty() ? "" : " - ", scenario.title.c_str(), scenario.cars.size(),
             scenario.track.c_str(), scenario.own);
    PrintLine(line);
    size_t sets = 0;
    for (size_t k = 0;; ++k) {
        const double t = static_cast<double>(k) / rate;
        if (t > scenario.end + 1e-9) break;
        for (const sim::ScenarioEvent* ev : drive.AdvanceTo(t)) {
            snprintf(line, sizeof line, "%8.2f s  %s", t, sim::DescribeEvent(scenario, *ev).c_str());
            PrintLine(line);
        }
        for (const std::string& s : observer.Update(drive.Cars())) {
            snprintf(line, sizeof line, "%8.2f s  %s", t, s.c_str());
            PrintLine(line);
        }
        ++sets;
    }
    snprintf(line, sizeof line, "%8.2f s  end: %zu sets", scenario.end, sets);
    PrintLine(line);
    if (scenario.expectNone) PrintLine("expected: no call-out");
    for (const sim::Expectation& e : scenario.expectations)
        PrintLine("expected: " + sim::DescribeExpectation(e) + " (line " + std::to_string(e.line) + ")");
    return 0;
}

// Without a scenario: answer the handshake and show every datagram.
void Watch(sim::Peer& peer, sim::ProgramView* view, const sim::RunOptions& options) {
    peer.config.state.raceActive = 1;
    sim::RunOptions o = options;
    o.showDatagrams = true;
    sim::Monitor mon(peer, view, o);
    mon.Say(0, "answering the handshake on port " + std::to_string(peer.Port()) + " and showing every datagram; "
                                                                                    "Ctrl-C ends");
    const sim::Clock::time_point start = sim::Clock::now();
    while (!mon.Stopped() && !mon.ProgramGone()) {
        mon.SetClock(std::chrono::duration<double>(sim::Clock::now() - start).count());
        mon.Pump(100);
    }
}

}  // namespace

int main(int argc, char** argv) {
    Args args;
    const int parsed = ParseArgs(argc, argv, &args);
    if (parsed < 0) return 0;
    if (parsed > 0) return parsed;

    sim::Scenario scenario;
    if (!args.scenario.empty()) {
        std::vector<std::string> errors;
        if (!sim::LoadScenario(args.scenario, &scenario, &errors)) {
            for (const std::string& e : errors) fprintf(stderr, "%s\n", e.c_str());
            return 2;
        }
        if (args.expect && !scenario.HasExpectations()) {
            fprintf(stderr, "flankguard-sim: %s has no expect lines\n", args.scenario.c_str());
            return 2;
        }
    }
    const double rate = args.rate > 0 ? args.rate : scenario.rate;
    if (args.dryRun) return DryRun(scenario, rate);

    sim::Recording recording;
    if (!args.replay.empty()) {
        std::vector<std::string> errors;
        if (!sim::LoadRecording(args.replay, &recording, &errors)) {
            for (const std::string& e : errors) fprintf(stderr, "%s\n", e.c_str());
            return 2;
        }
    }
    if (!args.program.empty() && access(args.program.c_str(), X_OK) != 0) {
        fprintf(stderr, "flankguard-sim: cannot run %s\n", args.program.c_str());
        return 2;
    }

    signal(SIGINT, OnSignal);
    signal(SIGTERM, OnSignal);
    signal(SIGPIPE, SIG_IGN);

    sim::Peer peer;
    if (!peer.Open(args.address, static_cast<uint16_t>(args.port))) {
        fprintf(stderr, "flankguard-sim: %s\n", peer.Error().c_str());
        return 1;
    }
    printf("flankguard-sim on %s:%u\n", args.address.c_str(), static_cast<unsigned>(peer.Port()));
    fflush(stdout);

    sim::Child child;
    std::unique_ptr<sim::ProgramView> view;
    if (!args.program.empty()) {
        std::string error;
        if (!child.Start(args.program, args.dir, {"FLANKGUARD_TRACE=1"}, &error)) {
            fprintf(stderr, "flankguard-sim: %s\n", error.c_str());
            return 1;
        }
        view = std::make_unique<ChildView>(child);
    } else if (!args.trace.empty()) {
        view = std::make_unique<TraceFileView>(args.trace);
    }

    sim::RunOptions options;
    options.speed = args.speed;
    options.rate = args.rate;
    options.showDatagrams = args.verbose;
    options.stop = &stopRequested;
    double timeout = args.connectTimeout;
    if (timeout < 0) timeout = args.program.empty() ? 0 : 10;
    options.connectTimeoutMs = static_cast<int>(timeout * 1000);

    int status = 0;
    std::vector<std::string> notes;
    std::map<size_t, double> sentTimes;
    if (!args.scenario.empty()) {
        notes.push_back("scenario: " + args.scenario);
        const sim::SessionResult result = sim::RunScenario(peer, scenario, view.get(), options);
        sentTimes = result.sentTimes;
        if (!result.error.empty()) {
            fprintf(stderr, "flankguard-sim: %s\n", result.error.c_str());
            if (!result.connected && !args.program.empty())
                fprintf(stderr,
                        "flankguard-sim: its spotter/config.cfg must have address=%s and destPort=%ld "
                        "(and autorunLFS=0)\n",
                        args.address == "0.0.0.0" ? "the simulator's address" : args.address.c_str(), args.port);
            status = 1;
        }
        if (args.expect) {
            std::vector<std::string> report;
            const bool ok = sim::MatchExpectations(scenario, result.cues, &report);
            for (const std::string& line : report) printf("%s\n", line.c_str());
            printf("%s: %s\n", ok ? "PASS" : "FAIL", args.scenario.c_str());
            if (!ok) status = 1;
        }
    } else if (!args.replay.empty()) {
        notes.push_back("replay of: " + args.replay);
        sim::ReplayOptions replay;
        replay.fast = args.fast;
        const sim::ReplayResult result = sim::Replay(peer, recording, view.get(), options, replay);
        if (!result.error.empty()) {
            fprintf(stderr, "flankguard-sim: %s\n", result.error.c_str());
            status = 1;
        }
    } else {
        Watch(peer, view.get(), options);
    }
    child.Stop();

    if (!args.record.empty()) {
        if (peer.HasPeer()) notes.push_back("Flankguard's port: " + std::to_string(peer.PeerPort()));
        std::string error;
        if (!sim::WriteRecording(args.record, peer, notes, &sentTimes, &error)) {
            fprintf(stderr, "flankguard-sim: %s\n", error.c_str());
            status = status ? status : 1;
        } else {
            printf("recorded %zu datagrams to %s\n", peer.Received().size() + peer.Sent().size(),
                   args.record.c_str());
        }
    }
    fflush(stdout);
    return status;
}
