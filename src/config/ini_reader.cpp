// Placeholder reader: every value takes its default.
#include "config/ini_reader.h"

#include <cstring>

size_t IniFileString(const char* path, const char* section, const char* key, const char* def, char* buf,
                     size_t cap) {
    (void)path, (void)section, (void)key;
    if (cap == 0) return 0;
    size_t n = strlen(def);
    if (n > cap - 1) n = cap - 1;
    memcpy(buf, def, n);
    buf[n] = 0;
    return n;
}

int32_t IniFileInt(const char* path, const char* section, const char* key, int32_t def) {
    (void)path, (void)section, (void)key;
    return def;
}
