// The player table (one slot per simulator player index) and the built-in
// table of car models with their lengths.
#pragma once

#include <cstdint>

const int kPlayerSlots = 32;
const int kCarInfoSize = 24;
const int kPlayerPacketSize = 100;
const int kCarInfoPacketSize = 204;

// One car record of a car-position packet, decoded field by field.
struct CarInfo {
    uint8_t opaqueHead[4];
    int32_t x;  // 1/65536 m
    int32_t y;  // 1/65536 m
    uint8_t opaqueMid[4];
    uint16_t speed;      // 32768 = 100 m/s
    uint16_t direction;  // direction of motion, 182 units a degree
    uint16_t heading;    // direction the body points, same unit
    int16_t angVel;
};

struct PlayerSlot {
    CarInfo car;
    int32_t model;  // row of CarModelTable; 0 = "UNKNOWN"
};

struct CarModel {
    int32_t id;
    char name[256];
    float length;  // metres
};

const int kCarModelRows = 20;
extern const CarModel CarModelTable[kCarModelRows];

// kPlayerSlots slots on the heap, from CreatePlayerTable to FreePlayerTable.
extern PlayerSlot* PlayerTable;

void CreatePlayerTable();
void FreePlayerTable();

// Decodes the 24-byte wire record at `p`.
CarInfo ReadCarInfo(const uint8_t* p);

// A 100-byte NPL packet: recognises the player's car model.
void HandlePlayer(const uint8_t* packet);

// A 204-byte MCI packet: files its car records and runs the spotter when
// it completes a set.
void HandleCarInfo(const uint8_t* packet);

// Sends an NPL request for every slot below the state's player count whose
// car model is not recognised yet.
void RequestPlayers();
