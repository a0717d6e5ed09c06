// The simulator launcher: starts the simulator at start-up when autorun is
// on and none is running, and tells the connection loop whether its window
// still exists.
#include "app/launcher.h"

#include <cstdint>
#include <cstdio>

#include "config/settings.h"
#include "platform/platform.h"

bool launchedByUs = false;

namespace {

const char kWindowTitle[] = "Live for Speed";
// The simulator always gets the default InSim port, whatever destPort says.
const char kInsimSwitch[] = " /insim=29999";
const uint32_t kStartWaitMs = 7500;

}  // namespace

void LaunchSimulator() {
    launchedByUs = false;
    if (!Settings.autorunLFS) return;
    if (SimulatorWindowExists()) return;

    printf("Autorun enabled, launching %s... ", Settings.LFSpath);
    // LFSpath holds at most 255 bytes, so the switch always fits.
    char cmdline[512];
    snprintf(cmdline, sizeof cmdline, "%s%s", Settings.LFSpath, kInsimSwitch);
    const uint32_t err = PlatLaunch(cmdline);
    if (err == 0) {
        printf("done.\n");
    } else {
        printf("failed, error 0x%X (%d).\n", static_cast<unsigned>(err), static_cast<int>(static_cast<int32_t>(err)));
    }
    PlatSleep(kStartWaitMs);
    launchedByUs = true;
}

bool SimulatorWindowExists() {
    return PlatWindowExists(kWindowTitle);
}
