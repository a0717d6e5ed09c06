// The fake platform backend: implements platform.h over in-memory state
// that tests set and inspect through fake_platform.h.
#include "fake/fake_platform.h"

#include <cstring>
#include <deque>

#include "config/ini_reader.h"

namespace {

struct Inbound {
    bool error;
    std::vector<uint8_t> bytes;
};

struct State {
    TickMs tick = 0;
    std::function<void(uint32_t)> sleepHook;
    std::vector<uint32_t> sleeps;
    std::string cwd = "/fake";
    std::vector<std::string>* titles = nullptr;
    bool failNetStart = false;
    bool failUdpOpen = false;
    bool netStopped = false;
    uint16_t boundPort = 0;
    bool open = false;
    std::deque<Inbound> inbound;
    std::vector<fake::Datagram> sent;
    std::function<void()> receiveHook;
    uint32_t playMs = 0;
    std::vector<fake::Played> plays;
    uint32_t launchError = 0;
    std::vector<std::string> launches;
    bool window = false;
    std::function<bool()> windowHook;
    int windowQueries = 0;
};

State& S() {
    static State state;
    return state;
}

const PlatSocket kFakeSocket = 7;

}  // namespace

namespace fake {

void Reset() { S() = State(); }
void SetTick(TickMs now) { S().tick = now; }
TickMs Tick() { return S().tick; }
void OnSleep(std::function<void(uint32_t)> hook) { S().sleepHook = std::move(hook); }
std::vector<uint32_t>& Sleeps() { return S().sleeps; }
void SetCurrentDirectory(const std::string& dir) { S().cwd = dir; }
void SetTerminalTitles(std::vector<std::string>* sink) { S().titles = sink; }
void FailNetStart(bool fail) { S().failNetStart = fail; }
void FailUdpOpen(bool fail) { S().failUdpOpen = fail; }
uint16_t BoundPort() { return S().boundPort; }
bool NetStopped() { return S().netStopped; }
void QueueDatagram(const std::vector<uint8_t>& bytes) { S().inbound.push_back({false, bytes}); }
void QueueReceiveError() { S().inbound.push_back({true, {}}); }
size_t QueuedCount() { return S().inbound.size(); }
std::vector<Datagram>& Sent() { return S().sent; }
void OnReceive(std::function<void()> hook) { S().receiveHook = std::move(hook); }
void SetPlayMs(uint32_t ms) { S().playMs = ms; }
std::vector<Played>& Plays() { return S().plays; }
void SetLaunchError(uint32_t err) { S().launchError = err; }
std::vector<std::string>& Launches() { return S().launches; }
void SetWindowExists(bool exists) { S().window = exists; }
void OnWindowQuery(std::function<bool()> hook) { S().windowHook = std::move(hook); }
int WindowQueries() { return S().windowQueries; }

}  // namespace fake

TickMs PlatTickCount() { return S().tick; }

void PlatSleep(uint32_t ms) {
    S().tick += ms;
    S().sleeps.push_back(ms);
    if (S().sleepHook) S().sleepHook(ms);
}

void PlatSetConsoleTitle(const char* title) {
    if (S().titles) S().titles->push_back(title);
}

size_t PlatCurrentDirectory(char* buf, size_t cap) {
    const std::string& cwd = S().cwd;
    if (cwd.empty()) return 0;
    if (cap <= cwd.size()) return cwd.size() + 1;
    memcpy(buf, cwd.c_str(), cwd.size() + 1);
    return cwd.size();
}

char PlatPathSeparator() { return '/'; }

size_t PlatProfileString(const char* section, const char* key, const char* def, char* buf, size_t cap,
                         const char* path) {
    return IniFileString(path, section, key, def, buf, cap);
}

int32_t PlatProfileInt(const char* section, const char* key, int32_t def, const char* path) {
    return IniFileInt(path, section, key, def);
}

bool PlatNetStart() { return !S().failNetStart; }
void PlatNetStop() { S().netStopped = true; }

PlatSocket PlatUdpOpen(uint16_t port) {
    if (S().failUdpOpen) return kPlatNoSocket;
    S().boundPort = port;
    S().open = true;
    return kFakeSocket;
}

bool PlatUdpSend(PlatSocket s, const char* address, uint16_t port, const uint8_t* data, size_t len) {
    if (s != kFakeSocket || !S().open) return false;
    S().sent.push_back({address, port, std::vector<uint8_t>(data, data + len)});
    return true;
}

bool PlatUdpWaiting(PlatSocket s) { return s == kFakeSocket && !S().inbound.empty(); }

int32_t PlatUdpReceive(PlatSocket s, uint8_t* buf, size_t cap) {
    if (S().receiveHook) S().receiveHook();
    if (s != kFakeSocket || S().inbound.empty()) return -1;
    Inbound next = std::move(S().inbound.front());
    S().inbound.pop_front();
    if (next.error) return -1;
    const size_t n = next.bytes.size() < cap ? next.bytes.size() : cap;
    if (n) memcpy(buf, next.bytes.data(), n);
    return static_cast<int32_t>(n);
}

void PlatPlayWave(const uint8_t* image, size_t len) {
    S().plays.push_back({std::vector<uint8_t>(image, image + len), S().tick});
    S().tick += S().playMs;
}

uint32_t PlatLaunch(const char* cmdline) {
    S().launches.push_back(cmdline);
    return S().launchError;
}

bool PlatWindowExists(const char* title) {
    ++S().windowQueries;
    if (strcmp(title, "Live for Speed") != 0) return false;
    return S().windowHook ? S().windowHook() : S().window;
}
