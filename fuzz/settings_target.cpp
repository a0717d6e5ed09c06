// Fuzz target: the INI reader over the input as a file, and LoadSettings
// end to end through the fake current directory.
//
// Input: a 6-byte header, then the file's bytes.
//   h[0..1]  buffer size of the text read, little-endian, taken modulo 301
//   h[2]     section name (index into kSections), h[3] key (kKeys),
//            h[4] low bits: the text default (kDefaults)
//   h[4] bits 6 and 7 both set: also run LoadSettings over the same file as
//            <dir>/spotter/config.cfg, with h[5] "/." steps appended to the
//            current directory (so its path can pass 492 characters)
//
// Besides memory faults it checks what ini_reader.h promises: the text is
// NUL-terminated within its buffer and as long as reported, a smaller
// buffer gets a prefix of a larger one's text, the integer reads its
// default only when the key is missing (the text is then the default) or
// its text is empty, and otherwise equals the documented conversion of
// that text.
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "config/ini_reader.h"
#include "config/settings.h"
#include "fake/fake_platform.h"
#include "scratch.h"

namespace {

const char* const kSections[] = {"main", "spotting", "MAIN", "Spotting", "", "m", "main ", "a b"};
const char* const kKeys[] = {
    "address",  "destPort",     "srcPort",        "adminPass",          "autoReconnectOnRestart",
    "autorunLFS", "LFSpath",    "maxXDistance",   "minSpeed",           "maxSpeedDiffFaster",
    "maxSpeedDiffSlower", "maxAngleDiff", "stillThereInterval", "prediction", "ovalOnly",
    "",         "a",            "ADDRESS",        "key name",           "k=v",
};
const std::string kLongDefault(300, 'd');
const char* const kDefaults[] = {nullptr, "", "127.0.0.1", kLongDefault.c_str()};

const size_t kSectionCount = sizeof kSections / sizeof kSections[0];
const size_t kKeyCount = sizeof kKeys / sizeof kKeys[0];

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The integer of a text value as ini_reader.h documents it: blanks, an
// optional sign, then decimal digits or 0x and hex digits, modulo 2^32.
int32_t ReferenceInt(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    uint32_t value = 0;
    if (i + 1 < text.size() && text[i] == '0' && text[i + 1] == 'x') {
        for (i += 2; i < text.size() && HexValue(text[i]) >= 0; ++i) value = value * 16u + HexValue(text[i]);
    } else {
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) value = value * 10u + (text[i] - '0');
    }
    return static_cast<int32_t>(negative ? 0u - value : value);
}

// A text read into a heap buffer of exactly `cap` bytes, so that a write
// past it is caught. Checks the termination and the length.
std::string ReadText(const std::string& path, const char* section, const char* key, const char* def, size_t cap) {
    char* buf = static_cast<char*>(malloc(cap ? cap : 1));
    fuzz::Require(buf != nullptr, "buffer allocated");
    if (cap == 0) buf[0] = 'z';
    const size_t n = IniFileString(path.c_str(), section, key, def, buf, cap);
    std::string text;
    if (cap == 0) {
        fuzz::Require(n == 0 && buf[0] == 'z', "a buffer of size 0 is left alone");
    } else {
        fuzz::Require(n < cap, "text fits its buffer");
        fuzz::Require(buf[n] == 0 && strlen(buf) == n, "text ends in NUL at its length");
        text.assign(buf, n);
    }
    free(buf);
    return text;
}

size_t GetCap(const uint8_t* h) {
    return static_cast<size_t>(h[0] | (h[1] << 8)) % 301;
}

void CheckReader(const std::string& path, const uint8_t* h, size_t fileSize) {
    const char* section = kSections[h[2] % kSectionCount];
    const char* key = kKeys[h[3] % kKeyCount];
    const char* def = kDefaults[h[4] & 3];
    const size_t cap = GetCap(h);

    // No value is longer than the file, so this buffer holds any text whole.
    const size_t wholeCap = fileSize + 302;
    const std::string whole = ReadText(path, section, key, def, wholeCap);
    const std::string cut = ReadText(path, section, key, def, cap);
    if (cap > 0) {
        const size_t expect = whole.size() < cap - 1 ? whole.size() : cap - 1;
        fuzz::Require(cut.size() == expect && whole.compare(0, expect, cut) == 0, "a smaller buffer gets a prefix");
    }

    // An integer default that no plain file gives tells a key that is
    // missing or empty from one with a text; the text read above is then
    // the default or empty.
    const int32_t kSentinel = -2147471303;
    const int32_t number = IniFileInt(path.c_str(), section, key, kSentinel);
    if (!whole.empty() && (number != kSentinel || ReferenceInt(whole) == kSentinel)) {
        fuzz::Require(number == ReferenceInt(whole), "integer is the conversion of the text");
    } else {
        const std::string fallback(def ? def : "");
        fuzz::Require(number == kSentinel, "integer default when the key is missing or empty");
        fuzz::Require(whole.empty() || whole == fallback, "text of a missing key is the default");
    }
}

void CheckLoadSettings(const std::string& dir, uint8_t steps) {
    std::string cwd = dir;
    for (int i = 0; i < steps; ++i) cwd += "/.";
    fake::Reset();
    fake::SetCurrentDirectory(cwd);
    memset(&Settings, 0xA5, sizeof Settings);
    LoadSettings();
    const SettingsRecord& s = Settings;
    fuzz::Require(memchr(s.address, 0, sizeof s.address) != nullptr, "address terminated");
    fuzz::Require(memchr(s.adminPass, 0, sizeof s.adminPass) != nullptr, "adminPass terminated");
    fuzz::Require(memchr(s.LFSpath, 0, sizeof s.LFSpath) != nullptr, "LFSpath terminated");
    fuzz::Require(s.autoReconnectOnRestart <= 1 && s.autorunLFS <= 1 && s.ovalOnly <= 1, "flags are 0 or 1");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string dir = fuzz::ScratchDir();
    static const std::string path = [] {
        const std::string spotter = dir + "/spotter";
        fuzz::Require(mkdir(spotter.c_str(), 0700) == 0 || errno == EEXIST, "spotter directory made");
        return spotter + "/config.cfg";
    }();

    uint8_t h[6] = {};
    const size_t head = size < sizeof h ? size : sizeof h;
    memcpy(h, data, head);
    fuzz::WriteFile(path, data + head, size - head);

    CheckReader(path, h, size - head);
    if ((h[4] & 0xC0) == 0xC0) CheckLoadSettings(dir, h[5]);
    return 0;
}
