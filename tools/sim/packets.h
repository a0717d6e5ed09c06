// The simulator's side of InSim as byte builders and readers: the packets a
// stand-in simulator sends (STA, NPL, MCI, RST, the acknowledged packets,
// ACK) and helpers to read the ones the program sends back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

using Bytes = std::vector<uint8_t>;

const size_t kSmallSize = 8;
const size_t kIsiSize = 24;
const size_t kStaSize = 28;
const size_t kNplSize = 100;
const size_t kMciSize = 204;
const size_t kRstSize = 20;
const size_t kMstSize = 68;
const size_t kCarInfoSize = 24;
const size_t kMciRecords = 8;

// The STA fields the program reads. `track` fills bytes 20..24: a shorter
// text is NUL-padded, a longer one is cut to five bytes (no NUL then).
struct StaFields {
    uint16_t flags = 0;
    uint8_t ownIndex = 0;
    uint8_t playerCount = 0;
    uint8_t raceActive = 0;
    std::string track = "BL1";
};

// One player as an NPL carries it. A name of 32 bytes or more fills its
// field without a NUL (cut to 32), a car name of 36 or more likewise (36).
struct Player {
    uint8_t index = 0;
    std::string name;
    std::string car;
};

// The fields of a 24-byte MCI car record that the program reads; the
// opaque bytes 0..3 and 12..15 are zero.
struct CarRecord {
    int32_t x = 0;
    int32_t y = 0;
    uint16_t speed = 0;
    uint16_t direction = 0;
    uint16_t heading = 0;
    int16_t angVel = 0;
};

// A packet the program must acknowledge: identifier and exact length; the
// acknowledgement value is in the last two bytes.
struct AckedKind {
    const char* id;
    size_t length;
};
extern const AckedKind kAckedKinds[12];

// Little-endian field access on byte vectors (bounds are the caller's).
void PutLe16(Bytes& b, size_t at, uint16_t v);
void PutLe32(Bytes& b, size_t at, uint32_t v);
uint16_t GetLe16(const Bytes& b, size_t at);
uint32_t GetLe32(const Bytes& b, size_t at);

// `length` bytes, zero, with the three-letter id and its NUL in 0..3 (as
// much of it as fits).
Bytes BuildBlank(const char* id, size_t length);

// "ID\0" + value as signed 32-bit little-endian: SST, ISC, NLI, NPL, ACK.
Bytes BuildSmall(const char* id, int32_t value);
Bytes BuildAck(uint16_t value);
Bytes BuildSta(const StaFields& fields);
Bytes BuildNpl(const Player& player);
// total at 8, first at 9, up to eight records from 12; missing ones zero.
Bytes BuildMci(uint8_t total, uint8_t first, const std::vector<CarRecord>& cars);
Bytes BuildRst(uint16_t ack);
// A packet of `length` bytes (0: the length of `id` in kAckedKinds) with
// the acknowledgement value in its last two bytes. Lengths below 6 give
// just the blank packet.
Bytes BuildAcked(const char* id, uint16_t ack, size_t length = 0);

// The length of an acknowledged packet kind, 0 for other identifiers.
size_t AckedLength(const char* id);

// True when `b` begins with the three letters of `id` and a NUL.
bool HasId(const Bytes& b, const char* id);
// True when `b` is an 8-byte small packet of `id`; its value goes to *value.
bool IsSmall(const Bytes& b, const char* id, int32_t* value = nullptr);
// The identifier for messages: up to four bytes, unprintable ones as '.'.
std::string IdText(const Bytes& b);
// Space-separated hex bytes, for messages.
std::string Hex(const Bytes& b);

}  // namespace sim
