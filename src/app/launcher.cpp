// The simulator launcher. Starting the simulator is not built yet: for now
// the program never launches it, so the window watch never runs.
#include "app/launcher.h"

#include "platform/platform.h"

bool launchedByUs = false;

void LaunchSimulator() {
    launchedByUs = false;
}

bool SimulatorWindowExists() {
    return PlatWindowExists("Live for Speed");
}
