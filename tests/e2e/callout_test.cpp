// Call-outs end to end: car positions from the stand-in simulator make the
// real program trace the cues it plays (FLANKGUARD_TRACE) on the null
// audio device, with the shipped voice pack.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "fixture.h"

namespace e2e {
namespace {

const int32_t kMetre = 65536;
const uint16_t kSpeed = 9830;  // 30 m/s

class CalloutTest : public E2eTest {
protected:
    void SetUp() override {
        E2eTest::SetUp();
        program.extraEnv = {"FLANKGUARD_TRACE=1", "AUDIODEV=null"};
        const std::filesystem::path pack = std::filesystem::path(__FILE__).parent_path() / "../../spotter";
        for (const auto& entry : std::filesystem::directory_iterator(pack)) {
            if (entry.path().extension() == ".wav")
                std::filesystem::copy_file(entry.path(), dir + "/spotter/" + entry.path().filename().string());
        }
    }

    // Connects on `track` with the own car in slot 0 and `others` more cars.
    void Connect(const char* track, uint8_t others) {
        sim.config.state.raceActive = 1;
        sim.config.state.ownIndex = 0;
        sim.config.state.playerCount = static_cast<uint8_t>(others + 1);
        sim.config.state.track = track;
        for (uint8_t i = 0; i <= others; ++i) sim.config.players.push_back({i, "Driver" + std::to_string(i), "XF GTI"});
        ASSERT_NO_FATAL_FAILURE(StartProgram());
        ASSERT_NO_FATAL_FAILURE(WaitConnected());
        ASSERT_TRUE(WaitForOutput("Player " + std::to_string(others) + ": "));
    }

    // Own car at the origin heading +y; the others at these offsets (m),
    // all at the same speed and heading.
    void Send(const std::vector<std::pair<double, double>>& offsets) {
        std::vector<sim::CarRecord> cars(1);
        cars[0].speed = kSpeed;
        for (const auto& o : offsets) {
            sim::CarRecord car;
            car.x = static_cast<int32_t>(o.first * kMetre);
            car.y = static_cast<int32_t>(o.second * kMetre);
            car.speed = kSpeed;
            cars.push_back(car);
        }
        ASSERT_TRUE(sim.SendMci(static_cast<uint8_t>(cars.size()), 0, cars));
    }

    // Waits for the next cue line after the ones already seen.
    std::string NextCue() {
        std::string line;
        WaitUntil([&] {
            const std::string& err = program.Stderr();
            for (size_t at = err.find("cue ", seen_); at != std::string::npos; at = err.find("cue ", at + 1)) {
                if (at != 0 && err[at - 1] != '\n') continue;
                const size_t end = err.find('\n', at);
                if (end == std::string::npos) return false;
                line = err.substr(at, end - at);
                seen_ = end + 1;
                return true;
            }
            return false;
        });
        return line;
    }

private:
    size_t seen_ = 0;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The sample bytes of a PCM WAV file: the body of its data chunk.
std::string DataChunk(const std::string& wav) {
    for (size_t at = 12; at + 8 <= wav.size();) {
        const uint32_t size = static_cast<uint8_t>(wav[at + 4]) | static_cast<uint8_t>(wav[at + 5]) << 8 |
                              static_cast<uint8_t>(wav[at + 6]) << 16 |
                              static_cast<uint32_t>(static_cast<uint8_t>(wav[at + 7])) << 24;
        if (wav.compare(at, 4, "data") == 0) return wav.substr(at + 8, size);
        at += 8 + size + (size & 1);
    }
    return std::string();
}

bool OneOf(const std::string& line, std::initializer_list<const char*> choices) {
    for (const char* c : choices)
        if (line == c) return true;
    return false;
}

TEST_F(CalloutTest, CarDrawingAlongsideOnTheLeft) {
    ASSERT_NO_FATAL_FAILURE(Connect("BL1", 1));
    Send({{-3.0, 20.0}});  // ahead: not alongside yet
    Send({{-3.0, 0.5}});
    const std::string cue = NextCue();
    EXPECT_TRUE(OneOf(cue, {"cue CarLeft spotter/left.wav", "cue CarLeft spotter/left2.wav"})) << cue;
    Send({{-3.0, 30.0}});
    EXPECT_EQ("cue Clear spotter/clear.wav", NextCue());
}

TEST_F(CalloutTest, OvalUsesOutsideAndClearInsideForTheRight) {
    ASSERT_NO_FATAL_FAILURE(Connect("KY1", 2));
    Send({{30.0, 0.0}, {3.0, 0.0}});  // car 1 far off, car 2 on the right
    const std::string cue = NextCue();
    EXPECT_TRUE(OneOf(cue, {"cue CarRight spotter/outside.wav", "cue CarRight spotter/outside2.wav"})) << cue;
    Send({{-3.0, 0.0}, {3.0, 0.0}});  // three wide
    EXPECT_EQ("cue Middle spotter/middle.wav", NextCue());
    Send({{-3.0, 0.0}, {3.0, 40.0}});  // the right one has gone
    EXPECT_EQ("cue ClearRight spotter/clearin.wav", NextCue());
}

// The shipped voice pack is 16-bit PCM, which the player hands to the
// device as it is: the device receives exactly the chosen file's samples.
TEST_F(CalloutTest, DeviceReceivesTheSamplesOfTheChosenRecording) {
    const std::string capture = dir + "/capture.raw";
    {
        std::ofstream conf(dir + "/asound.conf");
        conf << "pcm.flankguard_capture {\n  type file\n  slave.pcm \"null\"\n  file \"" << capture
             << "\"\n  format \"raw\"\n}\n";
    }
    program.extraEnv = {"FLANKGUARD_TRACE=1", "AUDIODEV=flankguard_capture",
                        "ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf:" + dir + "/asound.conf"};
    ASSERT_NO_FATAL_FAILURE(Connect("BL1", 1));
    Send({{3.0, 0.0}});
    const std::string cue = NextCue();
    ASSERT_TRUE(OneOf(cue, {"cue CarRight spotter/right.wav", "cue CarRight spotter/right2.wav"})) << cue;
    Probe();  // playback is synchronous: once the probe is answered the cue has ended
    const std::string chosen = dir + "/" + cue.substr(cue.find("spotter/"));
    const std::string samples = DataChunk(ReadFile(chosen));
    ASSERT_FALSE(samples.empty());
    const std::string written = ReadFile(capture);
    EXPECT_EQ(samples.size(), written.size());
    EXPECT_TRUE(written == samples) << "the device got other samples than " << chosen;
}

}  // namespace
}  // namespace e2e
