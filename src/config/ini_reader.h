// Reads values from an INI file with the rules of the Windows profile
// reader, so that a config.cfg reads the same on every platform. Backends
// without a profile reader of their own call these.
//
// The file: a line "[name]" starts a section (the text after ']' is
// ignored; a line with no ']' is no header and is ignored); a line
// "key=value" gives a value of the current section. Section and key names
// match regardless of ASCII case, and blanks (space, tab, CR, VT, FF)
// around names and values are dropped. Lines that start with ';' or '#',
// blank lines, lines without '=' and lines before the first section are
// ignored. Only the first section of a name is read, and within it the
// first line of a key. A NUL byte ends its line: the bytes after it up to
// the line break are ignored. A file that cannot be opened or read
// (missing, a directory, unreadable) counts as no file. Lines may have any
// length; the file is read through a fixed buffer.
#pragma once

#include <cstddef>
#include <cstdint>

// Text value of `key` in the first section named `section`; `def` (NULL
// reads as "") when the file, section or key is missing. A value that
// starts and ends with the same quote character (" or ') and is at least
// two long loses those two quotes; an empty value is an empty text, not
// the default. The text is cut to cap - 1 bytes and NUL-terminated (when
// cap > 0). Returns the bytes copied without the NUL.
size_t IniFileString(const char* path, const char* section, const char* key, const char* def,
                     char* buf, size_t cap);

// Integer value of `key`, converted from its text value as above: blanks,
// an optional sign, then decimal digits or 0x and hexadecimal digits; the
// rest of the value is ignored, and a value without digits reads as 0.
// Digits accumulate modulo 2^32: a number out of range keeps its low 32
// bits, taken as signed (4294967297 reads as 1, 2147483648 as -2147483648).
// `def` when the file, section or key is missing or the text is empty.
int32_t IniFileInt(const char* path, const char* section, const char* key, int32_t def);
