// Win32 backend: tick count, sleep, console title, current directory and
// the profile reader for INI files.
#include "platform/win32/win32.h"

#include "platform/platform.h"

namespace {

// Windows takes buffer sizes as DWORD: a larger buffer is offered as the
// largest size a DWORD holds, which is plenty.
DWORD BufferSize(size_t cap) {
    return cap > MAXDWORD ? MAXDWORD : static_cast<DWORD>(cap);
}

}  // namespace

TickMs PlatTickCount() {
    return static_cast<TickMs>(GetTickCount());
}

void PlatSleep(uint32_t ms) {
    Sleep(ms);
}

void PlatSetConsoleTitle(const char* title) {
    // Fails harmlessly when the process has no console.
    SetConsoleTitleA(title);
}

size_t PlatCurrentDirectory(char* buf, size_t cap) {
    // GetCurrentDirectoryA has the same convention: the length when it fit,
    // the size needed with the NUL when not, 0 on failure.
    return GetCurrentDirectoryA(BufferSize(cap), cap > 0 ? buf : nullptr);
}

char PlatPathSeparator() {
    return '\\';
}

size_t PlatProfileString(const char* section, const char* key, const char* def, char* buf, size_t cap,
                         const char* path) {
    if (cap == 0 || !buf) return 0;
    return GetPrivateProfileStringA(section, key, def, buf, BufferSize(cap), path);
}

int32_t PlatProfileInt(const char* section, const char* key, int32_t def, const char* path) {
    return static_cast<int32_t>(GetPrivateProfileIntA(section, key, def, path));
}
