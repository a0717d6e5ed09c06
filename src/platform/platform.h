// The platform layer: the few operating-system services Flankguard needs,
// as free functions. One backend implements all of them (posix/, win32/;
// tests link a fake one). Backends only move bytes and read time: parsing,
// byte layouts and rules live in the portable code.
#pragma once

#include <cstddef>
#include <cstdint>

// A millisecond tick count that wraps modulo 2^32. Intervals are always the
// unsigned difference of two readings.
typedef uint32_t TickMs;

// Monotonic milliseconds, modulo 2^32. Never goes backwards between wraps.
TickMs PlatTickCount();

// Blocks the caller for about `ms` milliseconds.
void PlatSleep(uint32_t ms);

// Sets the console window's title. Does nothing where there is no console
// to title (for example standard output is not a terminal).
void PlatSetConsoleTitle(const char* title);

// Copies the current directory, NUL-terminated, into buf[0..cap). Returns
// the directory's length without the NUL when it fit; when it did not fit
// (or cap is 0) returns the buffer size needed including the NUL and leaves
// buf unspecified. Returns 0 when the directory cannot be had.
size_t PlatCurrentDirectory(char* buf, size_t cap);

// The platform's path separator ('/' or '\\').
char PlatPathSeparator();

// Reads a text value of key `key` in section `section` of the INI file at
// `path` into buf (cap bytes, always NUL-terminated when cap > 0; a longer
// value is cut to cap - 1 bytes). A missing file, section or key yields
// `def`. Returns the number of bytes copied without the NUL.
size_t PlatProfileString(const char* section, const char* key, const char* def,
                         char* buf, size_t cap, const char* path);

// Reads an integer value the same way; `def` when the file, section or key
// is missing or the value is empty.
int32_t PlatProfileInt(const char* section, const char* key, int32_t def, const char* path);

// --- UDP endpoint ---------------------------------------------------------

// An open datagram socket, or kPlatNoSocket.
typedef intptr_t PlatSocket;
const PlatSocket kPlatNoSocket = -1;

// Starts the socket layer. False on failure. Call once before any socket.
bool PlatNetStart();

// Shuts the socket layer down after a failed start of the endpoint.
void PlatNetStop();

// The receive buffer the endpoint asks for, in bytes: datagrams wait while
// a call-out plays.
const int kPlatReceiveBuffer = 1 << 20;

// Creates an IPv4 datagram socket bound to 0.0.0.0:`port` and sets it up so
// that sends and readiness checks never block. Returns kPlatNoSocket on any
// failure, having closed whatever it created.
PlatSocket PlatUdpOpen(uint16_t port);

// Sends `len` bytes as one datagram to the dotted IPv4 `address` and
// `port`, without waiting. An address that is not an IPv4 text, or a dead
// socket, makes the send fail silently. Returns true when the platform took
// the datagram.
bool PlatUdpSend(PlatSocket s, const char* address, uint16_t port, const uint8_t* data, size_t len);

// True when at least one datagram is waiting on `s`. Never waits.
bool PlatUdpWaiting(PlatSocket s);

// Receives one waiting datagram into buf (cap bytes); a longer datagram is
// cut to cap bytes and its rest is lost. Returns the number of bytes put
// into buf, or -1 when the receive failed and filled nothing.
int32_t PlatUdpReceive(PlatSocket s, uint8_t* buf, size_t cap);

// --- Sound ----------------------------------------------------------------

// Plays a whole WAV file image held in memory and returns when it has
// ended. Never reads outside image[0..len). A failing device plays nothing
// and returns at once.
void PlatPlayWave(const uint8_t* image, size_t len);

// --- Simulator process and window -------------------------------------------

// Starts the program named by the command line `cmdline` detached from this
// one (no console, new process group, own environment and directory).
// Returns 0 on success, otherwise the platform's error code.
uint32_t PlatLaunch(const char* cmdline);

// True while a top-level window titled exactly `title` exists.
bool PlatWindowExists(const char* title);
