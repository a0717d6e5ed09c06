// SequenceCallouts: each check looks at the flags as they stand and plays
// its cue synchronously before the next check.
#include "spotter/callouts.h"

#include <cstdint>

#include "config/settings.h"
#include "platform/platform.h"
#include "sound/sound_bank.h"
#include "spotter/spotter.h"

void SequenceCallouts() {
    if (!wasRight && carRight && !carLeft) PlayCue(CarRight);
    if (!wasLeft && carLeft && !carRight) PlayCue(CarLeft);
    if (!wasRight && carRight && carLeft) PlayCue(Middle);
    if (!wasLeft && carLeft && carRight) PlayCue(Middle);
    if (wasRight && !carRight && carLeft) PlayCue(ClearRight);
    if (wasLeft && !carLeft && carRight) PlayCue(ClearLeft);
    if (wasRight && !carRight && !carLeft) PlayCue(Clear);
    if (wasLeft && !carLeft && !carRight) PlayCue(Clear);

    // Measured from the start of the latest cue, after this run's cues have
    // played; the tick difference is taken modulo 2^32 as a signed value.
    if (carRight || carLeft) {
        const int32_t sinceCue = static_cast<int32_t>(PlatTickCount() - lastCueTime);
        if (sinceCue > Settings.stillThereInterval) PlayCue(StillThere);
    }

    wasLeft = carLeft;
    wasRight = carRight;
}
