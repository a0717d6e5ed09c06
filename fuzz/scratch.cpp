// Scratch directory and checks shared by the fuzz targets.
#include "scratch.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

// The sanitizers' report channel, where there is one: libFuzzer keeps it
// open when it silences the target's own standard error.
extern "C" __attribute__((weak)) void __sanitizer_report_error_summary(const char* summary);

namespace fuzz {

namespace {

std::string* scratch = nullptr;

void RemoveScratch() {
    if (!scratch) return;
    std::error_code ignored;
    std::filesystem::remove_all(*scratch, ignored);
}

}  // namespace

const std::string& ScratchDir() {
    if (scratch) return *scratch;
    struct stat st;
    const char* base = "/dev/shm";
    if (stat(base, &st) != 0 || !S_ISDIR(st.st_mode) || access(base, W_OK) != 0) {
        base = getenv("TMPDIR");
        if (!base || !*base) base = "/tmp";
    }
    std::string pattern = std::string(base) + "/flankguard-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        fprintf(stderr, "fuzz: cannot make a scratch directory in %s\n", base);
        abort();
    }
    scratch = new std::string(pattern);
    atexit(RemoveScratch);
    return *scratch;
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = fopen(path.c_str(), "wb");
    const bool ok = f && (size == 0 || fwrite(data, 1, size, f) == size);
    if (f && fclose(f) != 0) Require(false, "scratch file not written");
    Require(ok, "scratch file not written");
}

void Require(bool ok, const char* what) {
    if (ok) return;
    char line[256];
    snprintf(line, sizeof line, "fuzz: check failed: %s", what);
    if (__sanitizer_report_error_summary) __sanitizer_report_error_summary(line);
    else fprintf(stderr, "%s\n", line);
    abort();
}

}  // namespace fuzz
