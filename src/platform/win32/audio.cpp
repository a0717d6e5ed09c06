// Win32 backend: WAV playback through the multimedia library, synchronous,
// from the image in memory.
#include "platform/win32/win32.h"

#include <mmsystem.h>

#include "platform/platform.h"

void PlatPlayWave(const uint8_t* image, size_t len) {
    // sndPlaySoundA takes no length: the player walks the RIFF chunks by
    // their sizes, which the sound bank has checked against the image.
    // Anything too short for a RIFF header is not handed over at all.
    if (!image || len < 12) return;
    sndPlaySoundA(reinterpret_cast<const char*>(image), SND_MEMORY);
}
