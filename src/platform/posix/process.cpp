// POSIX backend: starting the simulator and finding its window. Not built
// yet: no launch succeeds and no window is found.
#include "platform/platform.h"

uint32_t PlatLaunch(const char* cmdline) {
    (void)cmdline;
    return 2;
}

bool PlatWindowExists(const char* title) {
    (void)title;
    return false;
}
