// A lean platform backend for the benchmarks: the inbound queue replays a
// fixed cycle of datagrams through an index, sends and plays are counted,
// and nothing allocates. What a benchmark measures on it is the program's
// own work plus one copy of each received datagram, as a real receive does.
#include <cstring>

#include "config/ini_reader.h"
#include "feed.h"

namespace {

const size_t kMaxCycle = 64;
const size_t kMaxDatagram = 512;
const PlatSocket kLeanSocket = 7;

struct Slot {
    uint8_t bytes[kMaxDatagram];
    size_t len;
};

Slot cycle[kMaxCycle];
size_t cycleLen = 0;
size_t next = 0;
size_t pending = 0;
bool open = false;
TickMs tick = 0;
size_t sent = 0;
size_t plays = 0;
// The latest datagram sent, so a send is a copy like a real one.
uint8_t lastSent[kMaxDatagram];

}  // namespace

void FeedReset() {
    cycleLen = next = pending = 0;
    open = false;
    tick = 0;
    sent = plays = 0;
}

void FeedLoad(const std::vector<std::vector<uint8_t>>& datagrams) {
    cycleLen = 0;
    for (const std::vector<uint8_t>& d : datagrams) {
        if (cycleLen == kMaxCycle) break;
        Slot& s = cycle[cycleLen++];
        s.len = d.size() < kMaxDatagram ? d.size() : kMaxDatagram;
        memcpy(s.bytes, d.data(), s.len);
    }
    next = pending = 0;
}

void FeedRefill(size_t count) { pending += count; }
size_t FeedQueued() { return pending; }
bool FeedRefillIsFree() { return true; }
void FeedForget() { sent = plays = 0; }
size_t FeedSentCount() { return sent; }
size_t FeedPlayCount() { return plays; }
const char* FeedName() { return "lean"; }

TickMs PlatTickCount() { return tick; }
void PlatSleep(uint32_t ms) { tick += ms; }
void PlatSetConsoleTitle(const char*) {}

size_t PlatCurrentDirectory(char* buf, size_t cap) {
    static const char kDir[] = "/lean";
    if (cap < sizeof kDir) return sizeof kDir;
    memcpy(buf, kDir, sizeof kDir);
    return sizeof kDir - 1;
}

char PlatPathSeparator() { return '/'; }

size_t PlatProfileString(const char* section, const char* key, const char* def, char* buf, size_t cap,
                         const char* path) {
    return IniFileString(path, section, key, def, buf, cap);
}

int32_t PlatProfileInt(const char* section, const char* key, int32_t def, const char* path) {
    return IniFileInt(path, section, key, def);
}

bool PlatNetStart() { return true; }
void PlatNetStop() {}

PlatSocket PlatUdpOpen(uint16_t) {
    open = true;
    return kLeanSocket;
}

bool PlatUdpSend(PlatSocket s, const char*, uint16_t, const uint8_t* data, size_t len) {
    if (s != kLeanSocket || !open) return false;
    memcpy(lastSent, data, len < kMaxDatagram ? len : kMaxDatagram);
    ++sent;
    return true;
}

bool PlatUdpWaiting(PlatSocket s) { return s == kLeanSocket && pending > 0 && cycleLen > 0; }

int32_t PlatUdpReceive(PlatSocket s, uint8_t* buf, size_t cap) {
    if (s != kLeanSocket || pending == 0 || cycleLen == 0) return -1;
    const Slot& slot = cycle[next];
    next = next + 1 == cycleLen ? 0 : next + 1;
    --pending;
    const size_t n = slot.len < cap ? slot.len : cap;
    memcpy(buf, slot.bytes, n);
    return static_cast<int32_t>(n);
}

void PlatPlayWave(const uint8_t*, size_t) { ++plays; }
uint32_t PlatLaunch(const char*) { return 0; }
bool PlatWindowExists(const char*) { return false; }
