// The end-to-end fixture: temporary directory, config file, simulator,
// program, and the waits with deadlines.
#include "fixture.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>

namespace e2e {

namespace {

const char* const kSoundNames[16] = {
    "clear",     "inside",      "inside2", "outside", "outside2", "middle",     "clearout",  "clearin",
    "stillthere", "stillthere2", "left",    "left2",   "right",    "right2",     "clearright", "clearleft",
};

// The text with control bytes made visible, for failure messages.
std::string Visible(const std::string& s) {
    std::string out;
    char buf[8];
    for (unsigned char c : s) {
        if (c == '\n') out += "\\n\n";
        else if (c < 0x20 || c >= 0x7f) {
            snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else out += static_cast<char>(c);
    }
    return out;
}

}  // namespace

std::string StartupText(const std::string& dir) {
    std::string s =
        "---------------------------------\n"
        " LFS Flankguard v1.1b by Ralvino\n"
        "---------------------------------\n\n";
    for (const char* name : kSoundNames) s += std::string("Warning! Can't load sound spotter/") + name + ".wav!\n";
    s += "Loading config " + dir + "/spotter/config.cfg...\n\n";
    return s;
}

std::string AttemptLine(unsigned port) {
    return "Connecting to 127.0.0.1:" + std::to_string(port) + "... ";
}

void E2eTest::SetUp() {
    // Below the build tree, so that a test process killed before its
    // tear-down leaves nothing behind elsewhere.
    std::error_code ignored;
    std::filesystem::create_directories(FLANKGUARD_E2E_RUN_DIR, ignored);
    std::string pattern = std::string(FLANKGUARD_E2E_RUN_DIR) + "/XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern.data())) << "mkdtemp failed in " << FLANKGUARD_E2E_RUN_DIR;
    dir = std::filesystem::canonical(pattern).string();
    std::filesystem::create_directory(dir + "/spotter");
    ASSERT_TRUE(sim.Open(0)) << sim.Error();
}

void E2eTest::TearDown() {
    program.Kill();
    // A sanitized program reports on its standard error and may go on.
    const std::string& err = program.Stderr();
    EXPECT_EQ(std::string::npos, err.find("Sanitizer")) << "sanitizer report from the program";
    EXPECT_EQ(std::string::npos, err.find("runtime error:")) << "sanitizer report from the program";
    if (HasFailure()) {
        std::string log;
        const size_t count = sim.Received().size();
        if (count > 200) log += "  [" + std::to_string(count - 200) + " earlier datagrams]\n";
        for (size_t i = count > 200 ? count - 200 : 0; i < count; ++i) {
            const sim::Bytes& b = sim.Received()[i].bytes;
            log += "  #" + std::to_string(i) + " " + sim::IdText(b) + " (" + std::to_string(b.size()) +
                   "): " + sim::Hex(b).substr(0, 3 * 72) + "\n";
        }
        std::string out = program.Stdout();
        if (out.size() > 6000) out = "[...]" + out.substr(out.size() - 6000);
        std::cerr << "--- program stdout:\n" << Visible(out) << "\n--- program stderr:\n"
                  << Visible(program.Stderr()) << "\n--- simulator received:\n" << log;
    }
    if (!dir.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
}

void E2eTest::StartProgram(const std::string& mainLines, const std::string& spottingLines) {
    srcPort = FreeUdpPort();
    ASSERT_NE(0, srcPort);
    {
        std::ofstream cfg(dir + "/spotter/config.cfg");
        cfg << "[main]\n"
            << "address=127.0.0.1\n"
            << "destPort=" << sim.Port() << "\n"
            << "srcPort=" << srcPort << "\n"
            << "autorunLFS=0\n"
            << mainLines << "[spotting]\n"
            << spottingLines;
        ASSERT_TRUE(cfg.good());
    }
    // FLANKGUARD_E2E_EXE runs the tests against another build of the program.
    const char* exe = getenv("FLANKGUARD_E2E_EXE");
    if (!exe || !*exe) exe = FLANKGUARD_EXE;
    std::string error;
    ASSERT_TRUE(program.Start(exe, dir, &error)) << error;
}

bool E2eTest::WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    const sim::Clock::time_point deadline = sim::Clock::now() + std::chrono::milliseconds(timeoutMs);
    auto step = [&](int ms) {
        sim.Pump(ms);
        program.Drain();
        while (outputAtArrival_.size() < sim.Received().size()) outputAtArrival_.push_back(program.Stdout().size());
    };
    for (;;) {
        step(2);
        if (done()) return true;
        if (sim::Clock::now() >= deadline || !program.Alive()) {
            step(0);
            return done();
        }
    }
}

bool E2eTest::WaitForOutput(const std::string& text, int timeoutMs) {
    return WaitUntil([&] { return program.Stdout().find(text) != std::string::npos; }, timeoutMs);
}

long E2eTest::WaitForDatagram(const std::function<bool(const sim::Bytes&)>& match, size_t from, int timeoutMs) {
    long found = -1;
    size_t next = from;
    WaitUntil(
        [&] {
            for (; next < sim.Received().size(); ++next) {
                if (match(sim.Received()[next].bytes)) {
                    found = static_cast<long>(next);
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return found;
}

void E2eTest::WaitConnected() {
    ASSERT_GE(WaitForDatagram(WithId("MST")), 0) << "no MST: the handshake did not complete";
}

size_t E2eTest::Probe() {
    const uint16_t value = nextProbe_++;
    const size_t from = ReceivedCount();
    EXPECT_TRUE(sim.SendAcked("LAP", value));
    const long at = WaitForDatagram(SmallPacket("ACK", value), from);
    if (at < 0) {
        ADD_FAILURE() << "no ACK " << value << " for the probe LAP; program alive: " << program.Alive();
        return ReceivedCount();
    }
    return static_cast<size_t>(at);
}

std::vector<sim::Bytes> E2eTest::ReceivedBetween(size_t from, size_t to) const {
    std::vector<sim::Bytes> out;
    for (size_t i = from; i < to && i < sim.Received().size(); ++i) out.push_back(sim.Received()[i].bytes);
    return out;
}

std::string E2eTest::OutputSince(size_t from) const {
    return from < program.Stdout().size() ? program.Stdout().substr(from) : std::string();
}

std::string E2eTest::OutputAtArrival(size_t index) const {
    if (index >= outputAtArrival_.size()) return std::string();
    return program.Stdout().substr(0, outputAtArrival_[index]);
}

sim::Bytes E2eTest::ExpectedIsi(const std::string& adminPassField) const {
    sim::Bytes isi = sim::BuildBlank("ISI", sim::kIsiSize);
    sim::PutLe16(isi, 4, srcPort);
    isi[6] = 0x31;
    isi[7] = 1;
    for (size_t i = 0; i < adminPassField.size() && i < 16; ++i) isi[8 + i] = static_cast<uint8_t>(adminPassField[i]);
    return isi;
}

std::function<bool(const sim::Bytes&)> SmallPacket(const char* id, int32_t value) {
    return [id, value](const sim::Bytes& b) {
        int32_t v = 0;
        return sim::IsSmall(b, id, &v) && v == value;
    };
}

std::function<bool(const sim::Bytes&)> WithId(const char* id) {
    return [id](const sim::Bytes& b) { return sim::HasId(b, id); };
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

}  // namespace e2e
