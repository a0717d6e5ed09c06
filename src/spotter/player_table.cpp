// The player table: player packets name each slot's car model, car-position
// packets fill the slots, and a completed set runs the spotter.
#include "spotter/player_table.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "config/settings.h"
#include "link/bytes.h"
#include "link/dispatch.h"
#include "link/endpoint.h"
#include "spotter/spotter.h"

PlayerSlot* PlayerTable = nullptr;

const CarModel CarModelTable[kCarModelRows] = {
    {-1, "UNKNOWN", 8.4f},    {0, "XF GTI", 6.8f},      {1, "XR GT", 8.2f},
    {2, "XR GT TURBO", 8.3f}, {3, "RB4 GT", 8.6f},      {4, "FXO TURBO", 8.6f},
    {5, "LX4", 6.4f},         {6, "LX6", 6.5f},         {7, "MRT5", 5.6f},
    {8, "UF 1000", 5.8f},     {9, "RA", 7.6f},          {10, "FX50", 8.4f},
    {11, "FORMULA XR", 7.6f}, {12, "XF GTR", 6.6f},     {13, "UF GTR", 5.8f},
    {14, "FORMULA V8", 8.4f}, {15, "FXO GTR", 8.35f},   {16, "XR GTR", 8.35f},
    {17, "FZ50 GTR", 8.35f},  {255, "", 0.0f},
};

void CreatePlayerTable() {
    PlayerTable = static_cast<PlayerSlot*>(calloc(kPlayerSlots, sizeof(PlayerSlot)));
}

void FreePlayerTable() {
    free(PlayerTable);
    PlayerTable = nullptr;
}

CarInfo ReadCarInfo(const uint8_t* p) {
    CarInfo car;
    memcpy(car.opaqueHead, p, 4);
    car.x = GetS32(p + 4);
    car.y = GetS32(p + 8);
    memcpy(car.opaqueMid, p + 12, 4);
    car.speed = GetU16(p + 16);
    car.direction = GetU16(p + 18);
    car.heading = GetU16(p + 20);
    car.angVel = GetS16(p + 22);
    return car;
}

void HandlePlayer(const uint8_t* packet) {
    const int index = packet[96];
    if (index >= kPlayerSlots) return;

    // Both texts are bounded by the packet: a name without its NUL ends at
    // the packet's last byte.
    const char* carName = reinterpret_cast<const char*>(packet + 60);
    const size_t carLen = strnlen(carName, kPlayerPacketSize - 60);
    const char* playerName = reinterpret_cast<const char*>(packet + 28);
    const int nameLen = static_cast<int>(strnlen(playerName, kPlayerPacketSize - 28));

    for (int row = 0; row < kCarModelRows - 1; ++row) {
        const char* rowName = CarModelTable[row].name;
        if (strlen(rowName) != carLen || memcmp(rowName, carName, carLen) != 0) continue;
        printf("Player %d: %.*s car:%s\n", index, nameLen, playerName, rowName);
        PlayerTable[index].model = row;
        return;
    }
}

void HandleCarInfo(const uint8_t* packet) {
    if (SnapshotRaceActive() == 0) return;
    if (Settings.ovalOnly && TrackMode == 2) return;
    if (SnapshotFlags() & 0x0004) return;
    if (SnapshotFlags() & 0x1000) return;

    const int total = packet[8];
    const int first = packet[9];
    int n = total - first;
    if (n > 8) n = 8;
    for (int i = 0; i < n; ++i) {
        // Records that would land beyond the table are dropped.
        if (first + i >= kPlayerSlots) break;
        PlayerTable[first + i].car = ReadCarInfo(packet + 12 + kCarInfoSize * i);
    }
    if (first + n == total) RunSpotter(total);
}

void RequestPlayers() {
    const int count = SnapshotPlayerCount();
    for (int i = 0; i < count && i < kPlayerSlots; ++i) {
        if (PlayerTable[i].model == 0) SendSmallPacket("NPL", i);
    }
}
