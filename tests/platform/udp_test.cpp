// The POSIX UDP endpoint on the loopback: binding, readiness, cutting long
// datagrams, refusing what is no IPv4 address.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "platform/platform.h"

namespace {

// The local port that socket `s` is bound to.
uint16_t PortOf(PlatSocket s) {
    sockaddr_in a = {};
    socklen_t len = sizeof a;
    EXPECT_EQ(0, getsockname(static_cast<int>(s), reinterpret_cast<sockaddr*>(&a), &len));
    return ntohs(a.sin_port);
}

// True once a datagram is waiting on `s`, polling for at most a second: the
// loopback delivers at once, this only spares a slow machine.
bool WaitsSoon(PlatSocket s) {
    for (int i = 0; i < 1000; ++i) {
        if (PlatUdpWaiting(s)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

class UdpTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(PlatNetStart());
        receiver = PlatUdpOpen(0);
        sender = PlatUdpOpen(0);
        ASSERT_NE(kPlatNoSocket, receiver);
        ASSERT_NE(kPlatNoSocket, sender);
        port = PortOf(receiver);
    }

    void TearDown() override {
        close(static_cast<int>(receiver));
        close(static_cast<int>(sender));
    }

    bool Send(const std::vector<uint8_t>& bytes) {
        return PlatUdpSend(sender, "127.0.0.1", port, bytes.data(), bytes.size());
    }

    PlatSocket receiver = kPlatNoSocket;
    PlatSocket sender = kPlatNoSocket;
    uint16_t port = 0;
};

TEST_F(UdpTest, PortInUseGivesNoSocketAndLeavesNoDescriptor) {
    // The descriptor the failed open took must be free again: the next one
    // created gets the same number.
    const int before = dup(0);
    close(before);
    EXPECT_EQ(kPlatNoSocket, PlatUdpOpen(port));
    const int after = dup(0);
    close(after);
    EXPECT_EQ(before, after);
}

TEST_F(UdpTest, WaitingTellsWhetherADatagramWaitsAndNeverBlocks) {
    EXPECT_FALSE(PlatUdpWaiting(receiver));
    uint8_t buf[16];
    // Nothing waiting: the receive fails at once instead of blocking.
    EXPECT_EQ(-1, PlatUdpReceive(receiver, buf, sizeof buf));

    ASSERT_TRUE(Send({1, 2, 3}));
    ASSERT_TRUE(WaitsSoon(receiver));
    EXPECT_TRUE(PlatUdpWaiting(receiver));  // asking does not consume it
    ASSERT_EQ(3, PlatUdpReceive(receiver, buf, sizeof buf));
    EXPECT_EQ(1, buf[0]);
    EXPECT_EQ(3, buf[2]);
    EXPECT_FALSE(PlatUdpWaiting(receiver));
}

TEST_F(UdpTest, LongDatagramIsCutToTheBufferAndItsRestIsLost) {
    std::vector<uint8_t> big(600);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
    ASSERT_TRUE(Send(big));
    ASSERT_TRUE(Send({42}));
    ASSERT_TRUE(WaitsSoon(receiver));

    uint8_t buf[512 + 8];
    memset(buf, 0xee, sizeof buf);
    ASSERT_EQ(512, PlatUdpReceive(receiver, buf, 512));
    EXPECT_EQ(0, memcmp(big.data(), buf, 512));
    EXPECT_EQ(0xee, buf[512]);  // nothing written past the buffer

    // The next receive gets the next datagram, not the cut-off tail.
    ASSERT_TRUE(WaitsSoon(receiver));
    ASSERT_EQ(1, PlatUdpReceive(receiver, buf, 512));
    EXPECT_EQ(42, buf[0]);
}

TEST_F(UdpTest, EmptyDatagramIsReceivedAsZeroBytes) {
    ASSERT_TRUE(Send({}));
    ASSERT_TRUE(WaitsSoon(receiver));
    uint8_t buf[8];
    EXPECT_EQ(0, PlatUdpReceive(receiver, buf, sizeof buf));
    EXPECT_FALSE(PlatUdpWaiting(receiver));
}

TEST_F(UdpTest, SendToWhatIsNoIpv4AddressFails) {
    const uint8_t byte = 1;
    for (const char* address : {"", "localhost", "::1", "127.0.0.1.5", "256.0.0.1", "127.0.0.1:29999",
                                "x127.0.0.1", "not an address"}) {
        SCOPED_TRACE(address);
        EXPECT_FALSE(PlatUdpSend(sender, address, port, &byte, 1));
    }
    EXPECT_FALSE(PlatUdpSend(sender, nullptr, port, &byte, 1));
    EXPECT_FALSE(PlatUdpWaiting(receiver));
    // The socket still works afterwards, also for the short forms of an
    // IPv4 text that the classic address parsers take.
    ASSERT_TRUE(PlatUdpSend(sender, "127.1", port, &byte, 1));
    EXPECT_TRUE(WaitsSoon(receiver));
}

TEST_F(UdpTest, DeadSocketFailsQuietly) {
    const uint8_t byte = 1;
    uint8_t buf[4];
    EXPECT_FALSE(PlatUdpSend(kPlatNoSocket, "127.0.0.1", port, &byte, 1));
    EXPECT_FALSE(PlatUdpWaiting(kPlatNoSocket));
    EXPECT_EQ(-1, PlatUdpReceive(kPlatNoSocket, buf, sizeof buf));
}

}  // namespace

namespace {

// Datagrams wait in the socket while a call-out plays: the endpoint asks
// for a large receive buffer and gets what the system allows.
TEST_F(UdpTest, ReceiveBufferHoldsSecondsOfTraffic) {
    int allowed = kPlatReceiveBuffer;
    if (FILE* f = fopen("/proc/sys/net/core/rmem_max", "r")) {
        if (fscanf(f, "%d", &allowed) != 1) allowed = kPlatReceiveBuffer;
        fclose(f);
    }
    int size = 0;
    socklen_t len = sizeof size;
    ASSERT_EQ(0, getsockopt(static_cast<int>(receiver), SOL_SOCKET, SO_RCVBUF, &size, &len));
    EXPECT_GE(size, std::min(kPlatReceiveBuffer, allowed));
}

}  // namespace
