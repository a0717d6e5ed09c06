// The program's fifteen settings, read once at start-up from
// spotter/config.cfg and only read afterwards.
#pragma once

#include <cstdint>

struct SettingsRecord {
    // [main]
    char address[128];
    uint16_t destPort;
    uint16_t srcPort;
    char adminPass[128];
    uint8_t autoReconnectOnRestart;
    uint8_t autorunLFS;
    char LFSpath[256];
    // [spotting]
    int32_t maxXDistance;
    int32_t minSpeed;
    int32_t maxSpeedDiffFaster;
    int32_t maxSpeedDiffSlower;
    int32_t maxAngleDiff;
    int32_t stillThereInterval;
    int32_t prediction;
    uint8_t ovalOnly;
};

extern SettingsRecord Settings;

// Prints "Loading config <path>...\n\n" and fills Settings from the file,
// every missing value taking its default. Always returns.
void LoadSettings();
