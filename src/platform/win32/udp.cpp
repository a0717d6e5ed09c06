// Win32 backend: the IPv4 UDP endpoint on Windows Sockets 2. Readiness is
// recorded through an event selection (which also makes the socket
// non-blocking) and polled with WSAEnumNetworkEvents, never waited on.
#include "platform/win32/win32.h"

#include <climits>
#include <cstring>

#include "platform/platform.h"

bool PlatNetStart() {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

void PlatNetStop() {
    WSACleanup();
}

PlatSocket PlatUdpOpen(uint16_t port) {
    sockaddr_in local;
    memset(&local, 0, sizeof local);
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(port);

    const SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET) return kPlatNoSocket;
    // Room for a few seconds of traffic while a call-out plays; a refusal
    // keeps the default.
    const int receiveBuffer = kPlatReceiveBuffer;
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBuffer), sizeof receiveBuffer);
    if (bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) == SOCKET_ERROR) {
        closesocket(s);
        return kPlatNoSocket;
    }
    // The event only carries the selection; nothing waits on it, and it
    // lives as long as the process.
    const HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!event || WSAEventSelect(s, event, FD_READ | FD_CLOSE) == SOCKET_ERROR) {
        closesocket(s);
        return kPlatNoSocket;
    }
    return static_cast<PlatSocket>(s);
}

bool PlatUdpSend(PlatSocket s, const char* address, uint16_t port, const uint8_t* data, size_t len) {
    if (s == kPlatNoSocket || len > INT_MAX) return false;
    sockaddr_in to;
    memset(&to, 0, sizeof to);
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = inet_addr(address);
    to.sin_port = htons(port);
    return sendto(static_cast<SOCKET>(s), reinterpret_cast<const char*>(data), static_cast<int>(len), 0,
                  reinterpret_cast<const sockaddr*>(&to), sizeof to) != SOCKET_ERROR;
}

bool PlatUdpWaiting(PlatSocket s) {
    if (s == kPlatNoSocket) return false;
    WSANETWORKEVENTS events;
    memset(&events, 0, sizeof events);
    // No event object: the recorded events are read and cleared, the event
    // is left alone. A receive records FD_READ again while more datagrams wait.
    if (WSAEnumNetworkEvents(static_cast<SOCKET>(s), nullptr, &events) == SOCKET_ERROR) return false;
    return (events.lNetworkEvents & FD_READ) != 0;
}

int32_t PlatUdpReceive(PlatSocket s, uint8_t* buf, size_t cap) {
    if (s == kPlatNoSocket) return -1;
    const int size = cap > INT_MAX ? INT_MAX : static_cast<int>(cap);
    const int n = recv(static_cast<SOCKET>(s), reinterpret_cast<char*>(buf), size, 0);
    if (n != SOCKET_ERROR) return n;
    // A datagram longer than the buffer fills it and fails with
    // WSAEMSGSIZE; its rest is lost. That counts as a full buffer.
    return WSAGetLastError() == WSAEMSGSIZE ? size : -1;
}
