// The player table: model recognition, filing car records and requesting
// unknown players.
#include "spotter/player_table.h"

#include <gtest/gtest.h>

#include "link/dispatch.h"
#include "link/endpoint.h"
#include "support/test_support.h"

using support::Bytes;

namespace {

class PlayerTableTest : public testing::Test {
protected:
    void SetUp() override {
        support::FreshDefaults();
        Settings.prediction = 0;  // keep filed positions as received
        ASSERT_EQ(1, Init());
        CreatePlayerTable();
        StateSnapshot[15] = 1;  // raceActive
    }
    void TearDown() override { FreePlayerTable(); }

    std::string Player(const Bytes& npl) {
        testing::internal::CaptureStdout();
        HandlePlayer(npl.data());
        return testing::internal::GetCapturedStdout();
    }
};

TEST_F(PlayerTableTest, TableStartsZeroed) {
    for (int i = 0; i < kPlayerSlots; ++i) {
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&PlayerTable[i]);
        for (size_t b = 0; b < sizeof(PlayerSlot); ++b) ASSERT_EQ(0, bytes[b]);
    }
}

TEST_F(PlayerTableTest, CarModelRecognition) {
    struct Case {
        const char* car;
        int32_t model;  // -1: no match
    };
    const Case cases[] = {
        {"XF GTI", 1},      {"UNKNOWN", 0},     {"FZ50 GTR", 18}, {"FXO GTR", 16},
        {"xf gti", -1},     {"XF GTI ", -1},    {"", -1},         {"XF", -1},
        {"XF GTIX", -1},
    };
    for (const Case& c : cases) {
        PlayerTable[3].model = 4;
        const std::string out = Player(support::Npl(3, "Max", c.car));
        if (c.model < 0) {
            EXPECT_EQ("", out) << c.car;
            EXPECT_EQ(4, PlayerTable[3].model) << c.car;
        } else {
            EXPECT_EQ(std::string("Player 3: Max car:") + c.car + "\n", out);
            EXPECT_EQ(c.model, PlayerTable[3].model) << c.car;
        }
    }
}

TEST_F(PlayerTableTest, PlayerIndexOutsideTheTableIsIgnored) {
    EXPECT_EQ("Player 31: Zed car:RA\n", Player(support::Npl(31, "Zed", "RA")));
    EXPECT_EQ(10, PlayerTable[31].model);
    for (uint8_t index : {32, 100, 255}) EXPECT_EQ("", Player(support::Npl(index, "Zed", "RA")));
}

TEST_F(PlayerTableTest, NamesWithoutNulStayInsideThePacket) {
    // A 32-character name runs on into the car field, up to its NUL.
    const std::string name(32, 'N');
    EXPECT_EQ("Player 2: " + name + "LX4 car:LX4\n", Player(support::Npl(2, name, "LX4")));

    // No NUL anywhere after the name: nothing matches and nothing is read
    // beyond the packet.
    Bytes npl = support::Npl(2, name, std::string(36, 'C'));
    for (int i = 97; i < 100; ++i) npl[i] = 'D';
    Bytes exact(npl.begin(), npl.end());
    EXPECT_EQ("", Player(exact));
}

TEST_F(PlayerTableTest, CarRecordsAreFiledFieldByField) {
    support::Car car{-70000, 123456789, 32768, 16384, 65535, -2501};
    Bytes mci = support::Mci(1, 0, {car});
    mci[12] = 0xA1;
    mci[27] = 0xB4;
    HandleCarInfo(mci.data());
    const CarInfo& got = PlayerTable[0].car;
    EXPECT_EQ(-70000, got.x);
    EXPECT_EQ(123456789, got.y);
    EXPECT_EQ(32768, got.speed);
    EXPECT_EQ(16384, got.direction);
    EXPECT_EQ(65535, got.heading);
    EXPECT_EQ(-2501, got.angVel);
    EXPECT_EQ(0xA1, got.opaqueHead[0]);
    EXPECT_EQ(0xB4, got.opaqueMid[3]);
}

// Which slots a packet fills, by total and first index.
TEST_F(PlayerTableTest, FilingBySetPosition) {
    struct Case {
        uint8_t total;
        uint8_t first;
        int firstFilled;
        int filled;  // slots from firstFilled
    };
    const Case cases[] = {
        {3, 0, 0, 3},  {12, 0, 0, 8},  {12, 8, 8, 4},  {0, 0, 0, 0},
        {3, 5, 0, 0},  {40, 24, 24, 8}, {36, 30, 30, 2}, {255, 250, 0, 0},
    };
    for (const Case& c : cases) {
        for (int i = 0; i < kPlayerSlots; ++i) PlayerTable[i].car.x = 0;
        std::vector<support::Car> cars(8);
        for (int i = 0; i < 8; ++i) cars[i].x = 1000 + i;
        HandleCarInfo(support::Mci(c.total, c.first, cars).data());
        for (int slot = 0; slot < kPlayerSlots; ++slot) {
            const bool expected = slot >= c.firstFilled && slot < c.firstFilled + c.filled;
            EXPECT_EQ(expected ? 1000 + slot - c.firstFilled : 0, PlayerTable[slot].car.x)
                << "total " << int(c.total) << " first " << int(c.first) << " slot " << slot;
        }
    }
}

TEST_F(PlayerTableTest, StateGatesStopFiling) {
    struct Case {
        uint8_t raceActive;
        uint16_t flags;
        uint8_t ovalOnly;
        int32_t trackMode;
        bool files;
    };
    const Case cases[] = {
        {1, 0, 0, 2, true},      {0, 0, 0, 2, false},    {1, 0x0004, 0, 2, false},
        {1, 0x1000, 0, 2, false}, {1, 0x0FFB, 0, 2, true}, {1, 0, 1, 2, false},
        {1, 0, 1, 0, true},      {1, 0, 1, 1, true},
    };
    for (const Case& c : cases) {
        PlayerTable[0].car.x = 0;
        StateSnapshot[15] = c.raceActive;
        PutU16(StateSnapshot + 8, c.flags);
        Settings.ovalOnly = c.ovalOnly;
        TrackMode = c.trackMode;
        support::Car car;
        car.x = 77;
        HandleCarInfo(support::Mci(1, 0, {car}).data());
        EXPECT_EQ(c.files ? 77 : 0, PlayerTable[0].car.x)
            << "raceActive " << int(c.raceActive) << " flags " << c.flags << " ovalOnly " << int(c.ovalOnly)
            << " track " << c.trackMode;
    }
}

TEST_F(PlayerTableTest, RequestPlayersAsksForUnknownSlotsBelowPlayerCount) {
    struct Case {
        uint8_t playerCount;
        std::vector<int> known;
        std::vector<int32_t> requested;
    };
    std::vector<int32_t> all(32);
    for (int i = 0; i < 32; ++i) all[i] = i;
    const Case cases[] = {
        {0, {}, {}},
        {3, {1}, {0, 2}},
        {2, {0, 1}, {}},
        {200, {}, all},
    };
    for (const Case& c : cases) {
        for (int i = 0; i < kPlayerSlots; ++i) PlayerTable[i].model = 0;
        for (int i : c.known) PlayerTable[i].model = 5;
        StateSnapshot[12] = c.playerCount;
        fake::Sent().clear();
        RequestPlayers();
        std::vector<int32_t> got;
        for (const fake::Datagram& d : fake::Sent()) {
            ASSERT_EQ(0, memcmp(d.bytes.data(), "NPL\0", 4));
            got.push_back(GetS32(d.bytes.data() + 4));
        }
        EXPECT_EQ(c.requested, got) << "playerCount " << int(c.playerCount);
    }
}

}  // namespace
