// HandlePacket: validation, time stamps, acknowledgements, the handshake,
// race restarts and the track class.
#include "link/dispatch.h"

#include <gtest/gtest.h>

#include <random>

#include "app/connect_loop.h"
#include "link/endpoint.h"
#include "spotter/player_table.h"
#include "support/test_support.h"

using support::Bytes;
using support::SentIds;

namespace {

class DispatchTest : public testing::Test {
protected:
    void SetUp() override {
        support::FreshDefaults();
        ASSERT_EQ(1, Init());
        CreatePlayerTable();
        fake::SetTick(5000);
        lastPacketTime = 1;
    }
    void TearDown() override { FreePlayerTable(); }

    // Hands one datagram to the dispatcher; returns what it printed.
    std::string Deliver(const Bytes& bytes) {
        fake::QueueDatagram(bytes);
        testing::internal::CaptureStdout();
        PollLink();
        return testing::internal::GetCapturedStdout();
    }
};

TEST_F(DispatchTest, AcknowledgedPacketsOfTheRightLengthAreAnswered) {
    struct Case {
        const char* id;
        size_t length;
    };
    const Case cases[] = {{"LAP", 60}, {"NCN", 60}, {"CNL", 56}, {"PLP", 56}, {"PLL", 56}, {"CPR", 88},
                          {"REN", 8},  {"CLR", 8},  {"SPX", 12}, {"RES", 108}, {"REO", 36}, {"RST", 20}};
    Settings.autoReconnectOnRestart = 0;
    uint16_t value = 500;
    for (const Case& c : cases) {
        for (size_t length : {c.length - 1, c.length, c.length + 1}) {
            fake::Sent().clear();
            lastPacketTime = 1;
            Deliver(support::Acked(c.id, length, ++value));
            EXPECT_EQ(5000u, lastPacketTime) << c.id << " is stamped whatever its length";
            if (length != c.length) {
                EXPECT_TRUE(fake::Sent().empty()) << c.id << " of " << length << " bytes";
                continue;
            }
            ASSERT_FALSE(fake::Sent().empty()) << c.id;
            Bytes ack = support::Small("ACK", value);
            EXPECT_EQ(ack, fake::Sent()[0].bytes) << c.id << ": the acknowledgement goes first";
        }
    }
}

TEST_F(DispatchTest, LapExampleBytes) {
    Bytes lap = support::Packet("LAP", 60);
    lap[58] = 0x05;
    lap[59] = 0x02;
    Deliver(lap);
    ASSERT_EQ(1u, fake::Sent().size());
    EXPECT_EQ((Bytes{0x41, 0x43, 0x4B, 0x00, 0x05, 0x02, 0x00, 0x00}), fake::Sent()[0].bytes);
}

TEST_F(DispatchTest, AckOfAnyLengthIsAnsweredWithZero) {
    for (size_t length : {4u, 8u, 9u, 512u, 700u}) {
        fake::Sent().clear();
        Bytes ack = support::Small("ACK", 77);
        ack.resize(length, 0xEE);
        Deliver(ack);
        ASSERT_EQ(1u, fake::Sent().size()) << length;
        EXPECT_EQ(support::Small("ACK", 0), fake::Sent()[0].bytes);
    }
}

TEST_F(DispatchTest, MalformedIdentifierIsReportedAndOtherwiseIgnored) {
    Bytes bad = support::Acked("LAP", 60, 3);
    bad[3] = 'X';
    EXPECT_EQ("...which was invalid :P\n", Deliver(bad));
    EXPECT_EQ(1u, lastPacketTime);
    EXPECT_TRUE(fake::Sent().empty());
}

TEST_F(DispatchTest, ReceivesWithoutAnIdentifierHaveNoEffect) {
    // A failed receive first leaves stale identifier bytes in the buffer.
    Deliver(support::Acked("LAP", 60, 3));
    fake::Sent().clear();
    lastPacketTime = 1;
    for (size_t length : {0u, 1u, 2u, 3u}) {
        EXPECT_EQ("", Deliver(Bytes(length, 'Z')));
    }
    fake::QueueReceiveError();
    EXPECT_EQ("", Deliver(Bytes{'L', 'A', 'P'}));
    EXPECT_EQ(1u, lastPacketTime);
    EXPECT_TRUE(fake::Sent().empty());
}

TEST_F(DispatchTest, UnknownIdentifierIsStampedAndIgnored) {
    EXPECT_EQ("", Deliver(support::Packet("XYZ", 60)));
    EXPECT_EQ(5000u, lastPacketTime);
    EXPECT_TRUE(fake::Sent().empty());
}

TEST_F(DispatchTest, TrackModeFromTheFiveTrackBytes) {
    struct Case {
        const char track[6];
        int32_t mode;
    };
    const Case cases[] = {
        {"KY1", 0}, {"KY1R", 1}, {"KY2", 2}, {"ky1", 2}, {"KY1X", 2},
        {"KY1RX", 2}, {"ky1r", 2}, {"BL1", 2}, {"", 2}, {"KY", 2},
    };
    ConnectState = Connected;
    for (const Case& c : cases) {
        support::StaFields f;
        f.track = c.track;
        Deliver(support::Sta(f));
        EXPECT_EQ(c.mode, TrackMode) << c.track;
    }
    // The bytes after the five compared ones do not count.
    Bytes sta = support::Sta({});
    memcpy(sta.data() + 20, "KY1R\0XYZ", 8);
    Deliver(sta);
    EXPECT_EQ(1, TrackMode);
}

TEST_F(DispatchTest, FirstStateWhileConnectingCompletesTheHandshakeInOrder) {
    ConnectState = Connecting;
    PlayerTable[1].model = 3;
    support::StaFields f;
    f.playerCount = 3;
    const std::string out = Deliver(support::Sta(f));
    EXPECT_EQ("Connected\nSTA: Requesting player data...\n", out);
    EXPECT_EQ(Connected, ConnectState);
    EXPECT_EQ((std::vector<std::string>{"NLI", "NPL", "NPL", "MST"}), SentIds());
    EXPECT_EQ(support::Small("NLI", 100), fake::Sent()[0].bytes);
    EXPECT_EQ(support::Small("NPL", 0), fake::Sent()[1].bytes);
    EXPECT_EQ(support::Small("NPL", 2), fake::Sent()[2].bytes);
    EXPECT_EQ(68u, fake::Sent()[3].bytes.size());
    EXPECT_TRUE(announced);
    EXPECT_EQ(0, memcmp(StateSnapshot, support::Sta(f).data(), 28));

    // Later states only refresh the snapshot and the track class.
    fake::Sent().clear();
    f.track = "KY1";
    f.playerCount = 9;
    EXPECT_EQ("", Deliver(support::Sta(f)));
    EXPECT_TRUE(fake::Sent().empty());
    EXPECT_EQ(9, SnapshotPlayerCount());
    EXPECT_EQ(0, TrackMode);
}

TEST_F(DispatchTest, HandshakeAfterAReconnectSendsNoSecondAnnouncement) {
    announced = true;
    ConnectState = Connecting;
    EXPECT_EQ("Connected\nSTA: Requesting player data...\n", Deliver(support::Sta({})));
    EXPECT_EQ((std::vector<std::string>{"NLI"}), SentIds());
}

TEST_F(DispatchTest, StateInOtherConnectStatesOnlyUpdatesTheSnapshot) {
    for (ConnectStateValue state : {Idle, Connected, Reconnect, Quit}) {
        ConnectState = state;
        support::StaFields f;
        f.playerCount = 4;
        f.ownIndex = static_cast<uint8_t>(state);
        EXPECT_EQ("", Deliver(support::Sta(f)));
        EXPECT_EQ(state, ConnectState);
        EXPECT_EQ(f.ownIndex, SnapshotOwnIndex());
        EXPECT_TRUE(fake::Sent().empty());
    }
}

TEST_F(DispatchTest, StateOfTheWrongLengthChangesNothing) {
    ConnectState = Connecting;
    support::StaFields f;
    f.track = "KY1R";
    for (size_t length : {27u, 29u}) {
        Bytes sta = support::Sta(f);
        sta.resize(length);
        EXPECT_EQ("", Deliver(sta));
        EXPECT_EQ(Connecting, ConnectState);
        EXPECT_EQ(0, TrackMode);
        EXPECT_EQ(0, StateSnapshot[0]);
    }
}

TEST_F(DispatchTest, RaceRestart) {
    struct Case {
        uint8_t autoReconnect;
        ConnectStateValue before;
        ConnectStateValue after;
        const char* out;
    };
    const Case cases[] = {
        {0, Connected, Connected, "RST: Requesting player data...\n"},
        {1, Connected, Reconnect, "Race restarted, reconnecting...\nRST: Requesting player data...\n"},
        {1, Connecting, Reconnect, "Race restarted, reconnecting...\nRST: Requesting player data...\n"},
    };
    for (const Case& c : cases) {
        fake::Sent().clear();
        Settings.autoReconnectOnRestart = c.autoReconnect;
        ConnectState = c.before;
        StateSnapshot[12] = 2;  // playerCount
        EXPECT_EQ(c.out, Deliver(support::Acked("RST", 20, 42)));
        EXPECT_EQ(c.after, ConnectState);
        EXPECT_EQ((std::vector<std::string>{"ACK", "NPL", "NPL"}), SentIds());
        EXPECT_EQ(support::Small("ACK", 42), fake::Sent()[0].bytes);
    }
}

TEST_F(DispatchTest, PlayerAndCarPacketsNeedTheirExactLength) {
    EXPECT_EQ("Player 4: Ann car:LX6\n", Deliver(support::Npl(4, "Ann", "LX6")));
    EXPECT_EQ(7, PlayerTable[4].model);
    Bytes shortNpl = support::Npl(5, "Bob", "LX6");
    shortNpl.resize(99);
    EXPECT_EQ("", Deliver(shortNpl));
    EXPECT_EQ(0, PlayerTable[5].model);
    EXPECT_TRUE(fake::Sent().empty()) << "player packets are not acknowledged";

    StateSnapshot[15] = 1;  // raceActive
    support::Car car;
    car.x = 1234;
    Bytes mci = support::Mci(1, 0, {car});
    mci.resize(200);
    Deliver(mci);
    EXPECT_EQ(0, PlayerTable[0].car.x);
    mci = support::Mci(1, 0, {car});
    Deliver(mci);
    EXPECT_EQ(1234, PlayerTable[0].car.x);
}

// Whatever arrives, the dispatcher stays within its buffers and keeps
// answering; run under the sanitizers this finds any stray access.
TEST_F(DispatchTest, ArbitraryDatagramsAreSurvived) {
    std::mt19937 rng(12345);
    const char* ids[] = {"STA", "NPL", "MCI", "RST", "ACK", "LAP", "ZZZ"};
    ConnectState = Connecting;
    for (int i = 0; i < 3000; ++i) {
        Bytes d(rng() % 600);
        for (uint8_t& b : d) b = static_cast<uint8_t>(rng());
        if (d.size() >= 4 && rng() % 4 != 0) memcpy(d.data(), ids[rng() % 7], 4);
        if (rng() % 3 == 0) {
            const size_t lengths[] = {28, 100, 204, 20, 8, 60};
            d.resize(lengths[rng() % 6]);
        }
        fake::QueueDatagram(d);
    }
    testing::internal::CaptureStdout();
    PollLink();
    testing::internal::GetCapturedStdout();
    fake::Sent().clear();
    Deliver(support::Acked("LAP", 60, 99));
    ASSERT_EQ(1u, fake::Sent().size());
    EXPECT_EQ(support::Small("ACK", 99), fake::Sent()[0].bytes);
}

}  // namespace
