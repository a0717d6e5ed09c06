// Little-endian byte helpers for reading and writing packet fields. Packets
// are always handled as byte arrays through these, never as cast structs.
#pragma once

#include <cstdint>

inline uint16_t GetU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline int16_t GetS16(const uint8_t* p) {
    return static_cast<int16_t>(GetU16(p));
}

inline uint32_t GetU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline int32_t GetS32(const uint8_t* p) {
    return static_cast<int32_t>(GetU32(p));
}

inline void PutU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

inline void PutU32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

inline void PutS32(uint8_t* p, int32_t v) {
    PutU32(p, static_cast<uint32_t>(v));
}
