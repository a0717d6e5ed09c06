// spotter_dump: runs the spotter's numeric stages over fixed grids of car
// states and writes digests of the results (every bit of every value), so
// that the output of the Linux build and of the Windows build can be
// compared: the spotter must decide the same on every platform.
//
//   spotter_dump OUT
//
// One line per block of inputs: the block, an FNV-1a digest of its results
// and, for side detection, how many cars got each verdict.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "config/settings.h"
#include "spotter/player_table.h"
#include "spotter/prediction.h"
#include "spotter/side_detection.h"
#include "spotter/trig.h"

namespace {

struct Digest {
    uint64_t h = 1469598103934665603ull;
    template <typename T>
    void Add(const T& v) {
        unsigned char bytes[sizeof v];
        memcpy(bytes, &v, sizeof v);
        for (unsigned char b : bytes) {
            h ^= b;
            h *= 1099511628211ull;
        }
    }
};

std::string out;

void Line(const std::string& what, const Digest& d, const std::string& extra = "") {
    char hex[20];
    snprintf(hex, sizeof hex, "%016" PRIx64, d.h);
    out += what + " " + hex + extra + "\n";
}

void DefaultSettings() {
    Settings.maxXDistance = 23;
    Settings.minSpeed = 25;
    Settings.maxSpeedDiffFaster = 75;
    Settings.maxSpeedDiffSlower = 75;
    Settings.maxAngleDiff = 30;
    Settings.stillThereInterval = 2500;
    Settings.prediction = 400;
}

// The own frame at every raw heading: the four sine and cosine factors,
// the angle, speed and length.
void Frames() {
    for (int block = 0; block < 64; ++block) {
        Digest d;
        for (int raw = block * 1024; raw < (block + 1) * 1024; ++raw) {
            PlayerSlot own = {};
            own.car.heading = static_cast<uint16_t>(raw);
            own.car.speed = static_cast<uint16_t>(raw * 7);
            own.car.x = raw * 6151;
            own.car.y = -raw * 977;
            own.model = raw % kCarModelRows;
            const OwnFrame f = MakeOwnFrame(own);
            d.Add(f.x), d.Add(f.y), d.Add(f.angle), d.Add(f.s1), d.Add(f.c1), d.Add(f.s2), d.Add(f.c2);
            d.Add(f.speedKmh), d.Add(f.length);
        }
        Line("frame headings " + std::to_string(block * 1024) + "+1024", d);
    }
}

// Sine and cosine on their own, over the spotter's range and beyond.
void Trig() {
    for (int block = 0; block < 16; ++block) {
        Digest d;
        for (int i = 0; i < 4096; ++i) {
            const double t = (block * 4096 + i) * 0.000244140625 - 4.0;  // -4 .. 12 radians
            d.Add(PortableSin(t)), d.Add(PortableCos(t));
        }
        Line("trig block " + std::to_string(block), d);
    }
}

// Every direction, at several speeds and prediction times, from two
// starting points (one near the edge of the coordinate range, to wrap).
void Predictions() {
    const uint16_t speeds[] = {0, 1, 327, 10000, 32768, 65535};
    const int32_t predictions[] = {1, 25, 400, 2500, -400, 100000};
    const int32_t starts[][2] = {{0, 0}, {2147480000, -2147480000}};
    for (int32_t p : predictions) {
        for (uint16_t s : speeds) {
            Settings.prediction = p;
            Digest d;
            for (const auto& start : starts) {
                for (int raw = 0; raw < 65536; raw += 3) {
                    PlayerTable[0].car.x = start[0];
                    PlayerTable[0].car.y = start[1];
                    PlayerTable[0].car.speed = s;
                    PlayerTable[0].car.direction = static_cast<uint16_t>(raw);
                    PredictPositions(1);
                    d.Add(PlayerTable[0].car.x), d.Add(PlayerTable[0].car.y);
                }
            }
            Line("predict prediction " + std::to_string(p) + " speed " + std::to_string(s), d);
        }
    }
    Settings.prediction = 400;
}

// Another car on a grid around the own car, at a few headings and speeds
// relative to it, for own headings all round.
void Classification() {
    for (int heading = 0; heading < 65536; heading += 257) {
        Digest d;
        long counts[7] = {};
        PlayerSlot own = {};
        own.car.x = 65536000 + 19661;  // 1000.3 m
        own.car.y = -131117875;        // -2000.7 m
        own.car.heading = static_cast<uint16_t>(heading);
        own.car.speed = 10000;
        own.model = 1;
        const OwnFrame frame = MakeOwnFrame(own);
        const int turns[] = {0, 182 * 29, 182 * 31, -182 * 30};
        const uint16_t speeds[] = {10000, 10000 + 6900, 10000 - 6850};
        for (int turn : turns) {
            for (uint16_t speed : speeds) {
                for (int ix = -68; ix <= 68; ++ix) {
                    for (int iy = -68; iy <= 68; ++iy) {
                        PlayerSlot other = {};
                        other.car.x = own.car.x + ix * 24248;  // 0.37 m steps
                        other.car.y = own.car.y + iy * 24248;
                        other.car.heading = static_cast<uint16_t>(heading + turn);
                        other.car.speed = speed;
                        other.model = (ix + iy + 200) % (kCarModelRows - 1);
                        const Verdict v = ClassifyCar(frame, other);
                        d.Add(static_cast<int32_t>(v));
                        if (v >= 0 && v < 7) ++counts[v];
                    }
                }
            }
        }
        std::string tally;
        for (int v = 0; v < 7; ++v) tally += " " + std::string(VerdictName(static_cast<Verdict>(v))) + "=" + std::to_string(counts[v]);
        Line("classify own heading " + std::to_string(heading), d, tally);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: spotter_dump OUT\n");
        return 2;
    }
    DefaultSettings();
    CreatePlayerTable();
    Trig();
    Frames();
    Predictions();
    Classification();
    FreePlayerTable();
    // Binary, so that both platforms write the same line ends.
    FILE* f = fopen(argv[1], "wb");
    if (!f || fwrite(out.data(), 1, out.size(), f) != out.size() || fclose(f) != 0) {
        fprintf(stderr, "spotter_dump: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
