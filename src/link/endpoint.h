// The UDP endpoint to the simulator and the packets the program sends.
#pragma once

#include <cstddef>
#include <cstdint>

// Starts the socket layer and opens the endpoint. 1 when ready, 0 when not
// (silently; the program then simply never receives anything).
int Init();

// Creates, binds and arms the socket on srcPort. Used by Init.
bool SetupUDPSocket();

// Sends `length` bytes as one datagram to address:destPort. Failures are
// ignored.
void SendPacket(const uint8_t* data, int32_t length);

// Sends the 8-byte packet: the three-letter id with its NUL, then `value`
// as signed 32-bit little-endian.
void SendSmallPacket(const char* id, int32_t value);

// Hands every waiting datagram to HandlePacket, one call each, and returns
// as soon as none is waiting. Never waits.
void PollLink();

// Receives one datagram of the endpoint into buf (cut to cap bytes).
// Returns the byte count, or -1 when nothing could be received.
int32_t ReceiveDatagram(uint8_t* buf, size_t cap);

// Packet builders; the buffers are fully written.
const int32_t kInitPacketSize = 24;
const int32_t kAnnouncePacketSize = 68;
void BuildInitPacket(uint8_t out[kInitPacketSize]);
void BuildAnnouncePacket(uint8_t out[kAnnouncePacketSize]);
