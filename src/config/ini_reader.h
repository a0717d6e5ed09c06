// Reads values from an INI file with the rules of the Windows profile
// reader, so that a config.cfg reads the same on every platform. Backends
// without a profile reader of their own call these.
#pragma once

#include <cstddef>
#include <cstdint>

// Text value of `key` in the first section named `section`; `def` when the
// file, section or key is missing. The value is cut to cap - 1 bytes and
// NUL-terminated (when cap > 0). Returns the bytes copied without the NUL.
size_t IniFileString(const char* path, const char* section, const char* key, const char* def,
                     char* buf, size_t cap);

// Integer value of `key`: a leading optional sign and decimal digits, or
// 0x and hexadecimal digits; the rest of the value is ignored, and a value
// without digits reads as 0. `def` when the file, section or key is missing
// or the value is empty.
int32_t IniFileInt(const char* path, const char* section, const char* key, int32_t def);
