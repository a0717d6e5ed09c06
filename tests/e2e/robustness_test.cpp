// Hostile and odd input: random datagrams, car positions with any first and
// total, states with any player count and own index, player packets with
// any index and unterminated names. The program must stay alive and keep
// answering.
#include <random>

#include "fixture.h"

namespace e2e {
namespace {

const unsigned kSeed = 20261211;

// Values at and around the boundaries of 8-record packets and 32 slots.
const uint8_t kEdges[] = {0, 1, 2, 7, 8, 9, 15, 16, 17, 24, 31, 32, 33, 64, 127, 128, 200, 254, 255};

const char* const kTracks[] = {"KY1", "KY1R", "BL1", "KY1X", "KY1RX"};

class Robustness : public E2eTest {
protected:
    void Connect() {
        sim.config.state.raceActive = 1;
        sim.config.state.playerCount = 2;
        ASSERT_NO_FATAL_FAILURE(StartProgram());
        ASSERT_NO_FATAL_FAILURE(WaitConnected());
    }

    // Sends, and every few datagrams waits for a probe's ACK: keeps the
    // program's receive queue short and shows it alive throughout.
    void Feed(const sim::Bytes& b) {
        ASSERT_TRUE(sim.Send(b));
        if (++sinceProbe_ >= 50) Settle();
    }

    void Settle() {
        sinceProbe_ = 0;
        Probe();
        ASSERT_FALSE(HasFailure()) << "program stopped answering after " << sim.Sent().size() << " sent";
        ASSERT_TRUE(program.Alive());
    }

    void ExpectStillAnswering() {
        ASSERT_NO_FATAL_FAILURE(Settle());
        ASSERT_TRUE(program.Alive()) << "exit status " << program.ExitStatus();
        const size_t from = ReceivedCount();
        ASSERT_TRUE(sim.SendAcked("LAP", 0x1234));
        EXPECT_GE(WaitForDatagram(SmallPacket("ACK", 0x1234), from), 0);
    }

    sim::Bytes RandomBytes(size_t n) {
        sim::Bytes b(n);
        for (uint8_t& x : b) x = static_cast<uint8_t>(rng());
        return b;
    }

    std::vector<sim::CarRecord> RandomCars() {
        std::vector<sim::CarRecord> cars(sim::kMciRecords);
        for (sim::CarRecord& c : cars) {
            c.x = static_cast<int32_t>(rng());
            c.y = static_cast<int32_t>(rng());
            c.speed = static_cast<uint16_t>(rng());
            c.direction = static_cast<uint16_t>(rng());
            c.heading = static_cast<uint16_t>(rng());
            c.angVel = static_cast<int16_t>(rng());
        }
        return cars;
    }

    // A state that lets car positions through (race on, no blocking flags)
    // most of the time.
    sim::StaFields State(uint8_t ownIndex, uint8_t playerCount) {
        sim::StaFields s;
        s.ownIndex = ownIndex;
        s.playerCount = playerCount;
        s.raceActive = rng() % 8 ? 1 : 0;
        const uint16_t flags[] = {0, 0, 0, 0x0004, 0x1000, 0xFFFF};
        s.flags = flags[rng() % 6];
        s.track = kTracks[rng() % 5];
        return s;
    }

    std::mt19937 rng{kSeed};

private:
    int sinceProbe_ = 0;
};

TEST_F(Robustness, RandomDatagramsOfAnyLength) {
    SCOPED_TRACE("seed " + std::to_string(kSeed));
    ASSERT_NO_FATAL_FAILURE(Connect());
    const char* const ids[] = {"LAP", "NCN", "CNL", "PLP", "PLL", "CPR", "REN", "CLR",
                               "SPX", "RES", "REO", "RST", "ACK", "NPL", "MCI", "STA"};
    const size_t lengths[] = {60, 60, 56, 56, 56, 88, 8, 8, 12, 108, 36, 20, 8, 100, 204, 28};
    const size_t printed = program.Stdout().size();
    size_t invalid = 0;
    for (int i = 0; i < 1500; ++i) {
        sim::Bytes b = RandomBytes(rng() % 601);
        const unsigned kind = rng() % 3;
        if (kind > 0) {
            // A known identifier: with a random length, or with its own
            // length and a random body.
            const unsigned which = rng() % 16;
            if (kind == 2) b = RandomBytes(lengths[which]);
            for (size_t k = 0; k < 3 && k < b.size(); ++k) b[k] = static_cast<uint8_t>(ids[which][k]);
            if (b.size() > 3) b[3] = 0;
        }
        if (b.size() >= 4 && b[3] != 0) ++invalid;
        ASSERT_NO_FATAL_FAILURE(Feed(b));
    }
    ASSERT_NO_FATAL_FAILURE(ExpectStillAnswering());
    // Every malformed identifier was seen and reported, none lost.
    EXPECT_EQ(invalid, Count(OutputSince(printed), "...which was invalid :P\n"));
}

TEST_F(Robustness, CarPositionsAndStatesWithAnyIndices) {
    SCOPED_TRACE("seed " + std::to_string(kSeed));
    ASSERT_NO_FATAL_FAILURE(Connect());
    // Every first against every total at the edges, while positions count.
    for (uint8_t own : {uint8_t{0}, uint8_t{31}, uint8_t{32}, uint8_t{255}}) {
        sim::StaFields s = State(own, 255);
        s.raceActive = 1;
        s.flags = 0;
        ASSERT_NO_FATAL_FAILURE(Feed(sim::BuildSta(s)));
        for (uint8_t total : kEdges) {
            for (uint8_t first : kEdges) ASSERT_NO_FATAL_FAILURE(Feed(sim::BuildMci(total, first, RandomCars())));
        }
    }
    // Every own index and every player count, each followed by the first
    // and the completing packet of a set of that many cars, and by a packet
    // with any first.
    for (int v = 0; v < 256; ++v) {
        const uint8_t x = static_cast<uint8_t>(v);
        const uint8_t r = static_cast<uint8_t>(rng());
        for (const sim::StaFields& s : {State(x, r), State(r, x)}) {
            const uint8_t count = s.playerCount;
            const uint8_t last = static_cast<uint8_t>(count == 0 ? 0 : (count - 1) / 8 * 8);
            ASSERT_NO_FATAL_FAILURE(Feed(sim::BuildSta(s)));
            ASSERT_NO_FATAL_FAILURE(Feed(sim::BuildMci(count, 0, RandomCars())));
            ASSERT_NO_FATAL_FAILURE(Feed(sim::BuildMci(count, last, RandomCars())));
            ASSERT_NO_FATAL_FAILURE(Feed(sim::BuildMci(static_cast<uint8_t>(rng()), x, RandomCars())));
        }
    }
    // Records of raw random bytes, extremes included.
    for (int i = 0; i < 200; ++i) {
        sim::Bytes mci = sim::BuildMci(static_cast<uint8_t>(rng() % 40), static_cast<uint8_t>(rng() % 40), {});
        const sim::Bytes body = RandomBytes(sim::kMciSize - 12);
        std::copy(body.begin(), body.end(), mci.begin() + 12);
        ASSERT_NO_FATAL_FAILURE(Feed(mci));
    }
    ASSERT_NO_FATAL_FAILURE(ExpectStillAnswering());
}

TEST_F(Robustness, PlayerPacketsWithAnyIndexAndUnterminatedTexts) {
    SCOPED_TRACE("seed " + std::to_string(kSeed));
    ASSERT_NO_FATAL_FAILURE(Connect());
    const char* const cars[] = {"XF GTI", "FZ50 GTR", "UNKNOWN", "NOPE"};
    for (int index = 0; index < 256; ++index) {
        for (int round = 0; round < 2; ++round) {
            // Names and car names of non-NUL random bytes filling their
            // fields, or a known car after an unterminated name.
            sim::Bytes npl = sim::BuildNpl({static_cast<uint8_t>(index), "", ""});
            for (size_t i = 28; i < 96; ++i) npl[i] = static_cast<uint8_t>(1 + rng() % 255);
            if (round == 1) {
                const std::string car = cars[rng() % 4];
                std::fill(npl.begin() + 60, npl.begin() + 96, 0);
                std::copy(car.begin(), car.end(), npl.begin() + 60);
            }
            for (size_t i = 97; i < 100; ++i) npl[i] = static_cast<uint8_t>(rng());
            ASSERT_NO_FATAL_FAILURE(Feed(npl));
        }
    }
    ASSERT_NO_FATAL_FAILURE(ExpectStillAnswering());
    // Only slots below 32 can have been named.
    EXPECT_EQ(std::string::npos, program.Stdout().find("Player 32:"));
}

}  // namespace
}  // namespace e2e
