// Builders and readers of the InSim packets that pass between the program
// and a stand-in simulator.
#include "sim/packets.h"

#include <cstdio>
#include <cstring>

#include "link/bytes.h"

namespace sim {

const AckedKind kAckedKinds[12] = {
    {"LAP", 60}, {"NCN", 60}, {"CNL", 56}, {"PLP", 56}, {"PLL", 56},  {"CPR", 88},
    {"REN", 8},  {"CLR", 8},  {"SPX", 12}, {"RES", 108}, {"REO", 36}, {"RST", 20},
};

void PutLe16(Bytes& b, size_t at, uint16_t v) {
    PutU16(b.data() + at, v);
}

void PutLe32(Bytes& b, size_t at, uint32_t v) {
    PutU32(b.data() + at, v);
}

uint16_t GetLe16(const Bytes& b, size_t at) {
    return GetU16(b.data() + at);
}

uint32_t GetLe32(const Bytes& b, size_t at) {
    return GetU32(b.data() + at);
}

namespace {

// Copies `text` into b[at..at+width); shorter texts are NUL-padded, longer
// ones cut to the width without a NUL.
void PutText(Bytes& b, size_t at, size_t width, const std::string& text) {
    const size_t n = text.size() < width ? text.size() : width;
    memcpy(b.data() + at, text.data(), n);
}

}  // namespace

Bytes BuildBlank(const char* id, size_t length) {
    Bytes b(length, 0);
    const size_t idLen = strnlen(id, 3);
    for (size_t i = 0; i < idLen && i < length; ++i) b[i] = static_cast<uint8_t>(id[i]);
    return b;
}

Bytes BuildSmall(const char* id, int32_t value) {
    Bytes b = BuildBlank(id, kSmallSize);
    PutLe32(b, 4, static_cast<uint32_t>(value));
    return b;
}

Bytes BuildAck(uint16_t value) {
    return BuildSmall("ACK", value);
}

Bytes BuildSta(const StaFields& fields) {
    Bytes b = BuildBlank("STA", kStaSize);
    PutLe16(b, 8, fields.flags);
    b[11] = fields.ownIndex;
    b[12] = fields.playerCount;
    b[15] = fields.raceActive;
    PutText(b, 20, 5, fields.track);
    return b;
}

Bytes BuildNpl(const Player& player) {
    Bytes b = BuildBlank("NPL", kNplSize);
    PutText(b, 28, 32, player.name);
    PutText(b, 60, 36, player.car);
    b[96] = player.index;
    return b;
}

Bytes BuildMci(uint8_t total, uint8_t first, const std::vector<CarRecord>& cars) {
    Bytes b = BuildBlank("MCI", kMciSize);
    b[8] = total;
    b[9] = first;
    for (size_t i = 0; i < cars.size() && i < kMciRecords; ++i) {
        const size_t at = 12 + kCarInfoSize * i;
        const CarRecord& c = cars[i];
        PutLe32(b, at + 4, static_cast<uint32_t>(c.x));
        PutLe32(b, at + 8, static_cast<uint32_t>(c.y));
        PutLe16(b, at + 16, c.speed);
        PutLe16(b, at + 18, c.direction);
        PutLe16(b, at + 20, c.heading);
        PutLe16(b, at + 22, static_cast<uint16_t>(c.angVel));
    }
    return b;
}

Bytes BuildRst(uint16_t ack) {
    return BuildAcked("RST", ack, kRstSize);
}

Bytes BuildAcked(const char* id, uint16_t ack, size_t length) {
    if (length == 0) length = AckedLength(id);
    Bytes b = BuildBlank(id, length);
    if (length >= 6) PutLe16(b, length - 2, ack);
    return b;
}

size_t AckedLength(const char* id) {
    for (const AckedKind& kind : kAckedKinds) {
        if (strncmp(kind.id, id, 4) == 0) return kind.length;
    }
    return 0;
}

bool HasId(const Bytes& b, const char* id) {
    return b.size() >= 4 && memcmp(b.data(), id, 3) == 0 && b[3] == 0;
}

bool IsSmall(const Bytes& b, const char* id, int32_t* value) {
    if (b.size() != kSmallSize || !HasId(b, id)) return false;
    if (value) *value = static_cast<int32_t>(GetLe32(b, 4));
    return true;
}

std::string IdText(const Bytes& b) {
    std::string s;
    for (size_t i = 0; i < 4 && i < b.size(); ++i) {
        const uint8_t c = b[i];
        if (c == 0) break;
        s += (c >= 0x20 && c < 0x7f) ? static_cast<char>(c) : '.';
    }
    return s;
}

std::string Hex(const Bytes& b) {
    std::string s;
    char part[4];
    for (size_t i = 0; i < b.size(); ++i) {
        snprintf(part, sizeof part, i ? " %02X" : "%02X", b[i]);
        s += part;
    }
    return s;
}

}  // namespace sim
