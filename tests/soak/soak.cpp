// The soak test: the real program, with the shipped voice pack on the null
// audio device and its trace on, fed by the stand-in simulator at the
// simulator's highest rate for FLANKGUARD_SOAK_SECONDS (default 120): a set
// of 32 cars in four MCI packets every 10 ms, cars coming alongside and
// going on a 6-second cycle so that cues play, and one acknowledged packet
// every 10 ms with a fresh acknowledgement value. Checks that the program
// stays alive and connected, answers every acknowledged packet exactly once
// with its value, runs the spotter exactly once per set with the expected
// flags, plays exactly the expected cues, and that its memory stays flat.
// Prints the figures; exits non-zero on any failure.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "proc_stats.h"
#include "program.h"
#include "sim/peer.h"

namespace {

using Clock = std::chrono::steady_clock;
const int32_t kMetre = 65536;
const uint16_t kSpeed = 9830;  // 30 m/s, which is 19660.8 units per 10 ms
const int kCars = 32;
const int kSetMs = 10;
// One cycle of the scenario, in sets: car 1 on the left for 3 s (long
// enough for one still-there call), car 1 on the right for 1 s, cars on
// both sides for 1 s, nobody for 1 s.
const int kCycleSets = 600;
// Memory may not grow beyond this after the warm-up.
const long kGrowthLimitKiB = 256;

int failures = 0;

void Failure(const std::string& what) {
    ++failures;
    fprintf(stderr, "FAIL: %s\n", what.c_str());
}

struct Flags {
    bool left = false;
    bool right = false;
    bool operator==(const Flags& o) const { return left == o.left && right == o.right; }
};

Flags ExpectedFlags(long set) {
    const long at = set % kCycleSets;
    if (at < 300) return {true, false};
    if (at < 400) return {false, true};
    if (at < 500) return {true, true};
    return {false, false};
}

// The cues of one run for a change of flags, in the order they play,
// without StillThere.
std::vector<std::string> CuesFor(Flags was, Flags now) {
    std::vector<std::string> cues;
    if (!was.right && now.right && !now.left) cues.push_back("CarRight");
    if (!was.left && now.left && !now.right) cues.push_back("CarLeft");
    if (!was.right && now.right && now.left) cues.push_back("Middle");
    if (!was.left && now.left && now.right) cues.push_back("Middle");
    if (was.right && !now.right && now.left) cues.push_back("ClearRight");
    if (was.left && !now.left && now.right) cues.push_back("ClearLeft");
    if (was.right && !now.right && !now.left) cues.push_back("Clear");
    if (was.left && !now.left && !now.right) cues.push_back("Clear");
    return cues;
}

// The recordings a cue kind may play on a track that is not an oval.
bool PlausiblePath(const std::string& kind, const std::string& path) {
    static const std::map<std::string, std::vector<std::string>> kPaths = {
        {"CarRight", {"spotter/right.wav", "spotter/right2.wav"}},
        {"CarLeft", {"spotter/left.wav", "spotter/left2.wav"}},
        {"Clear", {"spotter/clear.wav"}},
        {"ClearRight", {"spotter/clearright.wav"}},
        {"ClearLeft", {"spotter/clearleft.wav"}},
        {"Middle", {"spotter/middle.wav"}},
        {"StillThere", {"spotter/stillthere.wav", "spotter/stillthere2.wav"}},
    };
    const auto it = kPaths.find(kind);
    return it != kPaths.end() && std::find(it->second.begin(), it->second.end(), path) != it->second.end();
}

// Set `set` of the scenario: everyone at 30 m/s heading +y, the own car in
// slot 0 moving along, car 1 and car 2 alongside or 40 m away as the phase
// asks, the other cars far ahead or behind.
std::vector<sim::CarRecord> Scene(long set) {
    const Flags f = ExpectedFlags(set);
    const int32_t base = static_cast<int32_t>(set * 19661 % (1L << 30));
    std::vector<sim::CarRecord> cars(kCars);
    for (sim::CarRecord& car : cars) {
        car.speed = kSpeed;
        car.y = base;
    }
    cars[1].x = -3 * kMetre;
    cars[1].y += f.left ? kMetre / 2 : 40 * kMetre;
    cars[2].x = 3 * kMetre;
    cars[2].y += f.right ? -kMetre / 2 : -40 * kMetre;
    for (int i = 3; i < kCars; ++i) {
        cars[i].x = ((i % 5) - 2) * 4 * kMetre;
        cars[i].y += (i / 5 + 2) * 15 * kMetre * (i % 2 ? 1 : -1);
        if (i % 7 == 0) cars[i].heading = 32768;
    }
    return cars;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    size_t rank = static_cast<size_t>(p / 100.0 * static_cast<double>(v.size()) + 0.999999);
    if (rank < 1) rank = 1;
    if (rank > v.size()) rank = v.size();
    return v[rank - 1];
}

// Reads the program's trace as it comes: one record per spotter run, with
// the cues that the run played.
struct TraceReader {
    size_t offset = 0;
    struct Run {
        Flags flags;
        bool early = false;
        std::vector<std::string> cues;
    };
    std::vector<Run> runs;
    size_t cuesBeforeFirstRun = 0;
    size_t implausible = 0;
    std::string firstImplausible;

    void Take(const std::string& err) {
        for (;;) {
            const size_t end = err.find('\n', offset);
            if (end == std::string::npos) return;
            const std::string line = err.substr(offset, end - offset);
            offset = end + 1;
            if (line.rfind("run ", 0) == 0) {
                Run run;
                int l = 0, r = 0;
                const size_t at = line.find(" left=");
                if (at == std::string::npos || sscanf(line.c_str() + at, " left=%d right=%d", &l, &r) != 2) {
                    run.early = true;
                } else {
                    run.flags = {l != 0, r != 0};
                }
                runs.push_back(run);
            } else if (line.rfind("cue ", 0) == 0) {
                const size_t space = line.find(' ', 4);
                const std::string kind = line.substr(4, space == std::string::npos ? std::string::npos : space - 4);
                const std::string path = space == std::string::npos ? "" : line.substr(space + 1);
                if (!PlausiblePath(kind, path)) {
                    if (implausible++ == 0) firstImplausible = line;
                }
                if (runs.empty()) ++cuesBeforeFirstRun;
                else runs.back().cues.push_back(kind);
            }
        }
    }
};

long EnvSeconds() {
    const char* text = getenv("FLANKGUARD_SOAK_SECONDS");
    if (!text || !*text) return 120;
    const long s = strtol(text, nullptr, 10);
    return s > 0 ? s : 120;
}

}  // namespace

int main() {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    const long seconds = EnvSeconds();
    const long totalSets = seconds * 1000 / kSetMs;

    // A run directory of its own with the voice pack and the settings.
    std::error_code ignored;
    std::filesystem::create_directories(FLANKGUARD_SOAK_RUN_DIR, ignored);
    std::string dir = std::string(FLANKGUARD_SOAK_RUN_DIR) + "/XXXXXX";
    if (!mkdtemp(dir.data())) {
        fprintf(stderr, "mkdtemp failed in %s\n", FLANKGUARD_SOAK_RUN_DIR);
        return 1;
    }
    std::filesystem::create_directory(dir + "/spotter");
    for (const auto& entry : std::filesystem::directory_iterator(FLANKGUARD_SOAK_PACK)) {
        if (entry.path().extension() == ".wav")
            std::filesystem::copy_file(entry.path(), dir + "/spotter/" + entry.path().filename().string());
    }

    sim::Peer sim;
    if (!sim.Open(0)) {
        fprintf(stderr, "simulator: %s\n", sim.Error().c_str());
        return 1;
    }
    const unsigned short srcPort = e2e::FreeUdpPort();
    {
        std::ofstream cfg(dir + "/spotter/config.cfg");
        cfg << "[main]\naddress=127.0.0.1\ndestPort=" << sim.Port() << "\nsrcPort=" << srcPort
            << "\nautorunLFS=0\nautoReconnectOnRestart=0\n[spotting]\n";
    }
    sim.config.state.raceActive = 1;
    sim.config.state.ownIndex = 0;
    sim.config.state.playerCount = kCars;
    sim.config.state.track = "BL1";
    for (int i = 0; i < kCars; ++i)
        sim.config.players.push_back({static_cast<uint8_t>(i), "Driver" + std::to_string(i), "XF GTI"});

    // The child's environment is this one plus extraEnv, and the first of
    // two entries of a name wins: the audio device must not be inherited.
    unsetenv("AUDIODEV");
    unsetenv("ALSA_CONFIG_PATH");
    e2e::Program program;
    program.extraEnv = {"AUDIODEV=null", "FLANKGUARD_TRACE=1"};
    const char* exe = getenv("FLANKGUARD_SOAK_EXE");
    if (!exe || !*exe) exe = FLANKGUARD_EXE;
    std::string error;
    if (!program.Start(exe, dir, &error)) {
        fprintf(stderr, "cannot start %s: %s\n", exe, error.c_str());
        return 1;
    }
    const pid_t pid = procstats::ChildOf(getpid());
    auto cleanUp = [&] {
        program.Kill();
        std::filesystem::remove_all(dir, ignored);
    };

    // The handshake and the 32 players.
    const Clock::time_point connectBy = Clock::now() + std::chrono::seconds(10);
    while (program.Stdout().find("Player 31: ") == std::string::npos) {
        if (Clock::now() > connectBy || !program.Alive()) {
            fprintf(stderr, "the program did not connect; its output:\n%s\n", program.Stdout().c_str());
            cleanUp();
            return 1;
        }
        sim.Pump(5);
        program.Drain();
    }
    const size_t handshakeDatagrams = sim.Received().size();
    printf("soak: %ld s, %ld sets of %d cars (4 MCI each) and %ld acknowledged packets, pid %d\n", seconds,
           totalSets, kCars, totalSets, static_cast<int>(pid));

    TraceReader trace;
    std::map<uint16_t, int> acksSent, acksReceived;
    std::map<uint16_t, Clock::time_point> sentAt;
    std::vector<double> ackDelays;
    size_t scanned = handshakeDatagrams;
    size_t otherDatagrams = 0;
    auto takeReceived = [&] {
        const std::vector<sim::Datagram>& got = sim.Received();
        for (; scanned < got.size(); ++scanned) {
            int32_t value = 0;
            if (sim::IsSmall(got[scanned].bytes, "ACK", &value) && value >= 0 && value <= 0xFFFF) {
                const uint16_t v = static_cast<uint16_t>(value);
                ++acksReceived[v];
                const auto it = sentAt.find(v);
                if (it != sentAt.end()) ackDelays.push_back(Ms(got[scanned].at - it->second));
            } else {
                ++otherDatagrams;
            }
        }
    };

    struct MemorySample {
        double at;
        procstats::Sample s;
        procstats::UdpSocket udp;
    };
    std::vector<MemorySample> memory;
    const procstats::Sample startStats = procstats::Read(pid);
    unsigned long maxRxQueue = 0;

    const Clock::time_point start = Clock::now();
    Clock::time_point nextSample = start;
    long acked = 0;
    for (long set = 0; set < totalSets; ++set) {
        const Clock::time_point due = start + std::chrono::milliseconds(set * kSetMs);
        // Wait for the set's time while answering and reading the program.
        for (;;) {
            sim.Pump(0);
            program.Drain();
            const Clock::duration left = due - Clock::now();
            if (left <= std::chrono::milliseconds(1)) break;
            sim.Pump(static_cast<int>(Ms(left)) - 1);
        }
        std::this_thread::sleep_until(due);

        const std::vector<sim::CarRecord> cars = Scene(set);
        for (int first = 0; first < kCars; first += 8) {
            const std::vector<sim::CarRecord> part(cars.begin() + first, cars.begin() + first + 8);
            if (!sim.SendMci(kCars, static_cast<uint8_t>(first), part)) Failure("MCI send failed");
        }
        // Acknowledged packets of every kind in turn, values 1, 2, 3, ...
        // (wrapping after 65535, which 120 s never reach).
        const uint16_t value = static_cast<uint16_t>(acked % 65535 + 1);
        const sim::AckedKind& kind = sim::kAckedKinds[acked % 12];
        sentAt[value] = Clock::now();
        if (sim.SendAcked(kind.id, value)) ++acksSent[value];
        else Failure("acknowledged packet send failed");
        ++acked;

        takeReceived();
        trace.Take(program.Stderr());
        if (Clock::now() >= nextSample) {
            memory.push_back({std::chrono::duration<double>(Clock::now() - start).count(), procstats::Read(pid),
                              procstats::UdpByPort(srcPort)});
            nextSample += std::chrono::seconds(2);
        }
        if (set % 10 == 0) maxRxQueue = std::max(maxRxQueue, procstats::UdpByPort(srcPort).rxQueueBytes);
        if (set % 100 == 0 && !program.Alive()) break;
    }
    const double sendSeconds = std::chrono::duration<double>(Clock::now() - start).count();

    // The last answers and trace lines.
    const Clock::time_point drainBy = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < drainBy && program.Alive()) {
        sim.Pump(10);
        program.Drain();
        takeReceived();
        trace.Take(program.Stderr());
        size_t received = 0;
        for (const auto& a : acksReceived) received += static_cast<size_t>(a.second);
        if (received >= static_cast<size_t>(acked) && trace.runs.size() >= static_cast<size_t>(totalSets)) break;
    }
    const bool alive = program.Alive();
    const procstats::Sample endStats = procstats::Read(pid);
    const procstats::UdpSocket endUdp = procstats::UdpByPort(srcPort);
    memory.push_back({std::chrono::duration<double>(Clock::now() - start).count(), endStats, endUdp});

    // --- Checks and figures ----------------------------------------------------
    if (!alive) Failure("the program ended; exit status " + std::to_string(program.ExitStatus()));
    const std::string& out = program.Stdout();
    size_t attempts = 0;
    for (size_t at = out.find("Connecting to "); at != std::string::npos; at = out.find("Connecting to ", at + 1))
        ++attempts;
    if (attempts != 1) Failure("the program reconnected during the soak");

    long lost = 0, twice = 0, unexpected = 0;
    for (const auto& [value, count] : acksSent) {
        const auto it = acksReceived.find(value);
        const int got = it == acksReceived.end() ? 0 : it->second;
        if (got < count) lost += count - got;
        if (got > count) twice += got - count;
    }
    for (const auto& [value, count] : acksReceived)
        if (!acksSent.count(value)) unexpected += count;
    printf("acknowledgements: %ld sent, %ld lost, %ld answered twice, %ld with a value never sent;"
           " %zu other datagrams after the handshake\n",
           acked, lost, twice, unexpected, otherDatagrams);
    printf("  ACK round trip: median %.2f ms, p99 %.2f ms, max %.2f ms\n", Percentile(ackDelays, 50),
           Percentile(ackDelays, 99), Percentile(ackDelays, 100));
    if (lost || twice || unexpected) Failure("acknowledgements not answered exactly once");
    if (otherDatagrams) Failure("the program sent datagrams other than ACKs after the handshake");

    const long sets = static_cast<long>(std::min<size_t>(trace.runs.size(), static_cast<size_t>(totalSets)));
    printf("spotter runs traced: %zu for %ld sets sent\n", trace.runs.size(), totalSets);
    if (static_cast<long>(trace.runs.size()) != totalSets) Failure("not exactly one spotter run per set");
    long wrongFlags = 0, wrongCues = 0, stillThere = 0, misplacedStillThere = 0, cues = 0, early = 0;
    Flags was;
    for (long i = 0; i < sets; ++i) {
        const TraceReader::Run& run = trace.runs[static_cast<size_t>(i)];
        const Flags want = ExpectedFlags(i);
        if (run.early) ++early;
        if (!(run.flags == want)) ++wrongFlags;
        std::vector<std::string> played;
        for (const std::string& c : run.cues) {
            if (c == "StillThere") {
                ++stillThere;
                if (!want.left && !want.right) ++misplacedStillThere;
            } else {
                played.push_back(c);
            }
        }
        cues += static_cast<long>(run.cues.size());
        if (played != CuesFor(was, want)) {
            if (wrongCues++ == 0) {
                std::string got;
                for (const std::string& c : run.cues) got += " " + c;
                fprintf(stderr, "run %ld (flags %d%d after %d%d) played:%s\n", i, want.left, want.right, was.left,
                        was.right, got.c_str());
            }
        }
        was = want;
    }
    const long cycles = totalSets / kCycleSets;
    printf("cues: %ld traced (%ld still-there); %ld runs with other flags, %ld with other cues than expected,"
           " %zu implausible cue lines, %ld early exits\n",
           cues, stillThere, wrongFlags, wrongCues, trace.implausible, early);
    if (wrongFlags || early) Failure("spotter runs with unexpected flags");
    if (wrongCues || trace.cuesBeforeFirstRun) Failure("cues other than the flag changes call for");
    if (trace.implausible) Failure("implausible cue line: " + trace.firstImplausible);
    if (misplacedStillThere) Failure("still-there played with nothing alongside");
    if (cycles >= 2 && (stillThere < cycles - 1 || stillThere > 2 * cycles + 1))
        Failure("still-there count " + std::to_string(stillThere) + " for " + std::to_string(cycles) + " cycles");

    // Memory: flat after the warm-up (the first tenth, at least 5 s).
    const double warmUp = std::max(5.0, static_cast<double>(seconds) / 10);
    const MemorySample* base = nullptr;
    long maxRss = 0, minRss = 1L << 40;
    printf("memory (s: VmRSS/VmHWM KiB):");
    for (size_t i = 0; i < memory.size(); ++i) {
        const MemorySample& m = memory[i];
        if (i % 6 == 0 || i + 1 == memory.size()) printf(" %.0f:%ld/%ld", m.at, m.s.rssKiB, m.s.hwmKiB);
        if (m.at < warmUp || !m.s.ok) continue;
        if (!base) base = &m;
        maxRss = std::max(maxRss, m.s.rssKiB);
        minRss = std::min(minRss, m.s.rssKiB);
    }
    printf("\n");
    if (base) {
        const long rssGrowth = maxRss - base->s.rssKiB;
        const long hwmGrowth = endStats.hwmKiB - base->s.hwmKiB;
        printf("  after %.0f s warm-up: VmRSS %ld KiB, then %ld..%ld KiB (growth %ld KiB); VmHWM %ld -> %ld KiB\n",
               warmUp, base->s.rssKiB, minRss, maxRss, rssGrowth, base->s.hwmKiB, endStats.hwmKiB);
        if (rssGrowth > kGrowthLimitKiB || hwmGrowth > kGrowthLimitKiB)
            Failure("memory grew by more than " + std::to_string(kGrowthLimitKiB) + " KiB after the warm-up");
    } else if (alive) {
        Failure("no memory sample after the warm-up");
    }

    const double cpu = endStats.cpuSeconds - startStats.cpuSeconds;
    printf("program CPU %.2f s in %.1f s (%.1f %%); socket: %lu drops, receive queue up to %lu bytes\n", cpu,
           sendSeconds, 100 * cpu / sendSeconds, endUdp.drops, maxRxQueue);
    if (endUdp.drops) Failure("the kernel dropped datagrams at the program's socket");

    cleanUp();
    printf("%s\n", failures ? "soak FAILED" : "soak passed");
    return failures ? 1 : 0;
}
