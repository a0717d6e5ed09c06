// Acknowledgements, length checks, ACK answers and malformed identifiers,
// as the program answers them on the wire.
#include "fixture.h"

namespace e2e {
namespace {

// An acknowledged packet with every byte between identifier and value set,
// so only the last two bytes can be read as the value.
sim::Bytes FilledAcked(const char* id, uint16_t ack, size_t length) {
    sim::Bytes b = sim::BuildAcked(id, ack, length);
    for (size_t i = 4; i + 2 < b.size(); ++i) b[i] = 0xEE;
    return b;
}

TEST_F(E2eTest, EveryAcknowledgedPacketIsAnsweredWithItsValue) {
    // No reconnect on RST, and no players to request: an RST's only answer is
    // then its ACK.
    ASSERT_NO_FATAL_FAILURE(StartProgram("autoReconnectOnRestart=0\n"));
    ASSERT_NO_FATAL_FAILURE(WaitConnected());
    size_t from = Probe() + 1;
    uint16_t value = 0x0102;
    for (const sim::AckedKind& kind : sim::kAckedKinds) {
        SCOPED_TRACE(kind.id);
        value = static_cast<uint16_t>(value + 0x0111);
        ASSERT_TRUE(sim.Send(FilledAcked(kind.id, value, kind.length)));
        const long at = WaitForDatagram([](const sim::Bytes&) { return true; }, from);
        ASSERT_GE(at, 0) << "no answer";
        sim::Bytes want = {'A', 'C', 'K', 0, static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), 0, 0};
        EXPECT_EQ(sim::Hex(want), sim::Hex(sim.Received()[at].bytes));
        const size_t probe = Probe();
        EXPECT_EQ(static_cast<size_t>(at) + 1, probe) << "one answer only";
        from = probe + 1;
    }
}

TEST_F(E2eTest, AcknowledgedPacketOfWrongLengthGetsNoAnswer) {
    ASSERT_NO_FATAL_FAILURE(StartProgram());
    ASSERT_NO_FATAL_FAILURE(WaitConnected());
    const size_t from = Probe() + 1;
    const size_t printed = program.Stdout().size();
    for (const sim::AckedKind& kind : sim::kAckedKinds) {
        for (size_t length : {kind.length - 1, kind.length + 1, kind.length + 2, size_t{512}}) {
            ASSERT_TRUE(sim.Send(FilledAcked(kind.id, 0x0305, length)));
        }
    }
    // Identifiers outside the table are ignored without a word.
    for (const char* id : {"XYZ", "ISI", "lap", "MST"}) ASSERT_TRUE(sim.Send(FilledAcked(id, 0x0305, 60)));
    const size_t probe = Probe();
    for (const sim::Bytes& b : ReceivedBetween(from, probe)) ADD_FAILURE() << "answered with " << sim::Hex(b);
    EXPECT_EQ("", OutputSince(printed));
}

TEST_F(E2eTest, AckOfAnyLengthIsAnsweredWithAckZero) {
    ASSERT_NO_FATAL_FAILURE(StartProgram());
    ASSERT_NO_FATAL_FAILURE(WaitConnected());
    size_t from = Probe() + 1;
    for (size_t length : {4, 5, 6, 7, 8, 9, 60, 511, 512, 513, 600}) {
        SCOPED_TRACE("length " + std::to_string(length));
        sim::Bytes ack = sim::BuildBlank("ACK", length);
        for (size_t i = 4; i < length; ++i) ack[i] = 0x5A;
        ASSERT_TRUE(sim.Send(ack));
        const long at = WaitForDatagram([](const sim::Bytes&) { return true; }, from);
        ASSERT_GE(at, 0) << "no answer";
        EXPECT_EQ("41 43 4B 00 00 00 00 00", sim::Hex(sim.Received()[at].bytes));
        const size_t probe = Probe();
        EXPECT_EQ(static_cast<size_t>(at) + 1, probe) << "one answer only";
        from = probe + 1;
    }
}

TEST_F(E2eTest, IdentifierWithoutNulIsReportedAndNotAnswered) {
    ASSERT_NO_FATAL_FAILURE(StartProgram());
    ASSERT_NO_FATAL_FAILURE(WaitConnected());
    const size_t from = Probe() + 1;
    const size_t printed = program.Stdout().size();
    std::vector<sim::Bytes> invalid = {
        sim::Bytes{'A', 'B', 'C', 'D'},
        sim::Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
        sim::Bytes{0, 0, 0, 1},
    };
    // Known identifiers of their right length, the fourth byte spoilt.
    const sim::AckedKind spoilt[] = {{"LAP", 60}, {"ACK", 8}, {"STA", sim::kStaSize}, {"RST", sim::kRstSize},
                                     {"NPL", sim::kNplSize}};
    for (const sim::AckedKind& kind : spoilt) {
        sim::Bytes b = sim::BuildAcked(kind.id, 0x0101, kind.length);
        b[3] = 'X';
        invalid.push_back(b);
    }
    for (const sim::Bytes& b : invalid) ASSERT_TRUE(sim.Send(b));
    const size_t probe = Probe();
    for (const sim::Bytes& b : ReceivedBetween(from, probe)) ADD_FAILURE() << "answered with " << sim::Hex(b);
    std::string want;
    for (size_t i = 0; i < invalid.size(); ++i) want += "...which was invalid :P\n";
    EXPECT_EQ(want, OutputSince(printed));
}

}  // namespace
}  // namespace e2e
