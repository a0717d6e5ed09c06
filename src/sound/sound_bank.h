// The sixteen call-out recordings, held in memory, and cue playback.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

enum CueKind : int32_t {
    CarRight = 0,
    CarLeft = 1,
    Clear = 2,
    ClearRight = 3,
    ClearLeft = 4,
    Middle = 5,
    StillThere = 6,
};

const int kSoundCount = 16;

// One whole WAV file in memory; data is null when the sound is absent.
struct SoundImage {
    uint8_t* data;
    size_t size;
};

extern SoundImage SoundBank[kSoundCount];
// The paths, in load order; SoundBank[i] holds the file kSoundPaths[i].
extern const char* const kSoundPaths[kSoundCount];

// Tick count at the start of the latest PlayCue; 0 before the first.
extern TickMs lastCueTime;

// Reads one WAV file whole. Returns an absent image, after the warning
// line, when the file cannot be opened or is not a WAV image.
SoundImage LoadSound(const char* path);

// True when image[0..size) is a RIFF/WAVE file whose format and data chunks
// lie wholly inside it.
bool IsWaveImage(const uint8_t* image, size_t size);

void LoadSoundBank();
void ReleaseSoundBank();

// Plays the recording for `kind` on the current track class, synchronously.
void PlayCue(int32_t kind);
