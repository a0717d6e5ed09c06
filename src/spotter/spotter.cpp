// RunSpotter: prediction, the own-car checks with the early exit, the
// classification of the other cars and the call-outs, in that order. With
// FLANKGUARD_TRACE set, each run writes one trace block to stderr.
#include "spotter/spotter.h"

#include <cstdio>
#include <cstdlib>

#include "config/settings.h"
#include "link/dispatch.h"
#include "spotter/callouts.h"
#include "spotter/player_table.h"
#include "spotter/prediction.h"
#include "spotter/side_detection.h"

uint8_t carLeft = 0;
uint8_t carRight = 0;
uint8_t wasLeft = 0;
uint8_t wasRight = 0;

namespace {

bool TraceOn() {
    const char* env = getenv("FLANKGUARD_TRACE");
    return env && *env;
}

// Written in one fputs so the block never interleaves with other output.
void TraceWrite(const char* text) {
    fputs(text, stderr);
    fflush(stderr);
}

void EndEarly(int count, int ownIndex, const char* why) {
    carLeft = carRight = wasLeft = wasRight = 0;
    if (!TraceOn()) return;
    char line[64];
    snprintf(line, sizeof line, "run cars=%d own=%d exit %s\n", count, ownIndex, why);
    TraceWrite(line);
}

// "run cars=.. own=.. left=. right=.\n" and one line per examined car.
void TraceRun(int count, int ownIndex, const Verdict* verdicts) {
    if (!TraceOn()) return;
    char text[64 + 24 * kPlayerSlots];
    int len = snprintf(text, sizeof text, "run cars=%d own=%d left=%d right=%d\n", count, ownIndex, carLeft,
                       carRight);
    for (int i = 0; i < count; ++i) {
        if (i == ownIndex) continue;
        len += snprintf(text + len, sizeof text - len, "  car %d: %s\n", i, VerdictName(verdicts[i]));
    }
    TraceWrite(text);
}

}  // namespace

void RunSpotter(int32_t carCount) {
    // The table has 32 slots: a larger set is judged over those.
    const int count = carCount > kPlayerSlots ? kPlayerSlots : carCount;
    if (Settings.prediction != 0) PredictPositions(count);

    const int ownIndex = SnapshotOwnIndex();
    if (ownIndex >= kPlayerSlots) {
        EndEarly(count, ownIndex, "own");
        return;
    }
    const PlayerSlot& ownSlot = PlayerTable[ownIndex];
    const OwnFrame own = MakeOwnFrame(ownSlot);
    // A slow own car ends the run only when nothing was alongside last time,
    // so that a car leaving can still be called clear.
    if (static_cast<double>(Settings.minSpeed) > static_cast<double>(own.speedKmh) && !carLeft && !carRight) {
        EndEarly(count, ownIndex, "slow");
        return;
    }
    if (ownSlot.car.angVel > 2500 || ownSlot.car.angVel < -2500) {
        EndEarly(count, ownIndex, "spin");
        return;
    }

    carLeft = 0;
    carRight = 0;
    Verdict verdicts[kPlayerSlots];
    for (int i = 0; i < count; ++i) {
        if (i == ownIndex) continue;
        verdicts[i] = ClassifyCar(own, PlayerTable[i]);
        if (verdicts[i] == kAlongsideRight) carRight = 1;
        if (verdicts[i] == kAlongsideLeft) carLeft = 1;
    }
    TraceRun(count < 0 ? 0 : count, ownIndex, verdicts);

    SequenceCallouts();
}
