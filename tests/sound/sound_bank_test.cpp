// The sound bank: loading the sixteen recordings, refusing what is not a
// WAV image, the cue table with its coin, and the cue trace.
#include "sound/sound_bank.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "link/dispatch.h"
#include "support/test_support.h"

using support::Bytes;

namespace {

// A minimal PCM WAV whose single data byte tells the recordings apart.
Bytes Wave(uint8_t tag, size_t dataBytes = 1) {
    Bytes w(44 + dataBytes, 0);
    memcpy(w.data(), "RIFF", 4);
    PutU32(w.data() + 4, static_cast<uint32_t>(w.size() - 8));
    memcpy(w.data() + 8, "WAVEfmt ", 8);
    PutU32(w.data() + 16, 16);
    PutU16(w.data() + 20, 1);      // PCM
    PutU16(w.data() + 22, 1);      // mono
    PutU32(w.data() + 24, 22050);  // rate
    PutU32(w.data() + 28, 22050);  // bytes per second
    PutU16(w.data() + 32, 1);      // block align
    PutU16(w.data() + 34, 8);      // bits
    memcpy(w.data() + 36, "data", 4);
    PutU32(w.data() + 40, static_cast<uint32_t>(dataBytes));
    w[44] = tag;
    return w;
}

class SoundBankTest : public testing::Test {
protected:
    void SetUp() override {
        support::FreshDefaults();
        dir = std::filesystem::temp_directory_path() /
              ("flankguard-sound-" + std::to_string(getpid()) + "-" +
               testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir / "spotter");
        previous = std::filesystem::current_path();
        std::filesystem::current_path(dir);
        unsetenv("FLANKGUARD_TRACE");
    }
    void TearDown() override {
        ReleaseSoundBank();
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(dir);
    }

    void Write(const char* path, const Bytes& bytes) {
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }

    // Writes all sixteen recordings, tagged by their index in load order.
    void WriteAll() {
        for (int i = 0; i < kSoundCount; ++i) Write(kSoundPaths[i], Wave(static_cast<uint8_t>(i)));
    }

    std::string Load() {
        testing::internal::CaptureStdout();
        LoadSoundBank();
        return testing::internal::GetCapturedStdout();
    }

    // Plays one cue; returns the path played ("" for nothing).
    std::string Cue(int32_t kind) {
        const size_t before = fake::Plays().size();
        PlayCue(kind);
        if (fake::Plays().size() == before) return "";
        EXPECT_EQ(before + 1, fake::Plays().size());
        return kSoundPaths[fake::Plays().back().image[44]];
    }

    std::filesystem::path dir;
    std::filesystem::path previous;
};

TEST_F(SoundBankTest, SixteenLoadingLinesInTableOrderWithSizeInKB) {
    WriteAll();
    // The size figure is the length in bytes divided by 1024, rounded down.
    Write("spotter/inside.wav", Wave(1, 1023 - 44));
    Write("spotter/inside2.wav", Wave(2, 1024 - 44));
    Write("spotter/outside.wav", Wave(3, 3 * 1024 + 1023 - 44));
    const std::string out = Load();
    std::string expected;
    for (int i = 0; i < kSoundCount; ++i) {
        const int kb = i == 1 ? 0 : i == 2 ? 1 : i == 3 ? 3 : 0;
        expected += std::string("Loading sound ") + kSoundPaths[i] + " (" + std::to_string(kb) + "KB)\n";
    }
    EXPECT_EQ(expected, out);
    for (const SoundImage& image : SoundBank) EXPECT_NE(nullptr, image.data);
    EXPECT_EQ(1023u, SoundBank[1].size);
}

TEST_F(SoundBankTest, MissingFileIsWarnedAboutAndPlaysNothing) {
    WriteAll();
    std::filesystem::remove("spotter/middle.wav");
    const std::string out = Load();
    EXPECT_NE(std::string::npos, out.find("Warning! Can't load sound spotter/middle.wav!\n"));
    EXPECT_EQ(std::string::npos, out.find("Loading sound spotter/middle.wav"));
    EXPECT_EQ(15, std::count(out.begin(), out.end(), '\n') - 1);
    fake::SetTick(4321);
    EXPECT_EQ("", Cue(Middle));
    EXPECT_EQ(4321u, lastCueTime);
}

TEST_F(SoundBankTest, FilesThatAreNoWaveImageAreRefused) {
    Bytes fmtBeyondEnd = Wave(0);
    PutU32(fmtBeyondEnd.data() + 16, 400);
    Bytes dataBeyondEnd = Wave(0);
    PutU32(dataBeyondEnd.data() + 40, 2);
    Bytes shortFmt = Wave(0);
    PutU32(shortFmt.data() + 16, 14);
    Bytes noFmt = Wave(0);
    memcpy(noFmt.data() + 12, "junk", 4);
    Bytes rifx = Wave(0);
    memcpy(rifx.data(), "RIFX", 4);
    Bytes truncatedHeader = Wave(0);
    truncatedHeader.resize(40);
    const Bytes cases[] = {Bytes{}, Bytes(11, 'R'), rifx, fmtBeyondEnd, dataBeyondEnd, shortFmt, noFmt, truncatedHeader};
    for (const Bytes& bytes : cases) {
        Write("spotter/clear.wav", bytes);
        testing::internal::CaptureStdout();
        SoundImage image = LoadSound("spotter/clear.wav");
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(nullptr, image.data) << bytes.size() << " bytes";
        EXPECT_NE(std::string::npos, out.find("Warning! Can't load sound spotter/clear.wav!\n")) << out;
    }
    // An odd-sized chunk is padded; a directory is no sound.
    const Bytes plain = Wave(0);
    const uint8_t list[] = {'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0};
    Bytes withList(plain.size() + sizeof list);
    memcpy(withList.data(), plain.data(), 12);
    memcpy(withList.data() + 12, list, sizeof list);
    memcpy(withList.data() + 12 + sizeof list, plain.data() + 12, plain.size() - 12);
    EXPECT_TRUE(IsWaveImage(withList.data(), withList.size()));
    std::filesystem::create_directory("spotter/dir.wav");
    testing::internal::CaptureStdout();
    EXPECT_EQ(nullptr, LoadSound("spotter/dir.wav").data);
    EXPECT_NE(std::string::npos, testing::internal::GetCapturedStdout().find("Warning!"));
}

// Seeds the generator so that its next value v has v % 100 == want.
void NextCoin(int want) {
    for (unsigned seed = 1;; ++seed) {
        srand(seed);
        if (rand() % 100 == want) {
            srand(seed);
            return;
        }
    }
}

TEST_F(SoundBankTest, CueTableByTrackClass) {
    WriteAll();
    Load();
    struct Case {
        int32_t kind;
        const char* heads[3];  // coin below 50, by TrackMode 0, 1, 2
        const char* tails[3];  // coin 50 or more
    };
    const Case cases[] = {
        {CarRight, {"outside", "inside", "right"}, {"outside2", "inside2", "right2"}},
        {CarLeft, {"inside", "outside", "left"}, {"inside2", "outside2", "left2"}},
        {Clear, {"clear", "clear", "clear"}, {"clear", "clear", "clear"}},
        {ClearRight, {"clearin", "clearout", "clearright"}, {"clearin", "clearout", "clearright"}},
        {ClearLeft, {"clearout", "clearin", "clearleft"}, {"clearout", "clearin", "clearleft"}},
        {Middle, {"middle", "middle", "middle"}, {"middle", "middle", "middle"}},
        {StillThere, {"stillthere", "stillthere", "stillthere"}, {"stillthere2", "stillthere2", "stillthere2"}},
    };
    auto path = [](const char* name) { return std::string("spotter/") + name + ".wav"; };
    for (const Case& c : cases) {
        for (int mode = 0; mode < 3; ++mode) {
            TrackMode = mode;
            NextCoin(49);
            EXPECT_EQ(path(c.heads[mode]), Cue(c.kind)) << "kind " << c.kind << " mode " << mode;
            NextCoin(50);
            EXPECT_EQ(path(c.tails[mode]), Cue(c.kind)) << "kind " << c.kind << " mode " << mode;
        }
    }
}

TEST_F(SoundBankTest, OnlyTwoRecordingCellsDrawFromTheGenerator) {
    WriteAll();
    Load();
    TrackMode = 2;
    for (int32_t kind : std::initializer_list<int32_t>{Clear, ClearRight, ClearLeft, Middle, 7, -1}) {
        srand(99);
        const int expected = rand();
        srand(99);
        Cue(kind);
        EXPECT_EQ(expected, rand()) << "kind " << kind;
    }
}

TEST_F(SoundBankTest, UnknownKindOrTrackClassPlaysNothingButStampsTheTime) {
    WriteAll();
    Load();
    struct Case {
        int32_t kind;
        int32_t mode;
        bool plays;
    };
    const Case cases[] = {{7, 2, false},        {-1, 2, false},      {CarRight, 3, false}, {ClearLeft, -1, false},
                          {Clear, 3, true},      {Middle, 99, true},  {StillThere, -5, true}};
    TickMs now = 100;
    for (const Case& c : cases) {
        TrackMode = c.mode;
        fake::SetTick(now += 10);
        EXPECT_EQ(c.plays, !Cue(c.kind).empty()) << "kind " << c.kind << " mode " << c.mode;
        EXPECT_EQ(now, lastCueTime);
    }
}

TEST_F(SoundBankTest, PlaybackIsSynchronousAndStampedAtItsStart) {
    WriteAll();
    Load();
    fake::SetPlayMs(700);
    fake::SetTick(1000);
    PlayCue(Clear);
    PlayCue(Middle);
    ASSERT_EQ(2u, fake::Plays().size());
    EXPECT_EQ(1000u, fake::Plays()[0].start);
    EXPECT_EQ(1700u, fake::Plays()[1].start);
    EXPECT_EQ(1700u, lastCueTime) << "the start of the second cue, not its end";
    EXPECT_EQ(2400u, fake::Tick());
}

TEST_F(SoundBankTest, TraceLines) {
    WriteAll();
    std::filesystem::remove("spotter/left2.wav");
    Load();
    TrackMode = 2;
    struct Case {
        int32_t kind;
        int coin;
        const char* line;
    };
    const Case cases[] = {
        {CarLeft, 10, "cue CarLeft spotter/left.wav\n"},
        {CarLeft, 90, "cue CarLeft spotter/left2.wav absent\n"},
        {ClearRight, 0, "cue ClearRight spotter/clearright.wav\n"},
        {StillThere, 50, "cue StillThere spotter/stillthere2.wav\n"},
        {9, 0, "cue 9 -\n"},
        {-3, 0, "cue -3 -\n"},
    };
    for (const char* value : {"", "1"}) {
        if (*value) setenv("FLANKGUARD_TRACE", value, 1);
        else unsetenv("FLANKGUARD_TRACE");
        for (const Case& c : cases) {
            NextCoin(c.coin);
            testing::internal::CaptureStderr();
            PlayCue(c.kind);
            EXPECT_EQ(*value ? c.line : "", testing::internal::GetCapturedStderr());
        }
    }
    setenv("FLANKGUARD_TRACE", "", 1);
    testing::internal::CaptureStderr();
    PlayCue(Clear);
    EXPECT_EQ("", testing::internal::GetCapturedStderr()) << "an empty variable is off";
    TrackMode = 7;
    setenv("FLANKGUARD_TRACE", "yes", 1);
    testing::internal::CaptureStderr();
    PlayCue(CarRight);
    EXPECT_EQ("cue CarRight -\n", testing::internal::GetCapturedStderr());
}

}  // namespace
