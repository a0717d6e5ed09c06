// Helpers shared by the unit tests: packet builders and a fresh program
// state on the fake backend.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "config/settings.h"
#include "fake/fake_platform.h"
#include "link/bytes.h"

namespace support {

using Bytes = std::vector<uint8_t>;

inline Bytes Packet(const char* id, size_t length) {
    Bytes p(length, 0);
    memcpy(p.data(), id, length < 4 ? length : 4);
    return p;
}

// An acknowledged packet: the value sits in its last two bytes.
inline Bytes Acked(const char* id, size_t length, uint16_t value) {
    Bytes p = Packet(id, length);
    PutU16(p.data() + length - 2, value);
    return p;
}

struct StaFields {
    uint16_t flags = 0;
    uint8_t ownIndex = 0;
    uint8_t playerCount = 0;
    uint8_t raceActive = 1;
    const char* track = "BL1";
};

inline Bytes Sta(const StaFields& f) {
    Bytes p = Packet("STA", 28);
    PutU16(p.data() + 8, f.flags);
    p[11] = f.ownIndex;
    p[12] = f.playerCount;
    p[15] = f.raceActive;
    memcpy(p.data() + 20, f.track, strnlen(f.track, 5));
    return p;
}

inline Bytes Npl(uint8_t index, const std::string& name, const std::string& car) {
    Bytes p = Packet("NPL", 100);
    memcpy(p.data() + 28, name.data(), name.size() < 32 ? name.size() : 32);
    memcpy(p.data() + 60, car.data(), car.size() < 36 ? car.size() : 36);
    p[96] = index;
    return p;
}

struct Car {
    int32_t x = 0;
    int32_t y = 0;
    uint16_t speed = 0;
    uint16_t direction = 0;
    uint16_t heading = 0;
    int16_t angVel = 0;
};

inline void PutCar(uint8_t* p, const Car& c) {
    PutS32(p + 4, c.x);
    PutS32(p + 8, c.y);
    PutU16(p + 16, c.speed);
    PutU16(p + 18, c.direction);
    PutU16(p + 20, c.heading);
    PutU16(p + 22, static_cast<uint16_t>(c.angVel));
}

inline Bytes Mci(uint8_t total, uint8_t first, const std::vector<Car>& cars) {
    Bytes p = Packet("MCI", 204);
    p[8] = total;
    p[9] = first;
    for (size_t i = 0; i < cars.size() && i < 8; ++i) PutCar(p.data() + 12 + 24 * i, cars[i]);
    return p;
}

inline Bytes Small(const char* id, int32_t value) {
    Bytes p = Packet(id, 8);
    PutS32(p.data() + 4, value);
    return p;
}

// Fresh fake machine and the default settings, read from a directory that
// has no config.cfg.
inline void FreshDefaults() {
    fake::Reset();
    fake::SetCurrentDirectory("/nonexistent-flankguard-test-dir");
    testing::internal::CaptureStdout();
    LoadSettings();
    testing::internal::GetCapturedStdout();
}

// The identifiers of the datagrams sent so far, in order ("ISI", "SST", ...).
inline std::vector<std::string> SentIds() {
    std::vector<std::string> ids;
    for (const fake::Datagram& d : fake::Sent()) ids.emplace_back(reinterpret_cast<const char*>(d.bytes.data()), 3);
    return ids;
}

}  // namespace support
