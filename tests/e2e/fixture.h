// The end-to-end fixture: a fresh temporary directory with its own
// spotter/config.cfg, the stand-in simulator on a free loopback port, and the
// real flankguard started there. Waits poll the program's output and the
// simulator's log against deadlines; the simulator answers while they wait.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "program.h"
#include "sim/peer.h"

namespace e2e {

// The console lines every run prints before its first attempt line, for a
// program started in `dir` (the directory as the program sees it).
std::string StartupText(const std::string& dir);
// "Connecting to 127.0.0.1:<port>... "
std::string AttemptLine(unsigned port);

class E2eTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes the config (address 127.0.0.1, destPort = the simulator's port,
    // srcPort = a free port, autorunLFS=0, then `mainLines` in [main] and
    // `spottingLines` in [spotting]) and starts the program. Fatal on failure.
    void StartProgram(const std::string& mainLines = "", const std::string& spottingLines = "");

    // Runs the simulator and drains the program's output until `done` holds
    // or `timeoutMs` has passed. Returns whether it holds.
    bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000);
    bool WaitForOutput(const std::string& text, int timeoutMs = 5000);
    // Waits for a received datagram at index `from` or later that satisfies
    // `match`; returns its index, or -1 after the deadline.
    long WaitForDatagram(const std::function<bool(const sim::Bytes&)>& match, size_t from = 0,
                         int timeoutMs = 5000);
    // Waits for the handshake of the first attempt to end with its MST.
    // Fatal when it does not.
    void WaitConnected();
    // A barrier: sends a LAP with a fresh acknowledgement value and waits
    // for its ACK. Returns the ACK's index in the log. Since the program
    // handles datagrams in order, everything it sent in answer to earlier
    // datagrams lies before that index. Fatal when no ACK comes.
    size_t Probe();

    // The datagrams received in [from, to).
    std::vector<sim::Bytes> ReceivedBetween(size_t from, size_t to) const;
    size_t ReceivedCount() const { return sim.Received().size(); }
    // The program's output after its first `from` bytes.
    std::string OutputSince(size_t from) const;
    // The output that had been read when received datagram `index` was
    // taken in. The program prints before it sends, and the output is read
    // after each receive, so every line printed before that datagram was
    // sent is in it (later lines may be too).
    std::string OutputAtArrival(size_t index) const;

    // The ISI the program must send for `adminPassField` (16 bytes).
    sim::Bytes ExpectedIsi(const std::string& adminPassField) const;

    sim::Peer sim;
    Program program;
    std::string dir;        // the temporary directory, canonical
    unsigned short srcPort = 0;

private:
    uint16_t nextProbe_ = 0xA001;
    std::vector<size_t> outputAtArrival_;  // by received index
};

// Matchers for WaitForDatagram.
std::function<bool(const sim::Bytes&)> SmallPacket(const char* id, int32_t value);
std::function<bool(const sim::Bytes&)> WithId(const char* id);

// Counts non-overlapping occurrences of `what` in `text`.
size_t Count(const std::string& text, const std::string& what);

}  // namespace e2e
