// POSIX backend: clock, sleep, console title, current directory and the
// profile reader.
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "config/ini_reader.h"
#include "platform/platform.h"

TickMs PlatTickCount() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<TickMs>(ms);
}

void PlatSleep(uint32_t ms) {
    timespec left = {static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

void PlatSetConsoleTitle(const char* title) {
    // An OSC title sequence means something only to a terminal; in a pipe or
    // a file it would be noise in the program's output.
    if (!isatty(STDOUT_FILENO)) return;
    printf("\033]0;%s\007", title);
    fflush(stdout);
}

size_t PlatCurrentDirectory(char* buf, size_t cap) {
    if (cap > 0 && getcwd(buf, cap)) return strlen(buf);
    if (cap > 0 && errno != ERANGE) return 0;
    // Too small: find the size needed with growing scratch buffers.
    for (size_t size = cap < 256 ? 256 : cap * 2; size <= (1u << 24); size *= 2) {
        char* probe = new char[size];
        const bool ok = getcwd(probe, size) != nullptr;
        const int err = errno;
        const size_t needed = ok ? strlen(probe) + 1 : 0;
        delete[] probe;
        if (ok) return needed;
        if (err != ERANGE) return 0;
    }
    return 0;
}

char PlatPathSeparator() {
    return '/';
}

size_t PlatProfileString(const char* section, const char* key, const char* def, char* buf, size_t cap,
                         const char* path) {
    return IniFileString(path, section, key, def, buf, cap);
}

int32_t PlatProfileInt(const char* section, const char* key, int32_t def, const char* path) {
    return IniFileInt(path, section, key, def);
}
