// The measuring helper of script/measure: starts the real program against
// the stand-in simulator on loopback and measures
//   latency  the time from the first MCI datagram of a set leaving the
//            simulator to the first byte of the call-out it causes reaching
//            the audio device: an ALSA "file" device (slave null) writing
//            into a FIFO that a reader thread time-stamps;
//   idle     the CPU time the connected program uses per minute without any
//            traffic, and its resident memory with the shipped voice pack;
//            beside it, the cost of a bare loop of the same 25 ms cycle;
//   backlog  whether datagrams are lost at the simulator's highest rate when
//            cues take their real playing time: the same "file" device, but
//            its FIFO is read at the recordings' byte rate (22050 Hz, 16-bit
//            mono) through a one-page pipe, so a cue blocks the program for
//            about as long as on a sound card.
//
//   flankguard_measure latency [--cues N] [--exe PATH] [--pack DIR]
//   flankguard_measure idle [--seconds S] [--exe PATH] [--pack DIR]
//   flankguard_measure backlog [--seconds S] [--exe PATH] [--pack DIR]
#include <fcntl.h>
#include <poll.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "../tests/soak/proc_stats.h"
#include "program.h"
#include "sim/peer.h"

namespace {

using Clock = std::chrono::steady_clock;
const int32_t kMetre = 65536;
const uint16_t kSpeed = 9830;  // 30 m/s
const int kCars = 32;

struct Options {
    std::string mode;
    std::string exe = FLANKGUARD_EXE;
    std::string pack = FLANKGUARD_PACK;
    int cues = 300;
    int seconds = 0;  // 0: the mode's own default
};

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

[[noreturn]] void Fail(const std::string& why) {
    fprintf(stderr, "flankguard_measure: %s\n", why.c_str());
    exit(1);
}

// The program in a temporary directory with the voice pack, connected to
// the simulator with 32 players, all recognised.
struct Rig {
    std::string dir;
    sim::Peer sim;
    e2e::Program program;
    pid_t pid = -1;
    unsigned short srcPort = 0;

    ~Rig() {
        program.Kill();
        if (!dir.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(dir, ignored);
        }
    }

    void Prepare(const Options& o) {
        std::string pattern = (std::filesystem::temp_directory_path() / "flankguard-measure-XXXXXX").string();
        if (!mkdtemp(pattern.data())) Fail("mkdtemp failed");
        dir = pattern;
        std::filesystem::create_directory(dir + "/spotter");
        int sounds = 0;
        for (const auto& entry : std::filesystem::directory_iterator(o.pack)) {
            if (entry.path().extension() != ".wav") continue;
            std::filesystem::copy_file(entry.path(), dir + "/spotter/" + entry.path().filename().string());
            ++sounds;
        }
        if (sounds != 16) Fail("expected 16 WAV files in " + o.pack + ", found " + std::to_string(sounds));
        if (!sim.Open(0)) Fail(sim.Error());
        srcPort = e2e::FreeUdpPort();
        std::ofstream cfg(dir + "/spotter/config.cfg");
        cfg << "[main]\naddress=127.0.0.1\ndestPort=" << sim.Port() << "\nsrcPort=" << srcPort
            << "\nautorunLFS=0\nautoReconnectOnRestart=0\n[spotting]\n";
        sim.config.state.raceActive = 1;
        sim.config.state.ownIndex = 0;
        sim.config.state.playerCount = kCars;
        sim.config.state.track = "BL1";
        for (int i = 0; i < kCars; ++i)
            sim.config.players.push_back({static_cast<uint8_t>(i), "Driver" + std::to_string(i), "XF GTI"});
    }

    void Start(const Options& o) {
        std::string error;
        if (!program.Start(o.exe, dir, &error)) Fail(error);
        pid = procstats::ChildOf(getpid());
        if (pid < 0) Fail("cannot find the program's process");
        const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
        while (program.Stdout().find("Player 31: ") == std::string::npos) {
            if (Clock::now() > deadline || !program.Alive())
                Fail("the program did not connect; its output:\n" + program.Stdout());
            sim.Pump(5);
            program.Drain();
        }
    }

    void Service(int waitMs) {
        sim.Pump(waitMs);
        program.Drain();
    }
};

// Own car at the origin; car 1 alongside on the left or 40 m ahead, car 2
// alongside on the right or 40 m behind; the other 29 cars far away in a
// grid. All at 30 m/s heading +y.
std::vector<sim::CarRecord> Scene(bool left, bool right = false) {
    std::vector<sim::CarRecord> cars(kCars);
    for (sim::CarRecord& car : cars) car.speed = kSpeed;
    cars[1].x = -3 * kMetre;
    cars[1].y = left ? kMetre / 2 : 40 * kMetre;
    cars[2].x = 3 * kMetre;
    cars[2].y = right ? -kMetre / 2 : -40 * kMetre;
    for (int i = 3; i < kCars; ++i) {
        cars[i].x = ((i % 5) - 2) * 4 * kMetre;
        cars[i].y = (i / 5 + 2) * 15 * kMetre * (i % 2 ? 1 : -1);
    }
    return cars;
}

void SendSet(sim::Peer& sim, const std::vector<sim::CarRecord>& cars) {
    for (int first = 0; first < kCars; first += 8) {
        const std::vector<sim::CarRecord> part(cars.begin() + first, cars.begin() + first + 8);
        if (!sim.SendMci(kCars, static_cast<uint8_t>(first), part)) Fail("send failed");
    }
}

// Time-stamps what the audio device writes into the FIFO.
struct FifoWatch {
    std::string path;
    std::mutex lock;
    bool armed = false;
    bool seen = false;
    Clock::time_point first;
    Clock::time_point last;
    size_t bytes = 0;
    std::atomic<bool> stop{false};
    std::thread reader;

    // With `bytesPerSecond`, the FIFO holds one page and is read no faster
    // than that, so the writer plays in real time.
    double bytesPerSecond = 0;

    void Open(const std::string& fifo, double paceBytesPerSecond = 0) {
        path = fifo;
        bytesPerSecond = paceBytesPerSecond;
        if (mkfifo(path.c_str(), 0600) != 0) Fail("mkfifo " + path + ": " + strerror(errno));
        // Open before the program plays, so its device's open for writing
        // does not wait for a reader.
        const int fd = OpenFifo();
        if (fd < 0) Fail("cannot open " + path + ": " + strerror(errno));
        reader = std::thread([this, fd] { Run(fd); });
    }

    int OpenFifo() {
        const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK);
        if (fd >= 0 && bytesPerSecond > 0) fcntl(fd, F_SETPIPE_SZ, 4096);
        return fd;
    }

    // Reads until stopped; the FIFO is reopened when its writer closes.
    void Run(int fd) {
        static char buf[1 << 16];
        double tokens = 0;
        Clock::time_point refilled = Clock::now();
        while (!stop) {
            size_t want = sizeof buf;
            if (bytesPerSecond > 0) {
                const Clock::time_point now = Clock::now();
                tokens = std::min(4096.0, tokens + std::chrono::duration<double>(now - refilled).count() * bytesPerSecond);
                refilled = now;
                if (tokens < 64) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    continue;
                }
                want = static_cast<size_t>(tokens);
            }
            pollfd p = {fd, POLLIN, 0};
            if (poll(&p, 1, bytesPerSecond > 0 ? 2 : 50) <= 0) continue;
            const ssize_t n = read(fd, buf, want);
            const Clock::time_point now = Clock::now();
            if (n > 0 && bytesPerSecond > 0) tokens -= static_cast<double>(n);
            if (n > 0) {
                std::lock_guard<std::mutex> g(lock);
                if (armed && !seen) {
                    seen = true;
                    first = now;
                }
                last = now;
                bytes += static_cast<size_t>(n);
            } else if (n == 0 || (p.revents & POLLHUP)) {
                close(fd);
                fd = OpenFifo();
            }
        }
        close(fd);
    }

    void Arm() {
        std::lock_guard<std::mutex> g(lock);
        armed = true;
        seen = false;
        bytes = 0;
    }

    ~FifoWatch() {
        stop = true;
        if (reader.joinable()) reader.join();
    }
};

// The program's audio device: an ALSA "file" device over the null device,
// writing the raw samples into the FIFO of the run directory.
void UseFifoDevice(Rig& rig) {
    std::ofstream alsa(rig.dir + "/asound.conf");
    alsa << "pcm.measure {\n  type file\n  slave.pcm { type null }\n  file \"" << rig.dir
         << "/cue.fifo\"\n  format \"raw\"\n}\n";
    rig.program.extraEnv = {"AUDIODEV=measure", "ALSA_CONFIG_PATH=" + rig.dir + "/asound.conf"};
}

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    size_t rank = static_cast<size_t>(std::ceil(p / 100.0 * static_cast<double>(v.size())));
    if (rank < 1) rank = 1;
    return v[rank - 1];
}

int Latency(const Options& o) {
    Rig rig;
    rig.Prepare(o);
    FifoWatch watch;
    watch.Open(rig.dir + "/cue.fifo");
    UseFifoDevice(rig);
    rig.Start(o);

    std::mt19937 random(12345);
    std::uniform_int_distribution<int> gapUs(30000, 80000);
    const int warmUp = 2;  // the first cue opens the device
    std::vector<double> latencies, spans;
    std::vector<size_t> sizes;
    int missed = 0;
    for (int trial = 0; trial < o.cues + warmUp; ++trial) {
        // A random gap, so the sets land at every phase of the 25 ms cycle.
        const Clock::time_point sendAt = Clock::now() + std::chrono::microseconds(gapUs(random));
        while (Clock::now() < sendAt) {
            const int left = static_cast<int>(Ms(sendAt - Clock::now()));
            rig.Service(left > 2 ? left - 2 : 0);
        }
        std::this_thread::sleep_until(sendAt);
        watch.Arm();
        const Clock::time_point sent = Clock::now();
        SendSet(rig.sim, Scene(trial % 2 == 0));
        // Until the cue's bytes have stopped for 30 ms, at most 2 s.
        const Clock::time_point deadline = sent + std::chrono::seconds(2);
        bool seen = false;
        Clock::time_point first, last;
        size_t bytes = 0;
        for (;;) {
            rig.Service(2);
            {
                std::lock_guard<std::mutex> g(watch.lock);
                seen = watch.seen;
                first = watch.first;
                last = watch.last;
                bytes = watch.bytes;
            }
            const Clock::time_point now = Clock::now();
            if (seen && now - last > std::chrono::milliseconds(30)) break;
            if (now > deadline) break;
        }
        if (!rig.program.Alive()) Fail("the program ended; its output:\n" + rig.program.Stdout());
        if (!seen) {
            ++missed;
            continue;
        }
        if (trial < warmUp) continue;
        latencies.push_back(Ms(first - sent));
        spans.push_back(Ms(last - first));
        sizes.push_back(bytes);
    }
    if (latencies.empty()) Fail("no cue reached the device");
    double sum = 0;
    for (double l : latencies) sum += l;
    const double median = Percentile(latencies, 50), p99 = Percentile(latencies, 99);
    printf("call-out latency, MCI sent -> first sample at the device, %zu cues (%d warm-up not counted, %d missed):\n",
           latencies.size(), warmUp, missed);
    printf("  min %.2f ms  median %.2f ms  mean %.2f ms  p90 %.2f ms  p99 %.2f ms  max %.2f ms\n",
           Percentile(latencies, 0), median, sum / static_cast<double>(latencies.size()), Percentile(latencies, 90),
           p99, Percentile(latencies, 100));
    printf("  a cue's samples reach the device within %.2f ms of its first byte (median), %.2f ms (max);"
           " %zu to %zu bytes a cue\n",
           Percentile(spans, 50), Percentile(spans, 100), *std::min_element(sizes.begin(), sizes.end()),
           *std::max_element(sizes.begin(), sizes.end()));
    const bool ok = median <= 15.0 && p99 <= 30.0 && missed == 0;
    printf("  targets median <= 15 ms, p99 <= 30 ms: %s\n", ok ? "met" : "NOT met");
    return ok ? 0 : 2;
}

// CPU seconds per minute of a bare loop of the program's idle cycle (sleep
// 25 ms, poll an idle UDP socket without waiting, read the clock) on a
// thread of this process, for `seconds`: what that cycle costs on this
// machine whatever the program does.
double FloorPerMinute(int seconds) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    auto ranNs = [] {
        std::ifstream f("/proc/thread-self/schedstat");
        uint64_t ns = 0;
        f >> ns;
        return ns;
    };
    const uint64_t before = ranNs();
    const Clock::time_point from = Clock::now();
    for (int i = 0; i < seconds * 40; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
        pollfd p = {fd, POLLIN, 0};
        poll(&p, 1, 0);
        (void)Clock::now();
    }
    const double wall = std::chrono::duration<double>(Clock::now() - from).count();
    const uint64_t after = ranNs();
    close(fd);
    return static_cast<double>(after - before) / 1e9 * 60 / wall;
}

int Idle(const Options& o) {
    const int seconds = o.seconds ? o.seconds : 50;
    Rig rig;
    rig.Prepare(o);
    rig.program.extraEnv = {"AUDIODEV=null"};
    rig.Start(o);
    // Let the handshake's answers settle.
    for (int i = 0; i < 20; ++i) rig.Service(100);
    const size_t outputBefore = rig.program.Stdout().size();
    const procstats::Sample a = procstats::Read(rig.pid);
    const Clock::time_point from = Clock::now();
    const Clock::time_point until = from + std::chrono::seconds(seconds);
    // A connected simulator sends at least one datagram a minute; a window
    // longer than 55 s gets one LAP every 50 s so the silence rule does not
    // reconnect.
    Clock::time_point nextKeepalive = from + std::chrono::seconds(50);
    int keepalives = 0;
    double floorPerMin = 0;
    std::thread floor([&] { floorPerMin = FloorPerMinute(seconds); });
    while (Clock::now() < until) {
        rig.Service(200);
        if (seconds > 55 && Clock::now() >= nextKeepalive) {
            rig.sim.SendAcked("LAP", static_cast<uint16_t>(++keepalives));
            nextKeepalive += std::chrono::seconds(50);
        }
    }
    const procstats::Sample b = procstats::Read(rig.pid);
    const double wall = std::chrono::duration<double>(Clock::now() - from).count();
    floor.join();
    if (!a.ok || !b.ok || !rig.program.Alive()) Fail("the program ended during the measurement");
    if (rig.program.Stdout().find("Connecting", outputBefore) != std::string::npos)
        Fail("the program reconnected during the measurement");
    const double cpu = b.cpuSeconds - a.cpuSeconds;
    const double runS = static_cast<double>(b.runNs - a.runNs) / 1e9;
    printf("idle cost, connected, %d datagram(s) in %.1f s:\n", keepalives, wall);
    printf("  CPU utime+stime %.2f s in %.1f s = %.4f s/min (10 ms ticks); schedstat %.4f s = %.4f s/min\n", cpu,
           wall, cpu * 60 / wall, runS, runS * 60 / wall);
    printf("  wake-ups %.1f /s (voluntary context switches)\n",
           static_cast<double>(b.voluntarySwitches - a.voluntarySwitches) / wall);
    printf("  a bare loop of the same cycle (sleep 25 ms, poll, clock) on this machine: %.4f s/min\n", floorPerMin);
    printf("  VmRSS %ld KiB (%.2f MiB), VmHWM %ld KiB, with the shipped voice pack\n", b.rssKiB, b.rssKiB / 1024.0,
           b.hwmKiB);
    const double perMin = (runS > 0 ? runS : cpu) * 60 / wall;
    const bool ok = perMin <= 0.05 && b.rssKiB <= 8 * 1024;
    printf("  targets <= 0.05 s/min, VmRSS <= 8 MiB: %s\n", ok ? "met" : "NOT met");
    return ok ? 0 : 2;
}

// The simulator's highest rate (a set of 32 cars in four MCI every 10 ms and
// an acknowledged packet every 10 ms) with cues that take their real time:
// car 1 on the left for 3 s, car 2 on the right for 1 s, both for 1 s,
// nobody for 1 s. Counts the acknowledgements that never come back.
int Backlog(const Options& o) {
    const int seconds = o.seconds ? o.seconds : 30;
    Rig rig;
    rig.Prepare(o);
    FifoWatch watch;
    watch.Open(rig.dir + "/cue.fifo", 44100.0);
    UseFifoDevice(rig);
    rig.Start(o);
    watch.Arm();

    const size_t from = rig.sim.Received().size();
    size_t acked = 0;
    unsigned long maxQueue = 0;
    const Clock::time_point start = Clock::now();
    const long sets = seconds * 100L;
    for (long set = 0; set < sets; ++set) {
        const Clock::time_point due = start + std::chrono::milliseconds(set * 10);
        for (;;) {
            rig.Service(0);
            const double left = Ms(due - Clock::now());
            if (left <= 1) break;
            rig.Service(static_cast<int>(left) - 1);
        }
        std::this_thread::sleep_until(due);
        const long at = set % 600;
        SendSet(rig.sim, Scene(at < 300 || (at >= 400 && at < 500), at >= 300 && at < 500));
        rig.sim.SendAcked(sim::kAckedKinds[acked % 11].id, static_cast<uint16_t>(acked % 65535 + 1));
        ++acked;
        if (set % 5 == 0) maxQueue = std::max(maxQueue, procstats::UdpByPort(rig.srcPort).rxQueueBytes);
    }
    // Whatever is still queued gets its answer once the cues are over.
    const Clock::time_point drainBy = Clock::now() + std::chrono::seconds(5);
    size_t answered = 0;
    while (Clock::now() < drainBy) {
        rig.Service(20);
        answered = 0;
        for (size_t i = from; i < rig.sim.Received().size(); ++i)
            if (sim::IsSmall(rig.sim.Received()[i].bytes, "ACK")) ++answered;
        if (answered >= acked) break;
    }
    if (!rig.program.Alive()) Fail("the program ended; its output:\n" + rig.program.Stdout());
    const procstats::UdpSocket udp = procstats::UdpByPort(rig.srcPort);
    size_t played = 0;
    {
        std::lock_guard<std::mutex> g(watch.lock);
        played = watch.bytes;
    }
    printf("backlog at 500 datagrams/s for %d s with cues paced in real time (%.1f s of sound played):\n", seconds,
           static_cast<double>(played) / 44100.0);
    printf("  %zu acknowledged packets sent, %zu answered, %zu lost; kernel drops at the program's socket %lu;"
           " receive queue up to %lu bytes (SO_RCVBUF default here %s bytes)\n",
           acked, answered, acked > answered ? acked - answered : 0, udp.drops, maxQueue,
           [] {
               static char text[32] = "?";
               std::ifstream f("/proc/sys/net/core/rmem_default");
               std::string v;
               if (f >> v) snprintf(text, sizeof text, "%s", v.c_str());
               return text;
           }());
    return answered >= acked && udp.drops == 0 ? 0 : 2;
}

Options Parse(int argc, char** argv) {
    Options o;
    if (argc < 2)
        Fail("usage: flankguard_measure latency|idle|backlog [--cues N] [--seconds S] [--exe PATH] [--pack DIR]");
    o.mode = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) Fail("missing value after " + arg);
        const char* value = argv[++i];
        if (arg == "--cues") o.cues = atoi(value);
        else if (arg == "--seconds") o.seconds = atoi(value);
        else if (arg == "--exe") o.exe = value;
        else if (arg == "--pack") o.pack = value;
        else Fail("unknown option " + arg);
    }
    if (o.cues < 1 || o.seconds < 0) Fail("--cues and --seconds take a positive number");
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = Parse(argc, argv);
    // The program's environment is this one plus Program::extraEnv, where
    // the first entry of a name wins: nothing of the audio set-up may be
    // inherited.
    unsetenv("AUDIODEV");
    unsetenv("ALSA_CONFIG_PATH");
    unsetenv("FLANKGUARD_TRACE");
    setvbuf(stdout, nullptr, _IOLBF, 0);
    if (o.mode == "latency") return Latency(o);
    if (o.mode == "idle") return Idle(o);
    if (o.mode == "backlog") return Backlog(o);
    Fail("unknown mode " + o.mode);
}
