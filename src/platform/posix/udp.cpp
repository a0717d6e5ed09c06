// POSIX backend: the IPv4 UDP endpoint on BSD sockets, non-blocking.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "platform/platform.h"

bool PlatNetStart() {
    return true;
}

void PlatNetStop() {
}

PlatSocket PlatUdpOpen(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return kPlatNoSocket;
    // Nothing is received while a call-out plays, and at the simulator's
    // highest rate a two-second call-out outlasts the default buffer: ask
    // for room for a few seconds of traffic. A refusal keeps the default.
    const int receiveBuffer = kPlatReceiveBuffer;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in local;
    memset(&local, 0, sizeof local);
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(port);
    const int flags = fcntl(fd, F_GETFL, 0);
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 || flags < 0 ||
        fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
        close(fd);
        return kPlatNoSocket;
    }
    return fd;
}

bool PlatUdpSend(PlatSocket s, const char* address, uint16_t port, const uint8_t* data, size_t len) {
    if (s == kPlatNoSocket || !address) return false;
    sockaddr_in to;
    memset(&to, 0, sizeof to);
    to.sin_family = AF_INET;
    // inet_aton takes the same texts as inet_addr but tells a bad one apart
    // from 255.255.255.255, which inet_addr returns for both: a bad address
    // must not become a broadcast.
    if (inet_aton(address, &to.sin_addr) == 0) return false;
    to.sin_port = htons(port);
    return sendto(static_cast<int>(s), data, len, 0, reinterpret_cast<sockaddr*>(&to), sizeof to) >= 0;
}

bool PlatUdpWaiting(PlatSocket s) {
    if (s == kPlatNoSocket) return false;
    pollfd p = {static_cast<int>(s), POLLIN, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
}

int32_t PlatUdpReceive(PlatSocket s, uint8_t* buf, size_t cap) {
    if (s == kPlatNoSocket) return -1;
    const ssize_t n = recv(static_cast<int>(s), buf, cap, 0);
    return n < 0 ? -1 : static_cast<int32_t>(n);
}
