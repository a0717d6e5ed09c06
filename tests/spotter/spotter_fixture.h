// Shared set-up for the spotter tests: a fresh player table and fake
// platform, the default spotting settings, and a sound bank of tiny WAV
// images whose one data byte names the recording, so the fake player's
// record tells which cues played.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "config/settings.h"
#include "fake/fake_platform.h"
#include "link/dispatch.h"
#include "sound/sound_bank.h"
#include "spotter/player_table.h"
#include "spotter/spotter.h"

namespace spottest {

const int32_t kMetre = 65536;
const uint16_t kCruise = 10000;  // raw speed, 109.86 km/h as a float
const int32_t kXfGti = 1;        // 6.8 m
const int32_t kLx6 = 7;          // 6.5 m

// A 45-byte RIFF/WAVE image: PCM, one channel, one 8-bit sample `tag`.
inline SoundImage TinyWave(uint8_t tag) {
    const uint8_t header[44] = {
        'R', 'I', 'F', 'F', 37, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 1, 0,
        0x40, 0x1F, 0, 0, 0x40, 0x1F, 0, 0, 1, 0, 8, 0, 'd', 'a', 't', 'a', 1, 0, 0, 0,
    };
    SoundImage image;
    image.size = sizeof header + 1;
    image.data = static_cast<uint8_t*>(malloc(image.size));
    memcpy(image.data, header, sizeof header);
    image.data[sizeof header] = tag;
    return image;
}

// The cue kind behind a recording on tracks other than the ovals.
inline std::string CueOfSound(int sound) {
    switch (sound) {
        case 0: return "Clear";
        case 5: return "Middle";
        case 8: case 9: return "StillThere";
        case 10: case 11: return "CarLeft";
        case 12: case 13: return "CarRight";
        case 14: return "ClearRight";
        case 15: return "ClearLeft";
    }
    return "oval sound " + std::to_string(sound);
}

inline std::vector<std::string> Cues() {
    std::vector<std::string> cues;
    for (const fake::Played& p : fake::Plays()) cues.push_back(CueOfSound(p.image.back()));
    return cues;
}

inline void SetOwnIndex(uint8_t index) { StateSnapshot[11] = index; }

// Sets FLANKGUARD_TRACE; "" turns the trace off (empty or removed, both
// count as unset). putenv keeps the pointer, hence the fixed texts.
inline void SetTrace(bool on) {
    static char onText[] = "FLANKGUARD_TRACE=1";
    static char offText[] = "FLANKGUARD_TRACE=";
    putenv(on ? onText : offText);
}

struct Car {
    int32_t x = 0;
    int32_t y = 0;
    uint16_t speed = kCruise;
    uint16_t heading = 0;
    uint16_t direction = 0;
    int16_t angVel = 0;
    int32_t model = kXfGti;
};

inline void PutCar(int slot, const Car& c) {
    PlayerSlot& s = PlayerTable[slot];
    s.car.x = c.x;
    s.car.y = c.y;
    s.car.speed = c.speed;
    s.car.heading = c.heading;
    s.car.direction = c.direction;
    s.car.angVel = c.angVel;
    s.model = c.model;
}

class SpotterTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake::Reset();
        SetTrace(false);
        CreatePlayerTable();
        memset(StateSnapshot, 0, sizeof StateSnapshot);
        TrackMode = 2;
        Settings.maxXDistance = 23;
        Settings.minSpeed = 25;
        Settings.maxSpeedDiffFaster = 75;
        Settings.maxSpeedDiffSlower = 75;
        Settings.maxAngleDiff = 30;
        Settings.stillThereInterval = 2500;
        // Positions as given unless a test turns prediction on.
        Settings.prediction = 0;
        carLeft = carRight = wasLeft = wasRight = 0;
        lastCueTime = 0;
        for (int i = 0; i < kSoundCount; ++i) SoundBank[i] = TinyWave(static_cast<uint8_t>(i));
    }
    void TearDown() override {
        ReleaseSoundBank();
        FreePlayerTable();
        SetTrace(false);
    }
};

}  // namespace spottest
