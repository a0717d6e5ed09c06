// Win32 backend: starting the simulator detached from this console, and
// finding a top-level window by its title.
#include "platform/win32/win32.h"

#include <cstring>

#include "platform/platform.h"

namespace {

// No console of ours, a process group of its own, the default error mode.
const DWORD kLaunchFlags = DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP | CREATE_DEFAULT_ERROR_MODE;
static_assert(kLaunchFlags == 0x4000208, "launch flags");

// CreateProcessA may write into the command line, so it gets a copy; a
// command line is at most 32767 characters.
char commandLine[32768];

}  // namespace

uint32_t PlatLaunch(const char* cmdline) {
    const size_t len = strlen(cmdline);
    if (len >= sizeof commandLine) return ERROR_FILENAME_EXCED_RANGE;
    memcpy(commandLine, cmdline, len + 1);

    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    memset(&process, 0, sizeof process);
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, kLaunchFlags, nullptr, nullptr, &startup,
                        &process)) {
        const DWORD error = GetLastError();
        // A failure must never read as success.
        return error != 0 ? error : ERROR_GEN_FAILURE;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}

bool PlatWindowExists(const char* title) {
    return FindWindowA(nullptr, title) != nullptr;
}
