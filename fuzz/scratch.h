// Scratch files for the fuzz targets: one private directory on a memory
// file system (/dev/shm when there is one), removed at exit, where a target
// writes its input as a file for the code under test to open.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// The private directory, created on first use; aborts when none can be made.
const std::string& ScratchDir();

// Writes data[0..size) to `path`, replacing it. Aborts on failure, since an
// input that never reached the code would pass for a clean run.
void WriteFile(const std::string& path, const uint8_t* data, size_t size);

// Aborts with `what` on standard error when `ok` is false: the target's own
// checks of what the code under test promises.
void Require(bool ok, const char* what);

}  // namespace fuzz
