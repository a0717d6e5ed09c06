// A stand-in for libFuzzer's driver: runs a fuzz target once over every
// file named on the command line or found (sorted) in a named directory, so
// that the corpus and the crash seeds replay as tests with any compiler.
// A path that does not exist is skipped. Exits 0 when every input ran.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

bool RunFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        fprintf(stderr, "replay: cannot read %s\n", file.c_str());
        return false;
    }
    // An exactly sized heap copy, as libFuzzer hands it over, so a read
    // past the input is caught.
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    uint8_t* copy = new uint8_t[bytes.size()];
    std::copy(bytes.begin(), bytes.end(), copy);
    LLVMFuzzerTestOneInput(copy, bytes.size());
    delete[] copy;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
    int ran = 0;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path arg(argv[i]);
        std::error_code ec;
        if (std::filesystem::is_directory(arg, ec)) {
            std::vector<std::filesystem::path> files;
            for (const auto& entry : std::filesystem::directory_iterator(arg)) {
                if (entry.is_regular_file()) files.push_back(entry.path());
            }
            std::sort(files.begin(), files.end());
            for (const auto& f : files) {
                ok = RunFile(f) && ok;
                ++ran;
            }
        } else if (std::filesystem::exists(arg, ec)) {
            ok = RunFile(arg) && ok;
            ++ran;
        }
    }
    fprintf(stderr, "replay: %d inputs\n", ran);
    return ok ? 0 : 1;
}
