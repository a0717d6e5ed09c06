// A table of settings files and of reads from them, for comparing the
// profile readers of two platforms: the same files, the same reads, the
// printed results must be the same.
#pragma once

#include <cstddef>
#include <cstdint>

namespace profile {

struct File {
    const char* name;
    const char* bytes;
    size_t size;
};

enum Kind { kText, kInt };

struct Query {
    const char* file;
    const char* section;
    const char* key;
    Kind kind;
    const char* textDef;  // text reads
    size_t cap;           // text reads: the buffer size
    int32_t intDef;       // integer reads
    // Null when both readers must agree. Otherwise the known difference of
    // the Windows reader (as Wine has it) from the POSIX one; the comparison
    // reports it but does not fail on it.
    const char* knownDifference;
};

extern const File kFiles[];
extern const size_t kFileCount;
extern const Query kQueries[];
extern const size_t kQueryCount;

}  // namespace profile
