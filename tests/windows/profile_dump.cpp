// profile_dump: reads the table of profile_cases through the platform's
// profile reader and prints one line per read, so that the output of the
// POSIX build and of the Windows build can be compared.
//
//   profile_dump write          writes the table's files into the current directory
//   profile_dump read OUT       reads them (by full path) and writes the results to OUT
//   profile_dump compare A B    compares two results (A: POSIX, B: Windows); exit 1
//                               on a difference that the table does not expect
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "profile_cases.h"

namespace {

std::string Escaped(const char* text, size_t n) {
    std::string out;
    char hex[8];
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7f && c != '\\' && c != '"') {
            out += static_cast<char>(c);
        } else {
            snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

std::string Quoted(const char* text) {
    return text ? "\"" + Escaped(text, strlen(text)) + "\"" : "null";
}

// The read, as the first part of its output line.
std::string Describe(const profile::Query& q) {
    std::string d = std::string(q.file) + " [" + Escaped(q.section, strlen(q.section)) + "] " +
                    Escaped(q.key, strlen(q.key));
    if (q.kind == profile::kText) return d + " text(cap " + std::to_string(q.cap) + ", default " + Quoted(q.textDef) + ")";
    return d + " int(default " + std::to_string(q.intDef) + ")";
}

std::string CurrentDirectory() {
    const size_t need = PlatCurrentDirectory(nullptr, 0);
    if (need == 0) return std::string();
    std::vector<char> buf(need);
    const size_t len = PlatCurrentDirectory(buf.data(), buf.size());
    return len < need ? std::string(buf.data(), len) : std::string();
}

int Write() {
    for (size_t i = 0; i < profile::kFileCount; ++i) {
        const profile::File& f = profile::kFiles[i];
        FILE* out = fopen(f.name, "wb");
        if (!out || fwrite(f.bytes, 1, f.size, out) != f.size || fclose(out) != 0) {
            fprintf(stderr, "profile_dump: cannot write %s\n", f.name);
            return 1;
        }
    }
    return 0;
}

int Read(const char* outPath) {
    const std::string dir = CurrentDirectory();
    if (dir.empty()) {
        fprintf(stderr, "profile_dump: no current directory\n");
        return 1;
    }
    std::string report;
    for (size_t i = 0; i < profile::kQueryCount; ++i) {
        const profile::Query& q = profile::kQueries[i];
        const std::string path = dir + PlatPathSeparator() + q.file;
        std::string result;
        if (q.kind == profile::kText) {
            // One byte more than offered, to see a write past the buffer.
            std::vector<char> buf(q.cap + 1, '\x7f');
            const size_t n = PlatProfileString(q.section, q.key, q.textDef, buf.data(), q.cap, path.c_str());
            const size_t shown = q.cap ? strnlen(buf.data(), q.cap) : 0;
            result = "n=" + std::to_string(n) + " \"" + Escaped(buf.data(), shown) + "\"";
            if (q.cap > 0 && shown == q.cap) result += " (no NUL)";
            if (buf[q.cap] != '\x7f') result += " (wrote past the buffer)";
        } else {
            result = std::to_string(PlatProfileInt(q.section, q.key, q.intDef, path.c_str()));
        }
        report += Describe(q) + " -> " + result + "\n";
    }
    // Binary, so that both platforms write the same line ends.
    FILE* out = fopen(outPath, "wb");
    if (!out || fwrite(report.data(), 1, report.size(), out) != report.size() || fclose(out) != 0) {
        fprintf(stderr, "profile_dump: cannot write %s\n", outPath);
        return 1;
    }
    return 0;
}

std::vector<std::string> Lines(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string ResultOf(const std::string& line) {
    const size_t at = line.rfind(" -> ");
    return at == std::string::npos ? line : line.substr(at + 4);
}

int Compare(const char* posixPath, const char* windowsPath) {
    const std::vector<std::string> posix = Lines(posixPath);
    const std::vector<std::string> windows = Lines(windowsPath);
    if (posix.size() != profile::kQueryCount || windows.size() != profile::kQueryCount) {
        printf("FAIL: %zu reads expected, %zu from %s and %zu from %s\n", profile::kQueryCount, posix.size(),
               posixPath, windows.size(), windowsPath);
        return 1;
    }
    size_t unexpected = 0, known = 0, agreeing = 0;
    for (size_t i = 0; i < profile::kQueryCount; ++i) {
        const profile::Query& q = profile::kQueries[i];
        const std::string what = Describe(q);
        if (posix[i] == windows[i]) {
            ++agreeing;
            if (q.knownDifference) printf("NOTE: now agrees (known difference gone): %s -> %s\n", what.c_str(),
                                          ResultOf(posix[i]).c_str());
            continue;
        }
        const std::string p = ResultOf(posix[i]), w = ResultOf(windows[i]);
        if (q.knownDifference) {
            ++known;
            printf("known: %s\n    posix   %s\n    windows %s\n    (%s)\n", what.c_str(), p.c_str(), w.c_str(),
                   q.knownDifference);
        } else {
            ++unexpected;
            printf("DIFFERENT: %s\n    posix   %s\n    windows %s\n", what.c_str(), p.c_str(), w.c_str());
        }
    }
    printf("%zu reads: %zu agree, %zu known differences, %zu unexpected differences\n", profile::kQueryCount,
           agreeing, known, unexpected);
    return unexpected ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && strcmp(argv[1], "write") == 0) return Write();
    if (argc == 3 && strcmp(argv[1], "read") == 0) return Read(argv[2]);
    if (argc == 4 && strcmp(argv[1], "compare") == 0) return Compare(argv[2], argv[3]);
    fprintf(stderr, "usage: profile_dump write | read OUT | compare POSIX WINDOWS\n");
    return 2;
}
