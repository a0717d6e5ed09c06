// The handshake after the first STA, the player requests and the player
// lines that their answers print.
#include <cstring>

#include "fixture.h"

namespace e2e {
namespace {

sim::Bytes ExpectedMst() {
    sim::Bytes mst = sim::BuildBlank("MST", sim::kMstSize);
    const char text[] = "Flankguard v1.1b by Ralvino active";
    memcpy(mst.data() + 4, text, sizeof text - 1);
    return mst;
}

TEST_F(E2eTest, FirstStateCompletesHandshakeInOrder) {
    sim.config.state.playerCount = 3;
    sim.config.players = {{0, "Alice", "XF GTI"}, {1, "Bob", "FZ50 GTR"}, {2, "Carol", "xf gti"}};
    ASSERT_NO_FATAL_FAILURE(StartProgram());
    ASSERT_NO_FATAL_FAILURE(WaitConnected());
    EXPECT_TRUE(WaitForOutput("Player 1: Bob car:FZ50 GTR\n"));
    const size_t probe = Probe();

    const std::vector<sim::Bytes> got = ReceivedBetween(0, probe);
    const std::vector<sim::Bytes> want = {
        ExpectedIsi(std::string(16, '\0')), sim::BuildSmall("SST", 0), sim::BuildSmall("NLI", 100),
        sim::BuildSmall("NPL", 0),          sim::BuildSmall("NPL", 1), sim::BuildSmall("NPL", 2),
        ExpectedMst(),
    };
    ASSERT_EQ(want.size(), got.size());
    for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(sim::Hex(want[i]), sim::Hex(got[i])) << "datagram " << i;

    // Each datagram went out after the lines that precede it.
    const std::string attempt = StartupText(dir) + AttemptLine(sim.Port());
    EXPECT_EQ(attempt, OutputAtArrival(0).substr(0, attempt.size()));
    EXPECT_NE(std::string::npos, OutputAtArrival(2).find(attempt + "Connected\n"));
    EXPECT_NE(std::string::npos, OutputAtArrival(3).find("Connected\nSTA: Requesting player data...\n"));

    // Carol's car matches no model in its lower-case spelling: no line.
    EXPECT_EQ(StartupText(dir) + AttemptLine(sim.Port()) +
                  "Connected\n"
                  "STA: Requesting player data...\n"
                  "Player 0: Alice car:XF GTI\n"
                  "Player 1: Bob car:FZ50 GTR\n",
              program.Stdout());
}

TEST_F(E2eTest, LaterStateWhileConnectedOnlyUpdatesTheSnapshot) {
    sim.config.state.playerCount = 1;
    ASSERT_NO_FATAL_FAILURE(StartProgram());
    ASSERT_NO_FATAL_FAILURE(WaitConnected());
    const size_t before = Probe() + 1;
    const size_t printed = program.Stdout().size();

    sim.config.state.playerCount = 4;
    ASSERT_TRUE(sim.SendSta());
    const size_t probe = Probe();
    EXPECT_TRUE(ReceivedBetween(before, probe).empty()) << "no NLI, no requests, no MST";
    EXPECT_EQ("", OutputSince(printed));
}

struct PlayerCase {
    const char* what;
    sim::Player player;
    std::string line;  // "" when nothing is printed
};

TEST_F(E2eTest, PlayerPacketsPrintRecognisedCarsOnly) {
    const std::string longName(32, 'N');  // fills the name field: no NUL
    const PlayerCase cases[] = {
        {"last slot", {31, "Max", "XF GTI"}, "Player 31: Max car:XF GTI\n"},
        {"index 32", {32, "Late", "XF GTI"}, ""},
        {"index 255", {255, "Far", "XF GTI"}, ""},
        {"lower case car", {3, "Low", "xf gti"}, ""},
        {"trailing blank", {4, "Blank", "XF GTI "}, ""},
        {"empty car", {5, "Empty", ""}, ""},
        {"UNKNOWN row", {6, "Unknown", "UNKNOWN"}, "Player 6: Unknown car:UNKNOWN\n"},
        {"last model row", {7, "Zed", "FZ50 GTR"}, "Player 7: Zed car:FZ50 GTR\n"},
        // The name runs on into the car field up to the next NUL.
        {"unterminated name", {8, longName, "RB4 GT"}, "Player 8: " + longName + "RB4 GT car:RB4 GT\n"},
        {"unterminated car", {9, "Full", std::string(36, 'Z')}, ""},
    };
    ASSERT_NO_FATAL_FAILURE(StartProgram());
    ASSERT_NO_FATAL_FAILURE(WaitConnected());
    for (const PlayerCase& c : cases) {
        SCOPED_TRACE(c.what);
        const size_t printed = program.Stdout().size();
        const size_t before = ReceivedCount();
        ASSERT_TRUE(sim.SendNpl(c.player));
        const size_t probe = Probe();
        EXPECT_EQ(c.line, OutputSince(printed));
        EXPECT_TRUE(ReceivedBetween(before, probe).empty()) << "an NPL is not acknowledged";
    }
}

}  // namespace
}  // namespace e2e
