// The spotter run. Prediction, side detection and call-outs come next; for
// now a run does nothing.
#include "spotter/spotter.h"

void RunSpotter(int32_t carCount) {
    (void)carCount;
}
