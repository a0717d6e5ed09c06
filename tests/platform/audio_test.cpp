// WAV playback of the POSIX backend, through ALSA devices that a temporary
// ALSA configuration defines: "file" devices that write the samples they
// are given to a file (on the discarding "null" device), so the test can
// compare them with libsndfile's decoding of the same image.
#include <alsa/asoundlib.h>
#include <dlfcn.h>
#include <sndfile.h>
#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"

// The backend's own calls into ALSA, counted by wrappers that this program
// puts in front of libasound's functions. Calls that ALSA's plugins make
// into each other are not counted.
namespace alsa_calls {
int opens = 0;
int writes = 0;
int drains = 0;
int writesAfterDrain = 0;  // top-level writes since the latest drain
int depth = 0;

template <typename F>
F Real(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}
}  // namespace alsa_calls

extern "C" int snd_pcm_open(snd_pcm_t** pcm, const char* name, snd_pcm_stream_t stream, int mode) {
    using namespace alsa_calls;
    static auto real = Real<int (*)(snd_pcm_t**, const char*, snd_pcm_stream_t, int)>("snd_pcm_open");
    if (depth == 0) ++opens;
    ++depth;
    const int r = real(pcm, name, stream, mode);
    --depth;
    return r;
}

extern "C" snd_pcm_sframes_t snd_pcm_writei(snd_pcm_t* pcm, const void* buffer, snd_pcm_uframes_t size) {
    using namespace alsa_calls;
    static auto real = Real<snd_pcm_sframes_t (*)(snd_pcm_t*, const void*, snd_pcm_uframes_t)>("snd_pcm_writei");
    if (depth == 0) {
        ++writes;
        ++writesAfterDrain;
    }
    ++depth;
    const snd_pcm_sframes_t r = real(pcm, buffer, size);
    --depth;
    return r;
}

extern "C" int snd_pcm_drain(snd_pcm_t* pcm) {
    using namespace alsa_calls;
    static auto real = Real<int (*)(snd_pcm_t*)>("snd_pcm_drain");
    if (depth == 0) {
        ++drains;
        writesAfterDrain = 0;
    }
    ++depth;
    const int r = real(pcm);
    --depth;
    return r;
}

namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteText(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::trunc);
    out << text;
}

// Plays `image` from memory placed flush against an inaccessible page, with
// another one before it: a read outside the image faults.
void PlayGuarded(const Bytes& image) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t body = (image.size() + page - 1) / page * page;
    const size_t total = body + 2 * page;
    void* map = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(MAP_FAILED, map);
    uint8_t* base = static_cast<uint8_t*>(map);
    ASSERT_EQ(0, mprotect(base, page, PROT_NONE));
    ASSERT_EQ(0, mprotect(base + page + body, page, PROT_NONE));
    uint8_t* at = base + page + body - image.size();
    if (!image.empty()) memcpy(at, image.data(), image.size());
    ASSERT_EQ(0, mprotect(base + page, body, PROT_READ));
    PlatPlayWave(at, image.size());
    munmap(map, total);
}

// What the backend sends to the device for each encoding.
enum class Sample { Short, Int, Float, Double };

struct Sound {
    int format;  // SF_FORMAT_* major | subtype
    int channels;
    int rate;
    int frames;
};

// A deterministic test signal: a different tone per channel with a slow
// ramp, within full scale.
std::vector<double> Signal(const Sound& s) {
    std::vector<double> v(static_cast<size_t>(s.frames) * static_cast<size_t>(s.channels));
    for (int f = 0; f < s.frames; ++f) {
        for (int c = 0; c < s.channels; ++c) {
            const double t = static_cast<double>(f) / s.rate;
            v[static_cast<size_t>(f * s.channels + c)] =
                0.6 * std::sin(2 * M_PI * (440.0 + 110.0 * c) * t) + 0.3 * (f % 97) / 97.0 - 0.15;
        }
    }
    return v;
}

// Writes the 32-bit little-endian `value` at `at`.
void Put32(Bytes& b, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

// The offset of the first byte of the chunk `id`'s size field, or npos.
size_t ChunkSizeField(const Bytes& b, const char* id) {
    for (size_t at = 12; at + 8 <= b.size();) {
        if (memcmp(&b[at], id, 4) == 0) return at + 4;
        const uint32_t size = b[at + 4] | b[at + 5] << 8 | b[at + 6] << 16 | static_cast<uint32_t>(b[at + 7]) << 24;
        at += 8 + size + (size & 1);
    }
    return std::string::npos;
}

class AudioTest : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/flankguard-audio-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        dir = pattern;
        // Device names unique to this test, so that a backend still holding
        // a device of an earlier test in the same process does not match.
        static int serial = 0;
        const std::string tag = std::to_string(getpid()) + "_" + std::to_string(++serial);
        capture = "flankguard_capture_" + tag;
        capture2 = "flankguard_capture2_" + tag;
        late = "flankguard_late_" + tag;
        WriteConfig(false);
        setenv("ALSA_CONFIG_PATH", (std::string(snd_config_topdir()) + "/alsa.conf:" + ConfigPath().string()).c_str(), 1);
        setenv("AUDIODEV", capture.c_str(), 1);
    }

    void TearDown() override {
        unsetenv("AUDIODEV");
        unsetenv("ALSA_CONFIG_PATH");
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    fs::path ConfigPath() const { return dir / "asound.conf"; }
    fs::path CaptureFile() const { return dir / "capture.raw"; }
    fs::path Capture2File() const { return dir / "capture2.raw"; }
    fs::path LateFile() const { return dir / "late.raw"; }

    static std::string FileDevice(const std::string& name, const fs::path& file) {
        return "pcm." + name + " {\n  type file\n  slave.pcm \"null\"\n  file \"" + file.string() +
               "\"\n  format \"raw\"\n}\n";
    }

    // The configuration: two capture devices, the default device capturing
    // to its own file, and, when `withLate`, the device `late` too. A new
    // file replaces the old one, so ALSA sees the change at its next open.
    void WriteConfig(bool withLate) {
        std::string text = FileDevice(capture, CaptureFile()) + FileDevice(capture2, Capture2File()) +
                           FileDevice("!default", dir / "default.raw");
        if (withLate) text += FileDevice(late, LateFile());
        WriteText(dir / "asound.conf.new", text);
        fs::rename(dir / "asound.conf.new", ConfigPath());
    }

    // A WAV image of `s` as libsndfile writes it.
    Bytes MakeWav(const Sound& s) {
        const fs::path path = dir / "made.wav";
        SF_INFO info = {};
        info.samplerate = s.rate;
        info.channels = s.channels;
        info.format = s.format;
        SNDFILE* out = sf_open(path.c_str(), SFM_WRITE, &info);
        EXPECT_NE(nullptr, out) << sf_strerror(nullptr);
        if (!out) return {};
        const std::vector<double> v = Signal(s);
        sf_writef_double(out, v.data(), s.frames);
        sf_close(out);
        Bytes image = ReadFile(path);
        fs::remove(path);
        return image;
    }

    // The samples of `image` as libsndfile decodes it into `kind`, in native
    // byte order; empty when libsndfile cannot open it.
    Bytes Decoded(const Bytes& image, Sample kind) {
        const fs::path path = dir / "decode.wav";
        WriteFile(path, image);
        SF_INFO info = {};
        SNDFILE* in = sf_open(path.c_str(), SFM_READ, &info);
        Bytes out;
        if (in) {
            sf_command(in, SFC_SET_CLIPPING, nullptr, SF_TRUE);
            const size_t count = static_cast<size_t>(info.frames) * static_cast<size_t>(info.channels);
            switch (kind) {
            case Sample::Short: {
                std::vector<short> v(count);
                v.resize(static_cast<size_t>(sf_read_short(in, v.data(), static_cast<sf_count_t>(count))));
                out.assign(reinterpret_cast<uint8_t*>(v.data()), reinterpret_cast<uint8_t*>(v.data() + v.size()));
                break;
            }
            case Sample::Int: {
                std::vector<int> v(count);
                v.resize(static_cast<size_t>(sf_read_int(in, v.data(), static_cast<sf_count_t>(count))));
                out.assign(reinterpret_cast<uint8_t*>(v.data()), reinterpret_cast<uint8_t*>(v.data() + v.size()));
                break;
            }
            case Sample::Float: {
                std::vector<float> v(count);
                v.resize(static_cast<size_t>(sf_read_float(in, v.data(), static_cast<sf_count_t>(count))));
                out.assign(reinterpret_cast<uint8_t*>(v.data()), reinterpret_cast<uint8_t*>(v.data() + v.size()));
                break;
            }
            case Sample::Double: {
                std::vector<double> v(count);
                v.resize(static_cast<size_t>(sf_read_double(in, v.data(), static_cast<sf_count_t>(count))));
                out.assign(reinterpret_cast<uint8_t*>(v.data()), reinterpret_cast<uint8_t*>(v.data() + v.size()));
                break;
            }
            }
            sf_close(in);
        }
        fs::remove(path);
        return out;
    }

    static Bytes Twice(const Bytes& b) {
        Bytes out = b;
        out.insert(out.end(), b.begin(), b.end());
        return out;
    }

    fs::path dir;
    std::string capture;
    std::string capture2;
    std::string late;
};

// --- Every encoding reaches the device as libsndfile decodes it ------------

struct EncodingCase {
    const char* name;
    Sound sound;
    Sample sent;
};

void PrintTo(const EncodingCase& c, std::ostream* os) {
    *os << c.name;
}

class AudioEncodingTest : public AudioTest, public testing::WithParamInterface<EncodingCase> {};

// Half a second each: at 44100 Hz stereo that is several of the backend's
// write chunks.
const EncodingCase kEncodings[] = {
    {"Pcm16Mono", {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, 11025}, Sample::Short},
    {"Pcm16Stereo", {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, 22050}, Sample::Short},
    {"Pcm8Unsigned", {SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, 11025, 5512}, Sample::Short},
    {"Pcm24", {SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 48000, 24000}, Sample::Int},
    {"Pcm32", {SF_FORMAT_WAV | SF_FORMAT_PCM_32, 1, 8000, 4000}, Sample::Int},
    {"Float", {SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100, 22050}, Sample::Float},
    {"Double", {SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 1, 44100, 22050}, Sample::Double},
    {"MuLaw", {SF_FORMAT_WAV | SF_FORMAT_ULAW, 1, 8000, 4000}, Sample::Short},
    {"ALaw", {SF_FORMAT_WAV | SF_FORMAT_ALAW, 1, 8000, 4000}, Sample::Short},
    {"ImaAdpcm", {SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 1, 22050, 11025}, Sample::Short},
    {"MsAdpcm", {SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, 2, 22050, 11025}, Sample::Short},
    {"Gsm", {SF_FORMAT_WAV | SF_FORMAT_GSM610, 1, 8000, 4000}, Sample::Short},
    {"ExtensiblePcm16", {SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 2, 44100, 22050}, Sample::Short},
};

TEST_P(AudioEncodingTest, DeviceGetsTheDecodedSamplesAndKeepsItsFileOnReplay) {
    const EncodingCase& c = GetParam();
    const Bytes image = MakeWav(c.sound);
    ASSERT_FALSE(image.empty());
    const Bytes samples = Decoded(image, c.sent);
    ASSERT_FALSE(samples.empty());

    const int drains = alsa_calls::drains;
    PlayGuarded(image);
    EXPECT_EQ(samples, ReadFile(CaptureFile()));
    // The call returns only once the device has played out what it was
    // given: it drained it after its last write.
    EXPECT_EQ(drains + 1, alsa_calls::drains);
    EXPECT_EQ(0, alsa_calls::writesAfterDrain);

    // The same format again goes to the device still open: the file device
    // appends instead of starting its file anew.
    const int opens = alsa_calls::opens;
    PlayGuarded(image);
    EXPECT_EQ(Twice(samples), ReadFile(CaptureFile()));
    EXPECT_EQ(opens, alsa_calls::opens);
    EXPECT_EQ(drains + 2, alsa_calls::drains);
    EXPECT_EQ(0, alsa_calls::writesAfterDrain);
}

INSTANTIATE_TEST_SUITE_P(Encodings, AudioEncodingTest, testing::ValuesIn(kEncodings),
                         [](const testing::TestParamInfo<EncodingCase>& info) { return info.param.name; });

// --- The device follows the format and the name ------------------------------

TEST_F(AudioTest, FormatChangeSetsTheDeviceUpAnew) {
    struct Case {
        const char* what;
        Sound first;
        Sound second;
        Sample sent;
    };
    const Case cases[] = {
        {"sample format", {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, 4410},
         {SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100, 4410}, Sample::Float},
        {"channels", {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, 2205},
         {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 22050, 2205}, Sample::Short},
        {"rate", {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, 2205},
         {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 44100, 4410}, Sample::Short},
        // Same sample width on the device, but a different preference: the
        // 24-bit sound must not be squeezed into the 16-bit set-up.
        {"bit depth", {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 48000, 4800},
         {SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1, 48000, 4800}, Sample::Int},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PlayGuarded(MakeWav(c.first));
        const Bytes second = MakeWav(c.second);
        PlayGuarded(second);
        // A freshly opened file device starts its file anew: only the
        // second sound is in it, in its own format.
        EXPECT_EQ(Decoded(second, c.sent), ReadFile(CaptureFile()));
    }
}

TEST_F(AudioTest, DeviceNameChangeMovesToTheNewDevice) {
    const Bytes a = MakeWav({SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, 2205});
    const Bytes b = MakeWav({SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, 1000});
    PlayGuarded(a);
    setenv("AUDIODEV", capture2.c_str(), 1);
    PlayGuarded(b);
    EXPECT_EQ(Decoded(a, Sample::Short), ReadFile(CaptureFile()));
    EXPECT_EQ(Decoded(b, Sample::Short), ReadFile(Capture2File()));
}

TEST_F(AudioTest, UnsetOrEmptyAudiodevPlaysOnTheDefaultDevice) {
    const Bytes image = MakeWav({SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, 4410});
    const Bytes samples = Decoded(image, Sample::Short);
    struct Case {
        const char* what;
        bool set;
    };
    for (const Case c : {Case{"unset", false}, Case{"empty", true}}) {
        SCOPED_TRACE(c.what);
        fs::remove(dir / "default.raw");
        // Another device in between, so that the default one is opened anew.
        setenv("AUDIODEV", capture.c_str(), 1);
        PlayGuarded(image);
        if (c.set) setenv("AUDIODEV", "", 1);
        else unsetenv("AUDIODEV");
        PlayGuarded(image);
        EXPECT_EQ(samples, ReadFile(dir / "default.raw"));
    }
}

// --- Devices that do not play --------------------------------------------------

TEST_F(AudioTest, NullDeviceReturnsPromptly) {
    setenv("AUDIODEV", "null", 1);
    const Bytes image = MakeWav({SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, 22050});
    const auto start = std::chrono::steady_clock::now();
    testing::internal::CaptureStderr();
    PlayGuarded(image);
    PlayGuarded(image);
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
    // The null device consumes at once; allow for a slow machine, not for
    // real-time playing of the second.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
}

TEST_F(AudioTest, MissingDeviceIsQuietAndFast) {
    setenv("AUDIODEV", "flankguard_no_such_device", 1);
    const Bytes image = MakeWav({SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, 2205});
    testing::internal::CaptureStderr();
    const int opens = alsa_calls::opens;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 100; ++i) PlayGuarded(image);
    const auto spent = std::chrono::steady_clock::now() - start;
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
    EXPECT_LT(spent, std::chrono::milliseconds(500));
    // One try, not one per cue: a device that is slow to fail (a sound
    // server that does not answer) must not cost that on every cue.
    EXPECT_EQ(opens + 1, alsa_calls::opens);

    // A working device is played at once all the same.
    setenv("AUDIODEV", capture.c_str(), 1);
    PlayGuarded(image);
    EXPECT_EQ(Decoded(image, Sample::Short), ReadFile(CaptureFile()));
}

TEST_F(AudioTest, FailedDeviceIsLeftAloneForAWhileThenTriedAgain) {
    // The only test here that waits: the backend's back-off runs on the
    // real clock.
    setenv("AUDIODEV", late.c_str(), 1);
    const Bytes image = MakeWav({SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, 2205});
    PlayGuarded(image);
    EXPECT_FALSE(fs::exists(LateFile()));

    // The device appears; within the back-off it is not tried.
    WriteConfig(true);
    PlayGuarded(image);
    EXPECT_FALSE(fs::exists(LateFile()));

    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    PlayGuarded(image);
    EXPECT_EQ(Decoded(image, Sample::Short), ReadFile(LateFile()));
}

// --- Images that are not whole WAV files ---------------------------------------

TEST_F(AudioTest, ImagesThatAreNoWavPlayNothing) {
    const Bytes wav = MakeWav({SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, 2205});
    ASSERT_GT(wav.size(), 44u);
    Bytes garbage(4096);
    uint32_t x = 12345;
    for (uint8_t& b : garbage) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 24);
    }
    Bytes riffGarbage = garbage;
    memcpy(riffGarbage.data(), "RIFF\xf8\x0f\0\0WAVE", 12);
    const size_t fmtSize = ChunkSizeField(wav, "fmt ");
    ASSERT_NE(std::string::npos, fmtSize);
    Bytes noFormat = wav;
    memcpy(&noFormat[fmtSize - 4], "junk", 4);
    Bytes zeroChannels = wav;
    zeroChannels[fmtSize + 6] = 0;
    zeroChannels[fmtSize + 7] = 0;

    struct Case {
        const char* what;
        Bytes image;
    };
    const Case cases[] = {
        {"empty", {}},
        {"RIFF only", Bytes(wav.begin(), wav.begin() + 4)},
        {"RIFF header", Bytes(wav.begin(), wav.begin() + 12)},
        {"cut in fmt", Bytes(wav.begin(), wav.begin() + 20)},
        {"cut before data", Bytes(wav.begin(), wav.begin() + 36)},
        {"cut in data header", Bytes(wav.begin(), wav.end() - 2 * 2205 - 1)},
        {"no sample in data", Bytes(wav.begin(), wav.end() - 2 * 2205)},
        {"garbage", garbage},
        {"RIFF WAVE then garbage", riffGarbage},
        {"no fmt chunk", noFormat},
        {"zero channels", zeroChannels},
        {"AIFF", MakeWav({SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 1, 22050, 2205})},
    };
    testing::internal::CaptureStderr();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PlayGuarded(c.image);
        EXPECT_TRUE(ReadFile(CaptureFile()).empty());
    }
    PlatPlayWave(nullptr, 0);
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
}

TEST_F(AudioTest, DataChunkLongerThanTheImageIsBoundedByTheImage) {
    const Sound sound = {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 22050, 2205};
    const Bytes wav = MakeWav(sound);
    const size_t dataSize = ChunkSizeField(wav, "data");
    ASSERT_NE(std::string::npos, dataSize);
    const size_t dataStart = dataSize + 4;
    ASSERT_EQ(wav.size(), dataStart + 4u * 2205u);
    const Bytes all = Decoded(wav, Sample::Short);

    struct Case {
        const char* what;
        size_t dataBytes;  // bytes of the data chunk in the image
        uint32_t claimed;  // what its header says
    };
    const Case cases[] = {
        {"whole data, huge claim", 4 * 2205, 0x7ffffff0u},
        {"whole data, claim of all ones", 4 * 2205, 0xffffffffu},
        {"cut mid-data", 4 * 1000, 4 * 2205},
        {"cut mid-frame", 4 * 1000 + 3, 4 * 2205},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(CaptureFile());
        setenv("AUDIODEV", capture2.c_str(), 1);  // so that capture is opened anew
        PlayGuarded(MakeWav({SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 22050, 10}));
        setenv("AUDIODEV", capture.c_str(), 1);

        Bytes image(wav.begin(), wav.begin() + static_cast<std::ptrdiff_t>(dataStart + c.dataBytes));
        Put32(image, dataSize, c.claimed);
        Put32(image, 4, static_cast<uint32_t>(image.size() - 8));
        PlayGuarded(image);
        // The whole frames that the image holds, nothing more.
        const size_t played = c.dataBytes / 4 * 4;
        EXPECT_EQ(Bytes(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(played)), ReadFile(CaptureFile()));
    }
}

}  // namespace
