// Tests of the Win32 backend on a real (or Wine's) Windows: the clock, the
// current directory, the profile reader, the UDP endpoint on loopback, the
// launcher and the window search.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace {

using Bytes = std::vector<uint8_t>;

// --- Clock, directory, separator ------------------------------------------

TEST(Win32System, TickCountAdvancesWithSleep) {
    const TickMs before = PlatTickCount();
    PlatSleep(60);
    const TickMs elapsed = PlatTickCount() - before;
    EXPECT_GE(elapsed, 40u);
    EXPECT_LT(elapsed, 5000u);
}

TEST(Win32System, CurrentDirectoryFollowsTheSizeContract) {
    const std::string cwd = std::filesystem::current_path().string();
    // Asking with no buffer gives the size needed, the NUL included.
    const size_t need = PlatCurrentDirectory(nullptr, 0);
    ASSERT_EQ(cwd.size() + 1, need);

    std::vector<char> fits(need, 'x');
    EXPECT_EQ(cwd.size(), PlatCurrentDirectory(fits.data(), fits.size()));
    EXPECT_EQ(cwd, std::string(fits.data()));

    // One byte short (no room for the NUL): the size needed again.
    std::vector<char> tight(need - 1, 'x');
    EXPECT_EQ(need, PlatCurrentDirectory(tight.data(), tight.size()));
}

TEST(Win32System, PathSeparatorIsBackslash) {
    EXPECT_EQ('\\', PlatPathSeparator());
}

TEST(Win32System, ConsoleTitleWithoutConsoleIsHarmless) {
    PlatSetConsoleTitle("Flankguard");
}

// --- Profile reader ---------------------------------------------------------

class Win32Profile : public testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() / ("fg-profile-" + std::to_string(GetCurrentProcessId()));
        std::filesystem::create_directories(dir);
        path = (dir / "config.cfg").string();
        std::ofstream f(path, std::ios::binary);
        f << "[main]\r\naddress=10.0.0.7\r\ndestPort=70000\r\nempty=\r\n[spotting]\r\nprediction=-5\r\n";
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    std::string Text(const char* section, const char* key, const char* def, size_t cap, size_t* n = nullptr) {
        std::vector<char> buf(cap + 1, '#');
        const size_t got = PlatProfileString(section, key, def, buf.data(), cap, path.c_str());
        if (n) *n = got;
        EXPECT_EQ('#', buf[cap]) << "wrote past the buffer";
        return cap ? std::string(buf.data()) : std::string();
    }
    std::filesystem::path dir;
    std::string path;
};

TEST_F(Win32Profile, TextValuesAndDefaults) {
    size_t n = 0;
    EXPECT_EQ("10.0.0.7", Text("main", "address", "127.0.0.1", 128, &n));
    EXPECT_EQ(8u, n);
    EXPECT_EQ("127.0.0.1", Text("main", "missing", "127.0.0.1", 128, &n));
    EXPECT_EQ(9u, n);
    EXPECT_EQ("127.0.0.1", Text("nosection", "address", "127.0.0.1", 128));
    EXPECT_EQ("", Text("main", "empty", "dflt", 128, &n));
    EXPECT_EQ(0u, n);
}

TEST_F(Win32Profile, TextIsCutToTheBufferLessOne) {
    size_t n = 0;
    EXPECT_EQ("10.0", Text("main", "address", "", 5, &n));
    EXPECT_EQ(4u, n);
    EXPECT_EQ("1", Text("main", "missing", "127.0.0.1", 2, &n));
    EXPECT_EQ(1u, n);
    // No room at all: nothing is written, nothing is copied.
    EXPECT_EQ("", Text("main", "address", "", 0, &n));
    EXPECT_EQ(0u, n);
}

TEST_F(Win32Profile, IntegersAndDefaults) {
    EXPECT_EQ(70000, PlatProfileInt("main", "destPort", 29999, path.c_str()));
    EXPECT_EQ(-5, PlatProfileInt("spotting", "prediction", 400, path.c_str()));
    EXPECT_EQ(400, PlatProfileInt("spotting", "missing", 400, path.c_str()));
    EXPECT_EQ(-7, PlatProfileInt("main", "empty", -7, path.c_str()));
}

TEST_F(Win32Profile, MissingFileGivesDefaults) {
    const std::string none = (dir / "none.cfg").string();
    char buf[16];
    EXPECT_EQ(3u, PlatProfileString("main", "address", "abc", buf, sizeof buf, none.c_str()));
    EXPECT_STREQ("abc", buf);
    EXPECT_EQ(25, PlatProfileInt("spotting", "minSpeed", 25, none.c_str()));
}

// --- UDP endpoint -------------------------------------------------------------

uint16_t PortOf(PlatSocket s) {
    sockaddr_in a;
    int len = sizeof a;
    memset(&a, 0, sizeof a);
    if (getsockname(static_cast<SOCKET>(s), reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
    return ntohs(a.sin_port);
}

class Win32Udp : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(PlatNetStart());
        a = PlatUdpOpen(0);
        b = PlatUdpOpen(0);
        ASSERT_NE(kPlatNoSocket, a);
        ASSERT_NE(kPlatNoSocket, b);
        portB = PortOf(b);
        ASSERT_NE(0, portB);
    }
    void TearDown() override {
        if (a != kPlatNoSocket) closesocket(static_cast<SOCKET>(a));
        if (b != kPlatNoSocket) closesocket(static_cast<SOCKET>(b));
        WSACleanup();
    }
    // Loopback delivery is quick but not instant: polls until a datagram
    // is recorded or a second has passed.
    bool WaitingSoon(PlatSocket s) {
        for (int i = 0; i < 200; ++i) {
            if (PlatUdpWaiting(s)) return true;
            Sleep(5);
        }
        return false;
    }
    bool Send(const Bytes& bytes) { return PlatUdpSend(a, "127.0.0.1", portB, bytes.data(), bytes.size()); }

    PlatSocket a = kPlatNoSocket;
    PlatSocket b = kPlatNoSocket;
    uint16_t portB = 0;
};

Bytes Numbered(size_t len, uint8_t seed) {
    Bytes bytes(len);
    for (size_t i = 0; i < len; ++i) bytes[i] = static_cast<uint8_t>(seed + i);
    return bytes;
}

TEST_F(Win32Udp, DatagramGoesOverLoopbackWhole) {
    EXPECT_FALSE(PlatUdpWaiting(b));
    const Bytes sent = Numbered(204, 7);
    ASSERT_TRUE(Send(sent));
    ASSERT_TRUE(WaitingSoon(b));
    Bytes got(512, 0);
    ASSERT_EQ(204, PlatUdpReceive(b, got.data(), got.size()));
    got.resize(204);
    EXPECT_EQ(sent, got);
    EXPECT_FALSE(PlatUdpWaiting(b));
}

TEST_F(Win32Udp, EachReceiveRecordsTheNextWaitingDatagram) {
    // What the poll loop relies on: one readiness check per datagram, in
    // order, and none after the last.
    for (uint8_t i = 0; i < 3; ++i) ASSERT_TRUE(Send(Numbered(8 + i, i)));
    Sleep(100);
    for (uint8_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(WaitingSoon(b));
        uint8_t buf[64];
        ASSERT_EQ(8 + i, PlatUdpReceive(b, buf, sizeof buf));
        EXPECT_EQ(Numbered(8 + i, i), Bytes(buf, buf + 8 + i));
    }
    EXPECT_FALSE(PlatUdpWaiting(b));
}

TEST_F(Win32Udp, LongDatagramIsCutToTheBuffer) {
    ASSERT_TRUE(Send(Numbered(600, 1)));
    ASSERT_TRUE(Send(Numbered(5, 9)));
    Sleep(100);
    ASSERT_TRUE(WaitingSoon(b));
    uint8_t buf[512 + 1];
    buf[512] = 0xCC;
    EXPECT_EQ(512, PlatUdpReceive(b, buf, 512));
    EXPECT_EQ(Numbered(512, 1), Bytes(buf, buf + 512));
    EXPECT_EQ(0xCC, buf[512]);
    // The rest of the long one is lost; the next datagram comes whole.
    ASSERT_TRUE(WaitingSoon(b));
    EXPECT_EQ(5, PlatUdpReceive(b, buf, sizeof buf));
    EXPECT_EQ(Numbered(5, 9), Bytes(buf, buf + 5));
}

TEST_F(Win32Udp, ReceiveWithNothingWaitingFailsAtOnce) {
    uint8_t buf[16];
    const TickMs before = PlatTickCount();
    EXPECT_EQ(-1, PlatUdpReceive(b, buf, sizeof buf));
    EXPECT_LT(PlatTickCount() - before, 1000u) << "the socket must not block";
}

TEST_F(Win32Udp, PortInUseCannotBeOpened) {
    EXPECT_EQ(kPlatNoSocket, PlatUdpOpen(portB));
}

TEST_F(Win32Udp, SendToSomethingNotAnAddressFails) {
    const Bytes bytes = Numbered(8, 0);
    for (const char* address : {"localhost", "", "1.2.3.4.5", "255.255.255.255"}) {
        SCOPED_TRACE(address);
        EXPECT_FALSE(PlatUdpSend(a, address, portB, bytes.data(), bytes.size()));
    }
    Sleep(50);
    EXPECT_FALSE(PlatUdpWaiting(b));
}

TEST_F(Win32Udp, NoSocketFailsEverything) {
    const Bytes bytes = Numbered(8, 0);
    uint8_t buf[16];
    EXPECT_FALSE(PlatUdpSend(kPlatNoSocket, "127.0.0.1", portB, bytes.data(), bytes.size()));
    EXPECT_FALSE(PlatUdpWaiting(kPlatNoSocket));
    EXPECT_EQ(-1, PlatUdpReceive(kPlatNoSocket, buf, sizeof buf));
}

// --- Launcher, window, sound ----------------------------------------------------

std::string OwnExe() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    return std::string(path, n);
}

TEST(Win32Launch, MissingProgramGivesItsErrorCode) {
    EXPECT_EQ(static_cast<uint32_t>(ERROR_FILE_NOT_FOUND),
              PlatLaunch("flankguard_no_such_program.exe /insim=29999"));
}

TEST(Win32Launch, ExistingProgramStarts) {
    // This very program, told to run no test: it ends at once.
    const std::string cmd = "\"" + OwnExe() + "\" --gtest_filter=NoSuchTest.None";
    EXPECT_EQ(0u, PlatLaunch(cmd.c_str()));
}

TEST(Win32Launch, OverlongCommandLineIsRefused) {
    const std::string cmd(40000, 'a');
    EXPECT_EQ(static_cast<uint32_t>(ERROR_FILENAME_EXCED_RANGE), PlatLaunch(cmd.c_str()));
}

TEST(Win32Window, FoundByExactTitleWhileItExists) {
    const std::string title = "Flankguard probe " + std::to_string(GetCurrentProcessId());
    EXPECT_FALSE(PlatWindowExists(title.c_str()));

    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "FlankguardProbe";
    RegisterClassA(&wc);
    // Never shown: a hidden top-level window counts as well.
    HWND window = CreateWindowExA(0, wc.lpszClassName, title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                  nullptr, wc.hInstance, nullptr);
    ASSERT_NE(nullptr, window) << "CreateWindowExA failed (" << GetLastError()
                               << "); under Wine this needs an X display, e.g. xvfb-run";
    EXPECT_TRUE(PlatWindowExists(title.c_str()));
    EXPECT_FALSE(PlatWindowExists((title + " ").c_str()));
    EXPECT_FALSE(PlatWindowExists(title.substr(1).c_str()));
    DestroyWindow(window);
    EXPECT_FALSE(PlatWindowExists(title.c_str()));
}

TEST(Win32Sound, TooShortOrMissingImageReturnsAtOnce) {
    const uint8_t riff[] = {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V'};
    PlatPlayWave(nullptr, 0);
    PlatPlayWave(riff, sizeof riff);
}

TEST(Win32Sound, ShortWaveReturnsWhenDone) {
    // 20 ms of 8 kHz 8-bit silence; with or without a sound device the
    // call must come back.
    Bytes wav = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0,
                 1, 0, 1, 0, 0x40, 0x1F, 0, 0, 0x40, 0x1F, 0, 0, 1, 0, 8, 0, 'd', 'a', 't', 'a', 160, 0, 0, 0};
    wav.resize(wav.size() + 160, 0x80);
    const uint32_t riffSize = static_cast<uint32_t>(wav.size() - 8);
    memcpy(wav.data() + 4, &riffSize, 4);
    const TickMs before = PlatTickCount();
    PlatPlayWave(wav.data(), wav.size());
    EXPECT_LT(PlatTickCount() - before, 5000u);
}

}  // namespace
