// The stand-in simulator's UDP end: POSIX sockets on loopback, a log of
// every datagram, and the automatic answers to SST and NPL requests.
#include "sim/peer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sim {

namespace {

// Larger than any UDP datagram, so every one is recorded whole.
const size_t kReceiveCap = 65536;

}  // namespace

Peer::~Peer() {
    Close();
}

bool Peer::Open(uint16_t port) {
    return Open("127.0.0.1", port);
}

bool Peer::Open(const std::string& address, uint16_t port) {
    Close();
    in_addr bindAddress;
    if (inet_pton(AF_INET, address.c_str(), &bindAddress) != 1) {
        error_ = "not an IPv4 address: " + address;
        return false;
    }
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) {
        error_ = std::string("socket: ") + strerror(errno);
        return false;
    }
    // Not inherited by programs started from the same process.
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    sockaddr_in local;
    memset(&local, 0, sizeof local);
    local.sin_family = AF_INET;
    local.sin_addr = bindAddress;
    local.sin_port = htons(port);
    socklen_t len = sizeof local;
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len) != 0) {
        error_ = "bind " + address + ":" + std::to_string(port) + ": " + strerror(errno);
        close(fd);
        return false;
    }
    const int flags = fcntl(fd, F_GETFL, 0);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    fd_ = fd;
    port_ = ntohs(local.sin_port);
    return true;
}

void Peer::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    port_ = 0;
}

void Peer::SetPeer(uint32_t addressHostOrder, uint16_t port) {
    peerAddress_ = addressHostOrder;
    peerPort_ = port;
}

int Peer::Pump(int timeoutMs) {
    if (fd_ < 0) return 0;
    int count = 0;
    pollfd p = {fd_, POLLIN, 0};
    if (poll(&p, 1, timeoutMs < 0 ? 0 : timeoutMs) <= 0) return 0;
    Bytes& buf = buffer_;
    buf.resize(kReceiveCap);
    for (;;) {
        sockaddr_in from;
        socklen_t fromLen = sizeof from;
        const ssize_t n = recvfrom(fd_, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
        if (n < 0) break;
        Datagram d;
        d.bytes.assign(buf.begin(), buf.begin() + n);
        d.at = Clock::now();
        d.fromPort = ntohs(from.sin_port);
        received_.push_back(d);
        ++count;
        Answer(received_.back().bytes, ntohl(from.sin_addr.s_addr), ntohs(from.sin_port));
    }
    return count;
}

void Peer::Answer(const Bytes& bytes, uint32_t fromAddress, uint16_t fromPort) {
    // The simulator answers at the port that the ISI names, on the address
    // the ISI came from.
    if (HasId(bytes, "ISI") && bytes.size() >= 6) {
        SetPeer(fromAddress, GetLe16(bytes, 4));
        return;
    }
    if (!HasPeer()) SetPeer(fromAddress, fromPort);
    int32_t value = 0;
    if (config.answerState && IsSmall(bytes, "SST")) {
        SendSta();
    } else if (config.answerPlayers && IsSmall(bytes, "NPL", &value)) {
        for (const Player& player : config.players) {
            if (player.index == value) {
                SendNpl(player);
                break;
            }
        }
    }
}

bool Peer::Send(const Bytes& bytes) {
    if (fd_ < 0 || !HasPeer()) return false;
    sockaddr_in to;
    memset(&to, 0, sizeof to);
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(peerAddress_);
    to.sin_port = htons(peerPort_);
    for (;;) {
        const ssize_t n = sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        if (n >= 0) break;
        if (errno == EINTR) continue;
        // A full send buffer on a non-blocking socket: wait until it drains.
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            pollfd p = {fd_, POLLOUT, 0};
            if (poll(&p, 1, 1000) > 0) continue;
        }
        return false;
    }
    sent_.push_back(Datagram{bytes, Clock::now(), 0});
    return true;
}

}  // namespace sim
