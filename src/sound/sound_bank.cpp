// The sound bank: the sixteen recordings are read whole at start-up so a
// call-out starts without touching the disk, then played from memory.
#include "sound/sound_bank.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "link/bytes.h"
#include "link/dispatch.h"

SoundImage SoundBank[kSoundCount];
TickMs lastCueTime = 0;

const char* const kSoundPaths[kSoundCount] = {
    "spotter/clear.wav",      "spotter/inside.wav",      "spotter/inside2.wav",
    "spotter/outside.wav",    "spotter/outside2.wav",    "spotter/middle.wav",
    "spotter/clearout.wav",   "spotter/clearin.wav",     "spotter/stillthere.wav",
    "spotter/stillthere2.wav", "spotter/left.wav",       "spotter/left2.wav",
    "spotter/right.wav",      "spotter/right2.wav",      "spotter/clearright.wav",
    "spotter/clearleft.wav",
};

bool IsWaveImage(const uint8_t* image, size_t size) {
    if (size < 12 || memcmp(image, "RIFF", 4) != 0 || memcmp(image + 8, "WAVE", 4) != 0) {
        return false;
    }
    bool haveFormat = false;
    size_t at = 12;
    while (size - at >= 8) {
        const uint32_t chunkSize = GetU32(image + at + 4);
        const size_t body = at + 8;
        if (chunkSize > size - body) return false;
        if (memcmp(image + at, "fmt ", 4) == 0) {
            if (chunkSize < 16) return false;
            haveFormat = true;
        } else if (memcmp(image + at, "data", 4) == 0) {
            return haveFormat;
        }
        // Chunks are padded to an even size.
        at = body + chunkSize + (chunkSize & 1);
        if (at > size) return false;
    }
    return false;
}

SoundImage LoadSound(const char* path) {
    SoundImage image = {nullptr, 0};
    FILE* file = fopen(path, "rb");
    if (!file) {
        printf("Warning! Can't load sound %s!\n", path);
        return image;
    }
    // A directory opens on some systems but cannot be read: try one byte
    // before trusting the length the stream reports.
    long length = -1;
    const bool readable = fgetc(file) != EOF || !ferror(file);
    if (readable && fseek(file, 0, SEEK_END) == 0) length = ftell(file);
    if (length < 0 || fseek(file, 0, SEEK_SET) != 0) {
        fclose(file);
        printf("Warning! Can't load sound %s!\n", path);
        return image;
    }
    printf("Loading sound %s (%dKB)\n", path, static_cast<int>(length / 1024));

    const size_t size = static_cast<size_t>(length);
    uint8_t* data = static_cast<uint8_t*>(malloc(size ? size : 1));
    const bool read = data && fread(data, 1, size, file) == size;
    fclose(file);
    if (!read || !IsWaveImage(data, size)) {
        free(data);
        printf("Warning! Can't load sound %s!\n", path);
        return image;
    }
    image.data = data;
    image.size = size;
    return image;
}

void LoadSoundBank() {
    for (int i = 0; i < kSoundCount; ++i) SoundBank[i] = LoadSound(kSoundPaths[i]);
}

void ReleaseSoundBank() {
    for (SoundImage& image : SoundBank) {
        free(image.data);
        image = SoundImage{nullptr, 0};
    }
}

namespace {

// Indices into SoundBank, in load order.
enum Sound {
    kClear, kInside, kInside2, kOutside, kOutside2, kMiddle, kClearOut, kClearIn,
    kStillThere, kStillThere2, kLeft, kLeft2, kRight, kRight2, kClearRight, kClearLeft,
    kNoSound = -1,
};

struct Cell {
    int first;
    int second;  // kNoSound: a single recording, no coin drawn
};

// Rows by CueKind, columns by TrackMode (KY1, KY1R, other tracks). On both
// ovals the clear cue of a side takes the opposite word from its car cue.
const Cell kCueTable[7][3] = {
    /* CarRight   */ {{kOutside, kOutside2}, {kInside, kInside2}, {kRight, kRight2}},
    /* CarLeft    */ {{kInside, kInside2}, {kOutside, kOutside2}, {kLeft, kLeft2}},
    /* Clear      */ {{kClear, kNoSound}, {kClear, kNoSound}, {kClear, kNoSound}},
    /* ClearRight */ {{kClearIn, kNoSound}, {kClearOut, kNoSound}, {kClearRight, kNoSound}},
    /* ClearLeft  */ {{kClearOut, kNoSound}, {kClearIn, kNoSound}, {kClearLeft, kNoSound}},
    /* Middle     */ {{kMiddle, kNoSound}, {kMiddle, kNoSound}, {kMiddle, kNoSound}},
    /* StillThere */ {{kStillThere, kStillThere2}, {kStillThere, kStillThere2}, {kStillThere, kStillThere2}},
};

const char* const kCueNames[7] = {"CarRight", "CarLeft", "Clear", "ClearRight", "ClearLeft", "Middle", "StillThere"};

// Clear, Middle and StillThere sound the same on every track, so they do
// not depend on TrackMode being valid.
bool IgnoresTrack(int32_t kind) {
    return kind == Clear || kind == Middle || kind == StillThere;
}

int ChooseSound(int32_t kind) {
    if (kind < 0 || kind > StillThere) return kNoSound;
    int mode = TrackMode;
    if (IgnoresTrack(kind)) mode = 0;
    else if (mode < 0 || mode > 2) return kNoSound;
    const Cell& cell = kCueTable[kind][mode];
    if (cell.second == kNoSound) return cell.first;
    return rand() % 100 < 50 ? cell.first : cell.second;
}

// One line a cue on standard error when FLANKGUARD_TRACE is set, written
// in one piece so it never interleaves with other output.
void TraceCue(int32_t kind, int sound) {
    const char* trace = getenv("FLANKGUARD_TRACE");
    if (!trace || !*trace) return;
    char name[16];
    if (kind >= 0 && kind <= StillThere) snprintf(name, sizeof name, "%s", kCueNames[kind]);
    else snprintf(name, sizeof name, "%d", static_cast<int>(kind));
    char line[96];
    if (sound == kNoSound) snprintf(line, sizeof line, "cue %s -\n", name);
    else snprintf(line, sizeof line, "cue %s %s%s\n", name, kSoundPaths[sound], SoundBank[sound].data ? "" : " absent");
    fputs(line, stderr);
    fflush(stderr);
}

}  // namespace

void PlayCue(int32_t kind) {
    lastCueTime = PlatTickCount();
    const int sound = ChooseSound(kind);
    TraceCue(kind, sound);
    if (sound == kNoSound || !SoundBank[sound].data) return;
    PlatPlayWave(SoundBank[sound].data, SoundBank[sound].size);
}
