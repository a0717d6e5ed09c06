// Start-up: the console lines before the first attempt, and the ISI and SST
// of the first attempt, byte for byte.
#include "fixture.h"

namespace e2e {
namespace {

TEST_F(E2eTest, StartupPrintsBannerSoundWarningsConfigThenAttemptLine) {
    sim.config.answerState = false;
    ASSERT_NO_FATAL_FAILURE(StartProgram());
    const std::string expected = StartupText(dir) + AttemptLine(sim.Port());
    EXPECT_TRUE(WaitUntil([&] { return program.Stdout().size() >= expected.size() && ReceivedCount() >= 2; }));
    // Nothing else may come before the connect time-out.
    EXPECT_EQ(expected, program.Stdout());
    // Output into a pipe carries no terminal title sequence.
    EXPECT_EQ(std::string::npos, program.Stdout().find("\033]"));
    EXPECT_EQ("", program.Stderr());
    EXPECT_TRUE(program.Alive());
}

struct PasswordCase {
    const char* name;
    const char* configLine;
    std::string field;  // the 16 bytes 8..23 of the ISI
};

void PrintTo(const PasswordCase& c, std::ostream* os) {
    *os << c.name;
}

class InitPacket : public E2eTest, public testing::WithParamInterface<PasswordCase> {};

TEST_P(InitPacket, CarriesSourcePortFixedBytesAndPassword) {
    sim.config.answerState = false;
    ASSERT_NO_FATAL_FAILURE(StartProgram(GetParam().configLine));
    ASSERT_TRUE(WaitUntil([&] { return ReceivedCount() >= 2; }));
    const sim::Datagram& isi = sim.Received()[0];
    EXPECT_EQ(sim::Hex(ExpectedIsi(GetParam().field)), sim::Hex(isi.bytes));
    // It comes from the port it names, where the program receives.
    EXPECT_EQ(srcPort, isi.fromPort);
    EXPECT_EQ("53 53 54 00 00 00 00 00", sim::Hex(sim.Received()[1].bytes));
}

INSTANTIATE_TEST_SUITE_P(
    E2e, InitPacket,
    testing::Values(PasswordCase{"NoKey", "", std::string(16, '\0')},
                    PasswordCase{"Empty", "adminPass=\n", std::string(16, '\0')},
                    PasswordCase{"Short", "adminPass=s3cret\n", std::string("s3cret") + std::string(10, '\0')},
                    PasswordCase{"Fifteen", "adminPass=abcdefghijklmno\n", std::string("abcdefghijklmno") + '\0'},
                    // Too long for the field: cut to 15 characters, byte 23 stays NUL.
                    PasswordCase{"Twenty", "adminPass=abcdefghijklmnopqrst\n",
                                 std::string("abcdefghijklmno") + '\0'}),
    [](const testing::TestParamInfo<PasswordCase>& info) { return std::string(info.param.name); });

TEST_F(E2eTest, ConnectTimeoutStartsNewAttemptWithoutClosePacket) {
    sim.config.answerState = false;
    ASSERT_NO_FATAL_FAILURE(StartProgram());
    const long second = WaitForDatagram(WithId("ISI"), 1, 6000);
    ASSERT_GE(second, 0) << "no second attempt";
    ASSERT_TRUE(WaitUntil([&] { return ReceivedCount() >= 4; }));

    const std::vector<sim::Bytes> got = ReceivedBetween(0, ReceivedCount());
    ASSERT_EQ(4u, got.size()) << "only ISI and SST twice, no ISC between";
    const sim::Bytes isi = ExpectedIsi(std::string(16, '\0'));
    EXPECT_EQ(sim::Hex(isi), sim::Hex(got[0]));
    EXPECT_TRUE(sim::IsSmall(got[1], "SST"));
    EXPECT_EQ(sim::Hex(isi), sim::Hex(got[2]));
    EXPECT_TRUE(sim::IsSmall(got[3], "SST"));

    // A little over 3000 ms from one attempt to the next.
    const auto gap = std::chrono::duration_cast<std::chrono::milliseconds>(sim.Received()[2].at -
                                                                           sim.Received()[0].at);
    EXPECT_GE(gap.count(), 2990);
    EXPECT_LE(gap.count(), 4500);

    EXPECT_NE(std::string::npos, OutputAtArrival(2).find("Connect timeout.\n" + AttemptLine(sim.Port())));

    const std::string attempts = StartupText(dir) + AttemptLine(sim.Port()) + "Connect timeout.\n" +
                                 AttemptLine(sim.Port());
    EXPECT_TRUE(WaitUntil([&] { return program.Stdout().size() >= attempts.size(); }, 1000));
    EXPECT_EQ(attempts, program.Stdout());

    // A late answer to the second attempt still completes it.
    ASSERT_TRUE(sim.SendSta());
    EXPECT_TRUE(WaitForOutput(AttemptLine(sim.Port()) + "Connected\n"));
    EXPECT_GE(WaitForDatagram(WithId("MST"), 4), 0);
}

}  // namespace
}  // namespace e2e
