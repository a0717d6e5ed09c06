// LoadSettings on the fake platform: the console line, the defaults, every
// key in its own section, ports, flags, text buffer limits and the path
// built from a long current directory.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "config/settings.h"
#include "fake/fake_platform.h"

namespace {

namespace fs = std::filesystem;

class LoadSettingsTest : public testing::Test {
protected:
    void SetUp() override {
        std::string templ = (fs::temp_directory_path() / "flankguard-settings-XXXXXX").string();
        ASSERT_NE(nullptr, mkdtemp(templ.data()));
        dir = templ;
        fake::Reset();
        fake::SetCurrentDirectory(dir.string());
        // Stale values that LoadSettings must overwrite.
        memset(&Settings, 0x5a, sizeof Settings);
    }
    void TearDown() override {
        std::error_code ignored;  // very long paths may defeat the removal on some systems
        fs::remove_all(dir, ignored);
    }

    void WriteConfig(const std::string& content) {
        fs::create_directories(dir / "spotter");
        std::ofstream out(dir / "spotter" / "config.cfg", std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
    }

    // Runs LoadSettings and returns what it printed.
    std::string Load() {
        testing::internal::CaptureStdout();
        LoadSettings();
        return testing::internal::GetCapturedStdout();
    }

    fs::path dir;
};

void ExpectDefaults(const SettingsRecord& s) {
    EXPECT_STREQ("127.0.0.1", s.address);
    EXPECT_EQ(29999, s.destPort);
    EXPECT_EQ(30000, s.srcPort);
    EXPECT_STREQ("", s.adminPass);
    EXPECT_EQ(1, s.autoReconnectOnRestart);
    EXPECT_EQ(1, s.autorunLFS);
    EXPECT_STREQ("./LFS.exe", s.LFSpath);
    EXPECT_EQ(23, s.maxXDistance);
    EXPECT_EQ(25, s.minSpeed);
    EXPECT_EQ(75, s.maxSpeedDiffFaster);
    EXPECT_EQ(75, s.maxSpeedDiffSlower);
    EXPECT_EQ(30, s.maxAngleDiff);
    EXPECT_EQ(2500, s.stillThereInterval);
    EXPECT_EQ(400, s.prediction);
    EXPECT_EQ(0, s.ovalOnly);
}

TEST_F(LoadSettingsTest, NoFilePrintsPathAndUsesDefaults) {
    EXPECT_EQ("Loading config " + dir.string() + "/spotter/config.cfg...\n\n", Load());
    ExpectDefaults(Settings);
}

TEST_F(LoadSettingsTest, EmptyFileAndSpotterDirectoryAsFile) {
    WriteConfig("");
    Load();
    ExpectDefaults(Settings);

    // config.cfg is a directory: no file.
    fs::remove(dir / "spotter" / "config.cfg");
    fs::create_directories(dir / "spotter" / "config.cfg");
    Load();
    ExpectDefaults(Settings);
}

TEST_F(LoadSettingsTest, EveryKeyReadFromItsSection) {
    WriteConfig(
        "[main]\r\n"
        "address=10.1.2.3\r\n"
        "destPort=1000\r\n"
        "srcPort=2000\r\n"
        "adminPass=secret\r\n"
        "autoReconnectOnRestart=0\r\n"
        "autorunLFS=0\r\n"
        "LFSpath=/opt/lfs/LFS.exe\r\n"
        "[spotting]\r\n"
        "maxXDistance=5\r\n"
        "minSpeed=6\r\n"
        "maxSpeedDiffFaster=7\r\n"
        "maxSpeedDiffSlower=8\r\n"
        "maxAngleDiff=9\r\n"
        "stillThereInterval=10\r\n"
        "prediction=0\r\n"
        "ovalOnly=1\r\n");
    EXPECT_EQ("Loading config " + dir.string() + "/spotter/config.cfg...\n\n", Load());
    const SettingsRecord& s = Settings;
    EXPECT_STREQ("10.1.2.3", s.address);
    EXPECT_EQ(1000, s.destPort);
    EXPECT_EQ(2000, s.srcPort);
    EXPECT_STREQ("secret", s.adminPass);
    EXPECT_EQ(0, s.autoReconnectOnRestart);
    EXPECT_EQ(0, s.autorunLFS);
    EXPECT_STREQ("/opt/lfs/LFS.exe", s.LFSpath);
    EXPECT_EQ(5, s.maxXDistance);
    EXPECT_EQ(6, s.minSpeed);
    EXPECT_EQ(7, s.maxSpeedDiffFaster);
    EXPECT_EQ(8, s.maxSpeedDiffSlower);
    EXPECT_EQ(9, s.maxAngleDiff);
    EXPECT_EQ(10, s.stillThereInterval);
    EXPECT_EQ(0, s.prediction);
    EXPECT_EQ(1, s.ovalOnly);
}

// Each key is read from its own section only: the same keys under the
// other section name change nothing.
TEST_F(LoadSettingsTest, KeysInTheWrongSectionAreIgnored) {
    WriteConfig(
        "[spotting]\naddress=10.1.2.3\ndestPort=1000\nsrcPort=2000\nadminPass=x\n"
        "autoReconnectOnRestart=0\nautorunLFS=0\nLFSpath=y\n"
        "[main]\nmaxXDistance=5\nminSpeed=6\nmaxSpeedDiffFaster=7\nmaxSpeedDiffSlower=8\n"
        "maxAngleDiff=9\nstillThereInterval=10\nprediction=0\novalOnly=1\n");
    Load();
    ExpectDefaults(Settings);
}

TEST_F(LoadSettingsTest, SomeKeysKeepTheOthersDefault) {
    WriteConfig("[MAIN]\nAddress = \"192.168.0.20\"\n[spotting]\nminSpeed=40\nprediction=\n");
    Load();
    SettingsRecord expected = Settings;
    EXPECT_STREQ("192.168.0.20", Settings.address);
    EXPECT_EQ(40, Settings.minSpeed);
    // Everything else as without a file.
    strcpy(expected.address, "127.0.0.1");
    expected.minSpeed = 25;
    ExpectDefaults(expected);
}

struct NumberCase {
    const char* value;
    uint16_t destPort;  // also srcPort
    uint8_t flag;       // autorunLFS, autoReconnectOnRestart, ovalOnly
    int32_t integer;    // maxXDistance
};

TEST_F(LoadSettingsTest, PortsFlagsAndIntegers) {
    const NumberCase cases[] = {
        {"0", 0, 0, 0},
        {"1", 1, 1, 1},
        {"2", 2, 1, 2},
        {"-1", 65535, 1, -1},
        {"65535", 65535, 1, 65535},
        {"65536", 0, 1, 65536},
        {"95535", 29999, 1, 95535},
        {"4294967296", 0, 0, 0},  // wraps to 0 before the flag test
        {"0x10000", 0, 1, 65536},
        {"abc", 0, 0, 0},
    };
    for (const NumberCase& c : cases) {
        SCOPED_TRACE(c.value);
        const std::string v = c.value;
        WriteConfig("[main]\ndestPort=" + v + "\nsrcPort=" + v + "\nautorunLFS=" + v +
                    "\nautoReconnectOnRestart=" + v + "\n[spotting]\novalOnly=" + v + "\nmaxXDistance=" + v +
                    "\n");
        Load();
        EXPECT_EQ(c.destPort, Settings.destPort);
        EXPECT_EQ(c.destPort, Settings.srcPort);
        EXPECT_EQ(c.flag, Settings.autorunLFS);
        EXPECT_EQ(c.flag, Settings.autoReconnectOnRestart);
        EXPECT_EQ(c.flag, Settings.ovalOnly);
        EXPECT_EQ(c.integer, Settings.maxXDistance);
    }
}

TEST_F(LoadSettingsTest, TextsCutToTheirBuffers) {
    const std::string longText(600, 'q');
    WriteConfig("[main]\naddress=" + longText + "\nadminPass=\"" + longText + "\"\nLFSpath=" + longText + "\n");
    Load();
    EXPECT_EQ(longText.substr(0, 127), Settings.address);
    EXPECT_EQ(longText.substr(0, 127), Settings.adminPass);
    EXPECT_EQ(longText.substr(0, 255), Settings.LFSpath);
    // The next field after each buffer is read as its own value, not overrun.
    EXPECT_EQ(29999, Settings.destPort);
    EXPECT_EQ(1, Settings.autoReconnectOnRestart);
    EXPECT_EQ(23, Settings.maxXDistance);
}

TEST_F(LoadSettingsTest, TextsThatJustFit) {
    WriteConfig("[main]\naddress=" + std::string(127, 'a') + "\nLFSpath=" + std::string(255, 'l') + "\n");
    Load();
    EXPECT_EQ(std::string(127, 'a'), Settings.address);
    EXPECT_EQ(std::string(255, 'l'), Settings.LFSpath);
}

// A directory far longer than the Windows path buffer still gives the
// whole path, and the file below it is read.
TEST_F(LoadSettingsTest, LongCurrentDirectory) {
    const std::string longDir = "/" + std::string(5000, 'd') + "/x";
    fake::SetCurrentDirectory(longDir);
    EXPECT_EQ("Loading config " + longDir + "/spotter/config.cfg...\n\n", Load());
    ExpectDefaults(Settings);

    // A real deep directory: the path must reach the file to read it.
    fs::path deep = dir;
    for (int i = 0; i < 15; ++i) deep /= std::string(200, static_cast<char>('a' + i));
    fs::create_directories(deep / "spotter");
    {
        std::ofstream out(deep / "spotter" / "config.cfg", std::ios::binary);
        out << "[spotting]\nminSpeed=61\n";
    }
    fake::SetCurrentDirectory(deep.string());
    EXPECT_EQ("Loading config " + deep.string() + "/spotter/config.cfg...\n\n", Load());
    EXPECT_EQ(61, Settings.minSpeed);
}

// No current directory to be had: the path relative to it names the same
// file.
TEST_F(LoadSettingsTest, NoCurrentDirectory) {
    const fs::path processDir = fs::current_path();
    fs::current_path(dir);
    fake::SetCurrentDirectory("");
    EXPECT_EQ("Loading config spotter/config.cfg...\n\n", Load());
    ExpectDefaults(Settings);

    WriteConfig("[spotting]\nminSpeed=61\n");
    EXPECT_EQ("Loading config spotter/config.cfg...\n\n", Load());
    EXPECT_EQ(61, Settings.minSpeed);
    fs::current_path(processDir);
}

}  // namespace
