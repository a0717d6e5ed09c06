// The fake platform backend for unit tests: a clock the test sets, sleeps
// that advance it, a socket that is two queues of datagrams, a player that
// records, and a launcher and window the test controls.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace fake {

struct Datagram {
    std::string address;
    uint16_t port;
    std::vector<uint8_t> bytes;
};

struct Played {
    std::vector<uint8_t> image;
    TickMs start;
};

// Back to a fresh machine: tick 0, nothing queued, nothing recorded, the
// socket layer working, no window.
void Reset();

void SetTick(TickMs now);
TickMs Tick();
// Called after every PlatSleep has advanced the clock, with the ms slept.
void OnSleep(std::function<void(uint32_t)> hook);
std::vector<uint32_t>& Sleeps();

void SetCurrentDirectory(const std::string& dir);
void SetTerminalTitles(std::vector<std::string>* sink);

// Socket layer: failing start or open, the bound port, and the queues.
void FailNetStart(bool fail);
void FailUdpOpen(bool fail);
uint16_t BoundPort();
bool NetStopped();
void QueueDatagram(const std::vector<uint8_t>& bytes);
// A receive that fails and fills nothing.
void QueueReceiveError();
size_t QueuedCount();
std::vector<Datagram>& Sent();
// Called from PlatUdpReceive before it takes the next datagram.
void OnReceive(std::function<void()> hook);

// Player: every PlatPlayWave is recorded and advances the clock.
void SetPlayMs(uint32_t ms);
std::vector<Played>& Plays();

// Launcher and window.
void SetLaunchError(uint32_t err);
std::vector<std::string>& Launches();
void SetWindowExists(bool exists);
// Decides each PlatWindowExists answer when set.
void OnWindowQuery(std::function<bool()> hook);
int WindowQueries();

}  // namespace fake
