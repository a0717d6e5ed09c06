// Program start-up, the connection loop with its attempts and time-outs,
// and shutdown.
#pragma once

#include <cstdint>

#include "platform/platform.h"

enum ConnectStateValue : int32_t {
    Idle = 0,
    Connecting = 1,
    Connected = 2,
    Reconnect = 3,
    Quit = 4,
};

extern ConnectStateValue ConnectState;
// Latest sign of life from the simulator; the silence rule counts from it.
extern TickMs lastPacketTime;
// True once the one-time MST announcement went out in this run.
extern bool announced;

const uint32_t kCycleMs = 25;
const uint32_t kConnectTimeoutMs = 3000;
const uint32_t kSilenceMs = 60000;

// Runs attempts until the window watch sets Quit; returns after the close
// packet of the last attempt.
void ConnectLoop();

// The whole program: start-up, ConnectLoop, shutdown. Returns 0.
int FlankguardMain();
