// LoadSettings: the fifteen values of spotter/config.cfg, each with its
// default, read once through the platform's profile reader.
#include "config/settings.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

SettingsRecord Settings;

namespace {

const char kConfigTail[] = "spotter?config.cfg";

// <current directory><sep>spotter<sep>config.cfg on the heap, whatever the
// directory's length. When the directory cannot be had the path is the
// relative one, which names the same file.
char* ConfigPath() {
    const char sep = PlatPathSeparator();
    const size_t need = PlatCurrentDirectory(nullptr, 0);
    char* path = static_cast<char*>(malloc(need + 1 + sizeof kConfigTail));
    if (!path) return nullptr;
    size_t len = need ? PlatCurrentDirectory(path, need) : 0;
    if (len >= need) len = 0;  // it changed between the two calls
    char* tail = path;
    if (len > 0) {
        tail = path + len;
        *tail++ = sep;
    }
    memcpy(tail, kConfigTail, sizeof kConfigTail);
    tail[7] = sep;
    return path;
}

void ReadText(const char* section, const char* key, const char* def, char* buf, size_t cap, const char* path) {
    PlatProfileString(section, key, def, buf, cap, path);
}

int32_t ReadInt(const char* section, const char* key, int32_t def, const char* path) {
    return PlatProfileInt(section, key, def, path);
}

uint16_t ReadPort(const char* key, int32_t def, const char* path) {
    return static_cast<uint16_t>(static_cast<uint32_t>(ReadInt("main", key, def, path)) & 0xFFFFu);
}

uint8_t ReadFlag(const char* section, const char* key, int32_t def, const char* path) {
    return ReadInt(section, key, def, path) != 0 ? 1 : 0;
}

}  // namespace

void LoadSettings() {
    char* allocated = ConfigPath();
    const char* path = allocated ? allocated : "";
    printf("Loading config %s...\n\n", path);

    SettingsRecord& s = Settings;
    ReadText("main", "address", "127.0.0.1", s.address, sizeof s.address, path);
    s.destPort = ReadPort("destPort", 29999, path);
    s.srcPort = ReadPort("srcPort", 30000, path);
    ReadText("main", "adminPass", "", s.adminPass, sizeof s.adminPass, path);
    s.autoReconnectOnRestart = ReadFlag("main", "autoReconnectOnRestart", 1, path);
    s.autorunLFS = ReadFlag("main", "autorunLFS", 1, path);
    ReadText("main", "LFSpath", "./LFS.exe", s.LFSpath, sizeof s.LFSpath, path);
    s.maxXDistance = ReadInt("spotting", "maxXDistance", 23, path);
    s.minSpeed = ReadInt("spotting", "minSpeed", 25, path);
    s.maxSpeedDiffFaster = ReadInt("spotting", "maxSpeedDiffFaster", 75, path);
    s.maxSpeedDiffSlower = ReadInt("spotting", "maxSpeedDiffSlower", 75, path);
    s.maxAngleDiff = ReadInt("spotting", "maxAngleDiff", 30, path);
    s.stillThereInterval = ReadInt("spotting", "stillThereInterval", 2500, path);
    s.prediction = ReadInt("spotting", "prediction", 400, path);
    s.ovalOnly = ReadFlag("spotting", "ovalOnly", 0, path);

    free(allocated);
}
