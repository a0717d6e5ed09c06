// The endpoint's start-up, its packet layouts and PollLink's draining.
#include "link/endpoint.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

using support::Bytes;

namespace {

class EndpointTest : public testing::Test {
protected:
    void SetUp() override { support::FreshDefaults(); }
};

TEST_F(EndpointTest, InitBindsSrcPortAndSendsToAddressAndDestPort) {
    Settings.srcPort = 30000;
    Settings.destPort = 29998;
    ASSERT_EQ(1, Init());
    EXPECT_EQ(30000, fake::BoundPort());
    SendSmallPacket("SST", 0);
    ASSERT_EQ(1u, fake::Sent().size());
    EXPECT_EQ("127.0.0.1", fake::Sent()[0].address);
    EXPECT_EQ(29998, fake::Sent()[0].port);
}

TEST_F(EndpointTest, FailedStartIsSilentAndLeavesTheLinkDead) {
    struct Case {
        bool netFails;
        bool openFails;
    };
    for (Case c : {Case{true, false}, Case{false, true}}) {
        support::FreshDefaults();
        fake::FailNetStart(c.netFails);
        fake::FailUdpOpen(c.openFails);
        testing::internal::CaptureStdout();
        EXPECT_EQ(0, Init());
        EXPECT_EQ("", testing::internal::GetCapturedStdout());
        EXPECT_TRUE(fake::NetStopped());
        fake::QueueDatagram(support::Small("ACK", 0));
        PollLink();
        EXPECT_EQ(1u, fake::QueuedCount()) << "a dead link never receives";
        SendSmallPacket("SST", 0);
        EXPECT_TRUE(fake::Sent().empty());
    }
}

TEST_F(EndpointTest, InitPacketLayout) {
    struct Case {
        uint16_t srcPort;
        const char* pass;
        const char* field;  // bytes 8..23 as sent, up to the NUL
    };
    const Case cases[] = {
        {30000, "", ""},
        {1, "abc", "abc"},
        {65535, "123456789012345", "123456789012345"},
        // Too long for the field: cut to 15 so the NUL still fits.
        {30000, "12345678901234567890", "123456789012345"},
    };
    for (const Case& c : cases) {
        Settings.srcPort = c.srcPort;
        snprintf(Settings.adminPass, sizeof Settings.adminPass, "%s", c.pass);
        uint8_t isi[kInitPacketSize];
        memset(isi, 0xAA, sizeof isi);
        BuildInitPacket(isi);
        EXPECT_EQ(0, memcmp(isi, "ISI\0", 4));
        EXPECT_EQ(c.srcPort & 0xFF, isi[4]);
        EXPECT_EQ(c.srcPort >> 8, isi[5]);
        EXPECT_EQ(0x31, isi[6]);
        EXPECT_EQ(1, isi[7]);
        const size_t n = strlen(c.field);
        EXPECT_EQ(0, memcmp(isi + 8, c.field, n)) << c.pass;
        for (size_t i = 8 + n; i < 24; ++i) EXPECT_EQ(0, isi[i]) << "byte " << i << " for " << c.pass;
    }
}

TEST_F(EndpointTest, SrcPort30000IsLittleEndian) {
    Settings.srcPort = 30000;
    uint8_t isi[kInitPacketSize];
    BuildInitPacket(isi);
    EXPECT_EQ(0x30, isi[4]);
    EXPECT_EQ(0x75, isi[5]);
}

TEST_F(EndpointTest, SmallPacketBytes) {
    ASSERT_EQ(1, Init());
    SendSmallPacket("NPL", 5);
    SendSmallPacket("ACK", 513);
    SendSmallPacket("NPL", -2);
    ASSERT_EQ(3u, fake::Sent().size());
    EXPECT_EQ((Bytes{0x4E, 0x50, 0x4C, 0x00, 0x05, 0x00, 0x00, 0x00}), fake::Sent()[0].bytes);
    EXPECT_EQ((Bytes{0x41, 0x43, 0x4B, 0x00, 0x01, 0x02, 0x00, 0x00}), fake::Sent()[1].bytes);
    EXPECT_EQ((Bytes{0x4E, 0x50, 0x4C, 0x00, 0xFE, 0xFF, 0xFF, 0xFF}), fake::Sent()[2].bytes);
}

TEST_F(EndpointTest, AnnouncementLayout) {
    uint8_t mst[kAnnouncePacketSize];
    memset(mst, 0xAA, sizeof mst);
    BuildAnnouncePacket(mst);
    EXPECT_EQ(0, memcmp(mst, "MST\0", 4));
    EXPECT_EQ(0, memcmp(mst + 4, "Flankguard v1.1b by Ralvino active", 34));
    for (int i = 38; i < kAnnouncePacketSize; ++i) EXPECT_EQ(0, mst[i]) << "byte " << i;
}

TEST_F(EndpointTest, PollLinkHandlesEveryWaitingDatagramOnce) {
    ASSERT_EQ(1, Init());
    int receives = 0;
    fake::OnReceive([&] { ++receives; });
    PollLink();
    EXPECT_EQ(0, receives) << "nothing waiting: no receive";

    for (int i = 0; i < 3; ++i) fake::QueueDatagram(support::Small("ACK", i));
    PollLink();
    EXPECT_EQ(3, receives);
    EXPECT_EQ(0u, fake::QueuedCount());
    EXPECT_EQ(3u, fake::Sent().size());
}

TEST_F(EndpointTest, PollLinkAlsoTakesDatagramsArrivingWhileItRuns) {
    ASSERT_EQ(1, Init());
    int receives = 0;
    fake::OnReceive([&] {
        if (++receives == 1) fake::QueueDatagram(support::Small("ACK", 9));
    });
    fake::QueueDatagram(support::Small("ACK", 1));
    PollLink();
    EXPECT_EQ(2, receives);
}

}  // namespace
