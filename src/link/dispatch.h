// Incoming packets: validation, acknowledgement and dispatch by identifier,
// and the last state packet with the track class derived from it.
#pragma once

#include <cstdint>

#include "link/bytes.h"

const int kStatePacketSize = 28;

// A copy of the last 28-byte STA, byte for byte; zeros until one arrives.
extern uint8_t StateSnapshot[kStatePacketSize];

// 0 on KY1, 1 on KY1R, 2 on any other track; 0 until a STA arrives.
extern int32_t TrackMode;

inline uint16_t SnapshotFlags() { return GetU16(StateSnapshot + 8); }
inline uint8_t SnapshotOwnIndex() { return StateSnapshot[11]; }
inline uint8_t SnapshotPlayerCount() { return StateSnapshot[12]; }
inline uint8_t SnapshotRaceActive() { return StateSnapshot[15]; }

// Receives one datagram from the endpoint and acts on it.
void HandlePacket();
