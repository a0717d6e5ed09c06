// POSIX backend: WAV playback. Not built yet: plays nothing.
#include "platform/platform.h"

void PlatPlayWave(const uint8_t* image, size_t len) {
    (void)image;
    (void)len;
}
