// The INI reader behind the profile-reading platform calls: one pass over
// the file, a byte at a time through a fixed read buffer, so that neither
// the file's size nor a line's length matters.
#include "config/ini_reader.h"

#include <cstdio>
#include <cstring>

namespace {

bool IsBlank(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

bool IsQuote(unsigned char c) {
    return c == '"' || c == '\'';
}

unsigned char Fold(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

// Compares a section or key name that arrives one byte at a time with
// `target`, ignoring ASCII case and the blanks around the name, without
// keeping the name itself.
struct NameMatch {
    const char* target;
    size_t targetLen;
    size_t len;      // bytes of the target matched so far
    size_t trimmed;  // len up to the last non-blank byte
    bool bad;
};

void NameStart(NameMatch& m, const char* target) {
    m.target = target;
    m.targetLen = strlen(target);
    m.len = 0;
    m.trimmed = 0;
    m.bad = false;
}

void NameAdd(NameMatch& m, unsigned char c) {
    const bool blank = IsBlank(c);
    if (m.bad || (m.len == 0 && blank)) return;
    if (m.len < m.targetLen) {
        // A blank that differs from the target is either inside the name
        // (a mismatch) or trailing (then the name is too short): bad both ways.
        if (Fold(c) != Fold(static_cast<unsigned char>(m.target[m.len]))) {
            m.bad = true;
            return;
        }
        ++m.len;
        if (!blank) m.trimmed = m.len;
    } else if (!blank) {
        m.bad = true;  // longer than the target
    }
}

bool NameMatches(const NameMatch& m) {
    return !m.bad && m.trimmed == m.targetLen;
}

// Integer conversion of a value's text: blanks, one sign, then decimal
// digits or 0x and hexadecimal digits; the first other byte ends it.
// Digits accumulate modulo 2^32, so an out-of-range number keeps its low
// 32 bits (the same wrapping as the Windows converter).
enum IntState { kIntLead, kIntSigned, kIntZero, kIntDec, kIntHex, kIntStop };

struct IntParse {
    IntState state;
    bool negative;
    uint32_t value;
};

int HexDigit(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void IntFeed(IntParse& p, unsigned char c) {
    switch (p.state) {
        case kIntLead:
            if (IsBlank(c)) return;
            if (c == '+' || c == '-') {
                p.negative = c == '-';
                p.state = kIntSigned;
                return;
            }
            [[fallthrough]];
        case kIntSigned:
            if (c == '0') {
                p.state = kIntZero;
            } else if (c >= '1' && c <= '9') {
                p.value = c - '0';
                p.state = kIntDec;
            } else {
                p.state = kIntStop;
            }
            return;
        case kIntZero:
            if (c == 'x') {
                p.state = kIntHex;
                return;
            }
            [[fallthrough]];
        case kIntDec:
            if (c >= '0' && c <= '9') {
                p.value = p.value * 10u + (c - '0');
                p.state = kIntDec;
            } else {
                p.state = kIntStop;
            }
            return;
        case kIntHex: {
            const int d = HexDigit(c);
            if (d >= 0) {
                p.value = p.value * 16u + static_cast<uint32_t>(d);
            } else {
                p.state = kIntStop;
            }
            return;
        }
        case kIntStop:
            return;
    }
}

int32_t IntResult(const IntParse& p) {
    return static_cast<int32_t>(p.negative ? 0u - p.value : p.value);
}

// Receives the bytes of the wanted value after the '=' and turns them into
// the text (blanks trimmed, one pair of quotes removed, cut to cap - 1) or
// into the integer of that text. The first non-blank byte is held apart
// and the rest written from buf[0], because only the end of the line
// tells whether that byte is an opening quote to drop.
struct ValueSink {
    bool isInt;
    char* buf;  // text: the caller's buffer, cap >= 1
    size_t cap;
    bool started;
    unsigned char first;
    unsigned char last;  // last non-blank byte
    size_t count;        // bytes after the first
    size_t trimmed;      // length up to the last non-blank byte, first included
    IntParse plain;      // the value as it stands
    IntParse unquoted;   // the value without its first byte
};

void SinkByte(ValueSink& s, unsigned char c) {
    if (!s.started) {
        if (IsBlank(c)) return;
        s.started = true;
        s.first = s.last = c;
        s.trimmed = 1;
        if (s.isInt) IntFeed(s.plain, c);
        return;
    }
    const size_t index = s.count++;
    if (!IsBlank(c)) {
        s.last = c;
        s.trimmed = s.count + 1;
    }
    if (s.isInt) {
        IntFeed(s.plain, c);
        IntFeed(s.unquoted, c);
    } else if (index < s.cap - 1) {
        s.buf[index] = static_cast<char>(c);
    }
}

bool SinkQuoted(const ValueSink& s) {
    return s.trimmed >= 2 && IsQuote(s.first) && s.last == s.first;
}

// The text's length after trimming and quote removal.
size_t SinkLength(const ValueSink& s) {
    if (!s.started) return 0;
    return SinkQuoted(s) ? s.trimmed - 2 : s.trimmed;
}

size_t SinkFinishText(ValueSink& s) {
    size_t n = SinkLength(s);
    if (n > s.cap - 1) n = s.cap - 1;
    if (s.started && !SinkQuoted(s) && n > 0) {
        memmove(s.buf + 1, s.buf, n - 1);
        s.buf[0] = static_cast<char>(s.first);
    }
    s.buf[n] = 0;
    return n;
}

// Where a line is in the scan.
enum Phase { kLineStart, kHeader, kKey, kValue, kSkip };

struct Scan {
    const char* section;
    const char* key;
    Phase phase;
    bool inSection;  // inside the first section of the wanted name
    bool done;
    bool found;
    NameMatch name;
};

void ScanByte(Scan& sc, ValueSink& sink, unsigned char c) {
    switch (sc.phase) {
        case kLineStart:
            if (c == '\n' || IsBlank(c)) return;
            if (c == '[') {
                NameStart(sc.name, sc.section);
                sc.phase = kHeader;
            } else if (c == ';' || c == '#' || c == 0 || !sc.inSection) {
                sc.phase = kSkip;
            } else if (c == '=') {
                NameStart(sc.name, sc.key);
                sc.phase = NameMatches(sc.name) ? kValue : kSkip;
            } else {
                NameStart(sc.name, sc.key);
                NameAdd(sc.name, c);
                sc.phase = kKey;
            }
            return;
        case kHeader:
            if (c == '\n') {
                sc.phase = kLineStart;  // no ']': not a header, ignored
            } else if (c == 0) {
                sc.phase = kSkip;
            } else if (c == ']') {
                // Any header ends the wanted section; a later one of the
                // same name is not read.
                if (sc.inSection) {
                    sc.done = true;
                    return;
                }
                sc.inSection = NameMatches(sc.name);
                sc.phase = kSkip;
            } else {
                NameAdd(sc.name, c);
            }
            return;
        case kKey:
            if (c == '\n') {
                sc.phase = kLineStart;  // no '=': ignored
            } else if (c == 0) {
                sc.phase = kSkip;
            } else if (c == '=') {
                sc.phase = NameMatches(sc.name) ? kValue : kSkip;
            } else {
                NameAdd(sc.name, c);
            }
            return;
        case kValue:
            // A NUL ends the value as it would end a C string.
            if (c == '\n' || c == 0) {
                sc.found = true;
                sc.done = true;
            } else {
                SinkByte(sink, c);
            }
            return;
        case kSkip:
            if (c == '\n') sc.phase = kLineStart;
            return;
    }
}

// Runs the sink over the value of `key` in the first section `section` of
// the file. False when the file cannot be read or has no such key.
bool FindValue(const char* path, const char* section, const char* key, ValueSink& sink) {
    if (!path || !section || !key) return false;
    FILE* f = fopen(path, "rb");
    if (!f) return false;
    Scan sc = {};
    sc.section = section;
    sc.key = key;
    sc.phase = kLineStart;
    unsigned char chunk[4096];
    while (!sc.done) {
        const size_t got = fread(chunk, 1, sizeof chunk, f);
        for (size_t i = 0; i < got && !sc.done; ++i) {
            if (sc.phase == kSkip) {
                // Skipped lines are the bulk of a file: jump to their end.
                const void* nl = memchr(chunk + i, '\n', got - i);
                if (!nl) break;
                i = static_cast<size_t>(static_cast<const unsigned char*>(nl) - chunk);
            }
            ScanByte(sc, sink, chunk[i]);
        }
        if (got < sizeof chunk) break;
    }
    // A read error makes the file unreadable, whatever was seen before it
    // (a directory opens but fails its first read).
    const bool failed = !sc.done && ferror(f);
    fclose(f);
    if (failed) return false;
    if (!sc.done && sc.phase == kValue) sc.found = true;  // last line without a line break
    return sc.found;
}

}  // namespace

size_t IniFileString(const char* path, const char* section, const char* key, const char* def, char* buf,
                     size_t cap) {
    if (cap == 0 || !buf) return 0;
    ValueSink sink = {};
    sink.isInt = false;
    sink.buf = buf;
    sink.cap = cap;
    if (FindValue(path, section, key, sink)) return SinkFinishText(sink);
    if (!def) def = "";
    size_t n = strlen(def);
    if (n > cap - 1) n = cap - 1;
    memmove(buf, def, n);
    buf[n] = 0;
    return n;
}

int32_t IniFileInt(const char* path, const char* section, const char* key, int32_t def) {
    ValueSink sink = {};
    sink.isInt = true;
    sink.plain.state = kIntLead;
    sink.unquoted.state = kIntLead;
    if (!FindValue(path, section, key, sink)) return def;
    // The integer of the text value: an empty text gives the default.
    if (SinkLength(sink) == 0) return def;
    if (SinkQuoted(sink)) return IntResult(sink.unquoted);
    return IntResult(sink.plain);
}
