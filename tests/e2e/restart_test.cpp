// Race restarts: acknowledgement, player requests, and the reconnect when
// autoReconnectOnRestart is on (without a second announcement).
#include "fixture.h"

namespace e2e {
namespace {

class Restart : public E2eTest {
protected:
    // Three players of which only slot 1 answers with a known car, so every
    // request round asks for slots 0 and 2.
    void Connect(const std::string& mainLines) {
        sim.config.state.playerCount = 3;
        sim.config.players = {{1, "Bob", "XF GTI"}};
        ASSERT_NO_FATAL_FAILURE(StartProgram(mainLines));
        ASSERT_NO_FATAL_FAILURE(WaitConnected());
        ASSERT_TRUE(WaitForOutput("Player 1: Bob car:XF GTI\n"));
        from = Probe() + 1;
        printed = program.Stdout().size();
    }

    void ExpectReceived(const std::vector<sim::Bytes>& want, size_t to) {
        const std::vector<sim::Bytes> got = ReceivedBetween(from, to);
        ASSERT_EQ(want.size(), got.size());
        for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(sim::Hex(want[i]), sim::Hex(got[i])) << "datagram " << i;
    }

    size_t from = 0;
    size_t printed = 0;
};

TEST_F(Restart, WithAutoReconnectClosesAndReconnectsWithoutSecondAnnouncement) {
    ASSERT_NO_FATAL_FAILURE(Connect(""));
    ASSERT_TRUE(sim.SendRst(0x0203));
    ASSERT_TRUE(WaitUntil([&] { return Count(program.Stdout(), "Connected\n") == 2; }))
        << "no second handshake";
    ASSERT_GE(WaitForDatagram(SmallPacket("NPL", 2), WaitForDatagram(SmallPacket("NLI", 100), from)), 0);
    const size_t probe = Probe();

    ExpectReceived({sim::BuildAck(0x0203), sim::BuildSmall("NPL", 0), sim::BuildSmall("NPL", 2),
                    sim::BuildSmall("ISC", 100), ExpectedIsi(std::string(16, '\0')), sim::BuildSmall("SST", 0),
                    sim::BuildSmall("NLI", 100), sim::BuildSmall("NPL", 0), sim::BuildSmall("NPL", 2)},
                   probe);
    // In order with the console: the requests after both restart lines,
    // the new ISI after the new attempt line, the new NLI after the second
    // "Connected".
    EXPECT_NE(std::string::npos,
              OutputAtArrival(from + 1).find("Race restarted, reconnecting...\nRST: Requesting player data...\n", printed));
    EXPECT_NE(std::string::npos, OutputAtArrival(from + 4).find(AttemptLine(sim.Port()), printed));
    EXPECT_EQ(2u, Count(OutputAtArrival(from + 6), "Connected\n"));

    EXPECT_EQ("Race restarted, reconnecting...\n"
              "RST: Requesting player data...\n" +
                  AttemptLine(sim.Port()) +
                  "Connected\n"
                  "STA: Requesting player data...\n",
              OutputSince(printed));
}

TEST_F(Restart, WithoutAutoReconnectOnlyRequestsPlayers) {
    ASSERT_NO_FATAL_FAILURE(Connect("autoReconnectOnRestart=0\n"));
    ASSERT_TRUE(sim.SendRst(0x0405));
    const size_t probe = Probe();
    ExpectReceived({sim::BuildAck(0x0405), sim::BuildSmall("NPL", 0), sim::BuildSmall("NPL", 2)}, probe);
    EXPECT_EQ("RST: Requesting player data...\n", OutputSince(printed));
    EXPECT_NE(std::string::npos, OutputAtArrival(from + 1).find("RST: Requesting player data...\n", printed));

    // Still the same attempt: the restart closed nothing. (A close would
    // follow at the end of the poll cycle, so give it a few cycles.)
    EXPECT_EQ(-1, WaitForDatagram([](const sim::Bytes& b) { return sim::HasId(b, "ISC") || sim::HasId(b, "ISI"); },
                                  from, 300));
}

TEST_F(Restart, RequestsStopAtThirtyTwoSlots) {
    ASSERT_NO_FATAL_FAILURE(Connect("autoReconnectOnRestart=0\n"));
    sim.config.state.playerCount = 255;
    ASSERT_TRUE(sim.SendSta());
    ASSERT_TRUE(sim.SendRst(7));
    const size_t probe = Probe();
    std::vector<sim::Bytes> want = {sim::BuildAck(7)};
    for (int i = 0; i < 32; ++i) {
        if (i != 1) want.push_back(sim::BuildSmall("NPL", i));
    }
    ExpectReceived(want, probe);
}

}  // namespace
}  // namespace e2e
