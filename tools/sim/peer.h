// A stand-in for the simulator's end of InSim over UDP, on loopback or on a
// given address: it records every datagram both ways with its time, answers
// the state request and the player requests by itself, and sends whatever
// it is asked to. Single-threaded: the owner calls Pump to receive and
// answer.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/packets.h"

namespace sim {

using Clock = std::chrono::steady_clock;

struct Datagram {
    Bytes bytes;
    Clock::time_point at;   // arrival (received) or hand-over (sent)
    uint16_t fromPort = 0;  // the sender's port (received only)
};

// What the peer does by itself.
struct PeerConfig {
    // An SST (8 bytes) is answered with a STA built from `state`.
    bool answerState = true;
    StaFields state;
    // An NPL request (8 bytes, "NPL\0" + index) is answered with the NPL of
    // the player of that index in `players`; unknown indices get nothing.
    bool answerPlayers = true;
    std::vector<Player> players;
};

class Peer {
public:
    Peer() = default;
    ~Peer();
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    // Binds 127.0.0.1:`port` (0: a free port chosen by the system). False,
    // with the reason in Error(), when the socket cannot be had.
    bool Open(uint16_t port = 0);
    // Binds `address` (an IPv4 address in dotted form, for example a LAN
    // address, or 0.0.0.0 for all) and `port`.
    bool Open(const std::string& address, uint16_t port);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    // The bound port.
    uint16_t Port() const { return port_; }
    const std::string& Error() const { return error_; }

    PeerConfig config;

    // Receives every waiting datagram, waiting up to `timeoutMs` for the
    // first one, records each and answers it per `config`. Returns how many
    // were received.
    int Pump(int timeoutMs);

    const std::vector<Datagram>& Received() const { return received_; }
    const std::vector<Datagram>& Sent() const { return sent_; }

    // Forgets the logs of received and sent datagrams (long runs).
    void ForgetLogs() {
        received_.clear();
        sent_.clear();
    }

    // Where packets go: set by every ISI (the sender's address, the port
    // that the ISI carries in bytes 4-5) or by SetPeer.
    bool HasPeer() const { return peerPort_ != 0; }
    uint16_t PeerPort() const { return peerPort_; }
    void SetPeer(uint32_t addressHostOrder, uint16_t port);

    // Sends one datagram to the peer; false without a peer or on failure.
    bool Send(const Bytes& bytes);
    bool SendSta() { return Send(BuildSta(config.state)); }
    bool SendNpl(const Player& player) { return Send(BuildNpl(player)); }
    bool SendMci(uint8_t total, uint8_t first, const std::vector<CarRecord>& cars) {
        return Send(BuildMci(total, first, cars));
    }
    bool SendRst(uint16_t ack) { return Send(BuildRst(ack)); }
    bool SendAcked(const char* id, uint16_t ack) { return Send(BuildAcked(id, ack)); }
    bool SendAck(uint16_t value) { return Send(BuildAck(value)); }

private:
    void Answer(const Bytes& bytes, uint32_t fromAddress, uint16_t fromPort);

    int fd_ = -1;
    uint16_t port_ = 0;
    std::string error_;
    uint32_t peerAddress_ = 0;  // host order
    uint16_t peerPort_ = 0;
    std::vector<Datagram> received_;
    std::vector<Datagram> sent_;
    Bytes buffer_;  // receive buffer, kept between pumps
};

}  // namespace sim
