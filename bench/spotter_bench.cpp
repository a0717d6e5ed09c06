// Benchmarks of the program's hot path: HandlePacket for each kind of
// datagram, PollLink over a backlog, RunSpotter over 32 cars, and a whole
// set of 32 cars (four MCI packets) from the socket to the call-outs. The
// same source is built on the fake backend (flankguard_bench) and on the
// lean backend of this directory (flankguard_bench_lean); the difference
// between the two is the fake backend's own cost.
//
// The program prints to standard output on some packets: that goes to
// /dev/null, while the benchmark's report goes to the original output.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <streambuf>
#include <vector>

#include "app/connect_loop.h"
#include "config/settings.h"
#include "feed.h"
#include "link/dispatch.h"
#include "link/endpoint.h"
#include "sim/packets.h"
#include "sound/sound_bank.h"
#include "spotter/player_table.h"
#include "spotter/prediction.h"
#include "spotter/side_detection.h"
#include "spotter/spotter.h"
#include "spotter/trig.h"

namespace {

const int32_t kMetre = 65536;
const uint16_t kSpeed = 9830;  // 30 m/s
const int kCars = 32;
const int32_t kXfGti = 1;
// Datagrams queued at a time for the single-datagram benchmarks; the refill
// runs with the timer paused, once per batch.
const size_t kBatch = 4096;

using Datagrams = std::vector<std::vector<uint8_t>>;

// A 45-byte RIFF/WAVE image (PCM, one 8-bit sample), so that a play through
// the fake player copies little.
SoundImage TinyWave() {
    static const uint8_t kImage[45] = {
        'R', 'I', 'F', 'F', 37, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 1, 0,
        0x40, 0x1F, 0, 0, 0x40, 0x1F, 0, 0, 1, 0, 8, 0, 'd', 'a', 't', 'a', 1, 0, 0, 0, 0x80,
    };
    return SoundImage{const_cast<uint8_t*>(kImage), sizeof kImage};
}

// The program connected on BL1 with the default spotting settings, its own
// car in slot 0 and all 32 players recognised (so RequestPlayers sends
// nothing), nothing alongside yet.
void SetUpProgram(int32_t prediction = 400) {
    FeedReset();
    memset(&Settings, 0, sizeof Settings);
    strcpy(Settings.address, "127.0.0.1");
    Settings.destPort = 29999;
    Settings.srcPort = 30000;
    Settings.autoReconnectOnRestart = 0;
    Settings.maxXDistance = 23;
    Settings.minSpeed = 25;
    Settings.maxSpeedDiffFaster = 75;
    Settings.maxSpeedDiffSlower = 75;
    Settings.maxAngleDiff = 30;
    Settings.stillThereInterval = 2500;
    Settings.prediction = prediction;
    Init();
    if (!PlayerTable) CreatePlayerTable();
    memset(PlayerTable, 0, sizeof(PlayerSlot) * kPlayerSlots);
    for (int i = 0; i < kPlayerSlots; ++i) PlayerTable[i].model = kXfGti;

    sim::StaFields sta;
    sta.ownIndex = 0;
    sta.playerCount = kCars;
    sta.raceActive = 1;
    sta.track = "BL1";
    const sim::Bytes bytes = sim::BuildSta(sta);
    memcpy(StateSnapshot, bytes.data(), kStatePacketSize);
    TrackMode = 2;
    ConnectState = Connected;
    announced = true;
    carLeft = carRight = wasLeft = wasRight = 0;
    lastCueTime = 0;
    for (SoundImage& image : SoundBank) image = TinyWave();
}

// 32 cars at 30 m/s heading +y, the own car at the origin. With `left`,
// cars 1 and 3 are alongside on the left; with `right`, cars 2 and 4 on the
// right; otherwise they are well ahead or behind. The other cars each fail
// one of the tests: opposite heading, too slow, too far ahead or behind,
// beyond the lateral window, inside the inner limit.
std::vector<sim::CarRecord> Scene(bool left, bool right) {
    std::vector<sim::CarRecord> cars(kCars);
    auto at = [](sim::CarRecord& car, double x, double y) {
        car.x = static_cast<int32_t>(x * kMetre);
        car.y = static_cast<int32_t>(y * kMetre);
    };
    for (sim::CarRecord& car : cars) car.speed = kSpeed;
    at(cars[1], -3.0, left ? 0.5 : 40.0);
    at(cars[2], 3.0, right ? -0.5 : -40.0);
    at(cars[3], -6.0, left ? -1.0 : 60.0);
    at(cars[4], 7.0, right ? 1.0 : -60.0);
    at(cars[5], 30.0, 0.0);   // beyond the lateral window
    at(cars[6], -1.0, 0.2);   // inside the inner limit
    for (int i = 7; i < kCars; ++i) {
        const int k = i - 7;
        at(cars[i], ((k % 5) - 2) * 4.0, (k / 5 + 1) * 15.0 * (k % 2 ? 1 : -1));
        if (k % 7 == 0) cars[i].heading = 32768;        // the other way
        if (k % 7 == 1) cars[i].speed = kSpeed / 4;     // 81 km/h slower
    }
    return cars;
}

// The four MCI packets of a set of 32 cars.
Datagrams CarSet(const std::vector<sim::CarRecord>& cars) {
    Datagrams set;
    for (int first = 0; first < kCars; first += 8) {
        std::vector<sim::CarRecord> part(cars.begin() + first, cars.begin() + first + 8);
        set.push_back(sim::BuildMci(kCars, static_cast<uint8_t>(first), part));
    }
    return set;
}

// The player table as a set of `cars` leaves it, before any prediction.
std::vector<PlayerSlot> TableOf(const std::vector<sim::CarRecord>& cars) {
    std::vector<PlayerSlot> table(kPlayerSlots);
    const Datagrams set = CarSet(cars);
    for (int i = 0; i < kCars; ++i) {
        table[i].car = ReadCarInfo(set[i / 8].data() + 12 + kCarInfoSize * (i % 8));
        table[i].model = kXfGti;
    }
    return table;
}

void Restore(const std::vector<PlayerSlot>& table) {
    memcpy(PlayerTable, table.data(), sizeof(PlayerSlot) * kPlayerSlots);
}

// Set when a benchmark found the program doing something other than what
// it measures; the run then exits with status 1.
bool checkFailed = false;

void Check(benchmark::State& state, bool ok, const char* what) {
    if (ok) return;
    state.SkipWithError(what);
    checkFailed = true;
}

// --- One datagram through HandlePacket --------------------------------------

enum Kind { kLap, kAck, kSta, kNpl, kRst, kUnknown, kInvalid, kMciPart };

Datagrams DatagramsOf(Kind kind) {
    Datagrams d;
    switch (kind) {
    case kLap:
        for (uint16_t v = 1; v <= 16; ++v) d.push_back(sim::BuildAcked("LAP", v));
        break;
    case kAck: d.push_back(sim::BuildAck(0)); break;
    case kSta: {
        sim::StaFields sta;
        sta.playerCount = kCars;
        sta.raceActive = 1;
        sta.track = "BL1";
        d.push_back(sim::BuildSta(sta));
        break;
    }
    case kNpl: d.push_back(sim::BuildNpl({5, "Driver5", "XF GTI"})); break;
    case kRst: d.push_back(sim::BuildRst(77)); break;
    case kUnknown: d.push_back(sim::BuildBlank("XYZ", 16)); break;
    case kInvalid: {
        sim::Bytes b = sim::BuildBlank("ABC", 16);
        b[3] = 'D';
        d.push_back(b);
        break;
    }
    case kMciPart: d.push_back(CarSet(Scene(true, true))[0]); break;  // files 8 cars, runs nothing
    }
    return d;
}

// Sends that one datagram of the kind causes.
size_t SendsOf(Kind kind) { return kind == kLap || kind == kAck || kind == kRst ? 1 : 0; }

void BM_HandlePacket(benchmark::State& state, Kind kind) {
    SetUpProgram();
    FeedLoad(DatagramsOf(kind));
    size_t left = 0;
    size_t handled = 0;
    bool sendsRight = true;
    for (auto _ : state) {
        if (left == 0) {
            state.PauseTiming();
            sendsRight = sendsRight && FeedSentCount() == handled * SendsOf(kind);
            FeedForget();
            handled = 0;
            FeedRefill(kBatch);
            left = kBatch;
            state.ResumeTiming();
        }
        HandlePacket();
        --left;
        ++handled;
    }
    sendsRight = sendsRight && FeedSentCount() == handled * SendsOf(kind);
    Check(state, sendsRight && ConnectState == Connected && FeedPlayCount() == 0, "unexpected effect");
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK_CAPTURE(BM_HandlePacket, LAP_ack, kLap);
BENCHMARK_CAPTURE(BM_HandlePacket, ACK, kAck);
BENCHMARK_CAPTURE(BM_HandlePacket, STA_connected, kSta);
BENCHMARK_CAPTURE(BM_HandlePacket, NPL, kNpl);
BENCHMARK_CAPTURE(BM_HandlePacket, RST_no_reconnect, kRst);
BENCHMARK_CAPTURE(BM_HandlePacket, unknown_id, kUnknown);
BENCHMARK_CAPTURE(BM_HandlePacket, invalid_id, kInvalid);
BENCHMARK_CAPTURE(BM_HandlePacket, MCI_not_completing, kMciPart);

// --- The backend alone, for subtracting its share -----------------------------

// One receive of a waiting 60-byte datagram.
void BM_Backend_Receive(benchmark::State& state) {
    SetUpProgram();
    FeedLoad(DatagramsOf(kLap));
    const PlatSocket s = PlatUdpOpen(Settings.srcPort);
    uint8_t buf[512];
    size_t left = 0;
    for (auto _ : state) {
        if (left == 0) {
            state.PauseTiming();
            FeedRefill(kBatch);
            left = kBatch;
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(PlatUdpWaiting(s));
        benchmark::DoNotOptimize(PlatUdpReceive(s, buf, sizeof buf));
        --left;
    }
}
BENCHMARK(BM_Backend_Receive);

// One send of an 8-byte packet.
void BM_Backend_Send(benchmark::State& state) {
    SetUpProgram();
    const PlatSocket s = PlatUdpOpen(Settings.srcPort);
    const uint8_t ack[8] = {'A', 'C', 'K', 0, 1, 0, 0, 0};
    size_t n = 0;
    for (auto _ : state) {
        if (++n == kBatch) {
            state.PauseTiming();
            FeedForget();
            n = 0;
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(PlatUdpSend(s, Settings.address, Settings.destPort, ack, sizeof ack));
    }
}
BENCHMARK(BM_Backend_Send);

// One play of the 45-byte image.
void BM_Backend_Play(benchmark::State& state) {
    SetUpProgram();
    const SoundImage image = TinyWave();
    size_t n = 0;
    for (auto _ : state) {
        if (++n == kBatch) {
            state.PauseTiming();
            FeedForget();
            n = 0;
            state.ResumeTiming();
        }
        PlatPlayWave(image.data, image.size);
    }
}
BENCHMARK(BM_Backend_Play);

// --- PollLink ------------------------------------------------------------------

// Nothing waiting: the cost of every idle poll cycle.
void BM_PollLink_Empty(benchmark::State& state) {
    SetUpProgram();
    for (auto _ : state) PollLink();
}
BENCHMARK(BM_PollLink_Empty);

// A backlog of N datagrams of the simulator's busiest traffic: sets of four
// MCI (32 cars, no cue) with a LAP after each set. Items are datagrams.
void BM_PollLink_Backlog(benchmark::State& state) {
    SetUpProgram();
    Datagrams traffic = CarSet(Scene(true, true));
    traffic.push_back(sim::BuildAcked("LAP", 9));
    FeedLoad(traffic);
    const size_t n = static_cast<size_t>(state.range(0));
    FeedRefill(traffic.size());
    PollLink();  // first set: the call-outs for the cars alongside
    FeedForget();
    const bool free = FeedRefillIsFree();
    for (auto _ : state) {
        if (free) {
            FeedRefill(n);
        } else {
            state.PauseTiming();
            FeedRefill(n);
            if (FeedSentCount() > kBatch) FeedForget();
            state.ResumeTiming();
        }
        PollLink();
    }
    Check(state, FeedQueued() == 0 && FeedPlayCount() == 0, "backlog left or cue played");
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * n));
}
BENCHMARK(BM_PollLink_Backlog)->Arg(1)->Arg(5)->Arg(40)->Arg(200)->Arg(1000);

// --- RunSpotter over 32 cars ---------------------------------------------------

// Cars alongside on both sides, every run the same: no cue plays. Each
// iteration puts back the table as a set delivers it (a 1 KiB copy).
void BM_RunSpotter_NoCue(benchmark::State& state) {
    SetUpProgram(static_cast<int32_t>(state.range(0)));
    const std::vector<PlayerSlot> table = TableOf(Scene(true, true));
    Restore(table);
    RunSpotter(kCars);  // the first run calls the cars out
    FeedForget();
    for (auto _ : state) {
        Restore(table);
        RunSpotter(kCars);
    }
    Check(state, carLeft && carRight && FeedPlayCount() == 0, "flags changed or a cue played");
}
BENCHMARK(BM_RunSpotter_NoCue)->ArgName("prediction")->Arg(400)->Arg(0);

// A car comes alongside on the left and goes away on alternate runs: every
// run plays one cue (CarLeft, Clear) through the backend's player.
void BM_RunSpotter_Cue(benchmark::State& state) {
    SetUpProgram();
    const std::vector<PlayerSlot> scenes[2] = {TableOf(Scene(true, false)), TableOf(Scene(false, false))};
    size_t runs = 0;
    size_t sinceForget = 0;
    bool playsRight = true;
    for (auto _ : state) {
        if (sinceForget == kBatch) {
            state.PauseTiming();
            playsRight = playsRight && FeedPlayCount() == sinceForget;
            FeedForget();
            sinceForget = 0;
            state.ResumeTiming();
        }
        Restore(scenes[runs++ & 1]);
        RunSpotter(kCars);
        ++sinceForget;
    }
    Check(state, playsRight && FeedPlayCount() == sinceForget, "not one cue a run");
}
BENCHMARK(BM_RunSpotter_Cue);

// --- A whole set: four MCI through HandlePacket, then RunSpotter --------------

// Items are sets. `cue` 0: the same cars alongside every set, no cue; 1: a
// car comes and goes on alternate sets, one cue a set.
void BM_CarSet(benchmark::State& state) {
    const bool cue = state.range(0) != 0;
    SetUpProgram();
    Datagrams traffic = cue ? CarSet(Scene(true, false)) : CarSet(Scene(true, true));
    if (cue) {
        const Datagrams away = CarSet(Scene(false, false));
        traffic.insert(traffic.end(), away.begin(), away.end());
    }
    FeedLoad(traffic);
    FeedRefill(traffic.size());
    PollLink();  // settles the flags of the scene(s)
    FeedForget();
    size_t left = 0;
    size_t sets = 0;
    bool playsRight = true;
    for (auto _ : state) {
        if (left == 0) {
            state.PauseTiming();
            playsRight = playsRight && FeedPlayCount() == (cue ? sets : 0);
            FeedForget();
            sets = 0;
            FeedRefill(kBatch);
            left = kBatch;
            state.ResumeTiming();
        }
        HandlePacket();
        HandlePacket();
        HandlePacket();
        HandlePacket();
        left -= 4;
        ++sets;
    }
    Check(state, playsRight && FeedPlayCount() == (cue ? sets : 0), "wrong cues");
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_CarSet)->ArgName("cue")->Arg(0)->Arg(1);

// --- Parts of a run, for finding where its time goes ---------------------------

void BM_Part_PredictPositions(benchmark::State& state) {
    SetUpProgram();
    const std::vector<PlayerSlot> table = TableOf(Scene(true, true));
    for (auto _ : state) {
        Restore(table);
        PredictPositions(kCars);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Part_PredictPositions);

void BM_Part_Classify31(benchmark::State& state) {
    SetUpProgram();
    const std::vector<PlayerSlot> table = TableOf(Scene(true, true));
    Restore(table);
    for (auto _ : state) {
        const OwnFrame own = MakeOwnFrame(PlayerTable[0]);
        int alongside = 0;
        for (int i = 1; i < kCars; ++i) alongside += ClassifyCar(own, PlayerTable[i]) <= kAlongsideRight;
        benchmark::DoNotOptimize(alongside);
    }
}
BENCHMARK(BM_Part_Classify31);

void BM_Part_TableRestore(benchmark::State& state) {
    SetUpProgram();
    const std::vector<PlayerSlot> table = TableOf(Scene(true, true));
    for (auto _ : state) {
        Restore(table);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Part_TableRestore);

void BM_Part_SinCos(benchmark::State& state) {
    double x = 0.3;
    for (auto _ : state) {
        benchmark::DoNotOptimize(PortableSin(x));
        benchmark::DoNotOptimize(PortableCos(x));
        x += 0.01;
        if (x > 6.3) x = 0.3;
    }
}
BENCHMARK(BM_Part_SinCos);

// The trace switch is looked up in the environment on every run and cue.
void BM_Part_TraceLookup(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(getenv("FLANKGUARD_TRACE"));
}
BENCHMARK(BM_Part_TraceLookup);

// Writes to a file descriptor, for the report while standard output is
// /dev/null.
class FdBuf : public std::streambuf {
public:
    explicit FdBuf(int fd) : fd_(fd) {}

protected:
    int overflow(int c) override {
        if (c == traits_type::eof()) return 0;
        const char ch = static_cast<char>(c);
        return ::write(fd_, &ch, 1) == 1 ? c : traits_type::eof();
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        std::streamsize done = 0;
        while (done < n) {
            const ssize_t w = ::write(fd_, s + done, static_cast<size_t>(n - done));
            if (w <= 0) break;
            done += w;
        }
        return done;
    }

private:
    int fd_;
};

}  // namespace

int main(int argc, char** argv) {
    // The trace must be off, as in normal use.
    unsetenv("FLANKGUARD_TRACE");
    fflush(stdout);
    const int report = dup(STDOUT_FILENO);
    const int devNull = open("/dev/null", O_WRONLY);
    if (report < 0 || devNull < 0 || dup2(devNull, STDOUT_FILENO) < 0) return 1;
    static FdBuf reportBuf(report);
    std::cout.rdbuf(&reportBuf);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::AddCustomContext("backend", FeedName());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::cout.flush();
    return checkFailed ? 1 : 0;
}
