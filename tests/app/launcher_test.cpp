// The simulator launcher on the fake backend: when it launches, the exact
// console line, the command line it hands over, the 7500 ms wait and the
// launchedByUs flag.
#include "app/launcher.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "config/settings.h"
#include "support/test_support.h"

namespace {

struct LaunchCase {
    const char* name;
    bool autorun;
    bool windowOpen;
    uint32_t launchError;
    const char* output;
    std::vector<std::string> launches;
    std::vector<uint32_t> sleeps;
    bool launched;
    int windowQueries;
};

void PrintTo(const LaunchCase& c, std::ostream* os) {
    *os << c.name;
}

class LaunchTable : public testing::TestWithParam<LaunchCase> {};

TEST_P(LaunchTable, LinesLaunchesWaitsAndFlag) {
    const LaunchCase& c = GetParam();
    support::FreshDefaults();
    Settings.autorunLFS = c.autorun ? 1 : 0;
    fake::SetWindowExists(c.windowOpen);
    fake::SetLaunchError(c.launchError);
    launchedByUs = true;  // cleared first, whatever happens next

    testing::internal::CaptureStdout();
    LaunchSimulator();
    const std::string out = testing::internal::GetCapturedStdout();

    EXPECT_EQ(c.output, out);
    EXPECT_EQ(c.launches, fake::Launches());
    EXPECT_EQ(c.sleeps, fake::Sleeps());
    EXPECT_EQ(c.launched, launchedByUs);
    EXPECT_EQ(c.windowQueries, fake::WindowQueries());
}

INSTANTIATE_TEST_SUITE_P(
    Launcher, LaunchTable,
    testing::Values(
        LaunchCase{"AutorunOffLooksForNoWindow", false, false, 0, "", {}, {}, false, 0},
        LaunchCase{"AutorunOffWithWindow", false, true, 0, "", {}, {}, false, 0},
        LaunchCase{"WindowAlreadyOpenStartsNothing", true, true, 0, "", {}, {}, false, 1},
        LaunchCase{"LaunchDone", true, false, 0, "Autorun enabled, launching ./LFS.exe... done.\n",
                   {"./LFS.exe /insim=29999"}, {7500}, true, 1},
        LaunchCase{"LaunchFailedMissingFile", true, false, 2,
                   "Autorun enabled, launching ./LFS.exe... failed, error 0x2 (2).\n",
                   {"./LFS.exe /insim=29999"}, {7500}, true, 1},
        // Hexadecimal in upper case; the decimal is the signed 32-bit reading.
        LaunchCase{"LaunchFailedUpperHex", true, false, 193,
                   "Autorun enabled, launching ./LFS.exe... failed, error 0xC1 (193).\n",
                   {"./LFS.exe /insim=29999"}, {7500}, true, 1},
        LaunchCase{"LaunchFailedHighBit", true, false, 0x80070005u,
                   "Autorun enabled, launching ./LFS.exe... failed, error 0x80070005 (-2147024891).\n",
                   {"./LFS.exe /insim=29999"}, {7500}, true, 1}),
    [](const testing::TestParamInfo<LaunchCase>& info) { return std::string(info.param.name); });

class LauncherTest : public testing::Test {
protected:
    void SetUp() override {
        support::FreshDefaults();
        Settings.autorunLFS = 1;
    }

    std::string Launch() {
        testing::internal::CaptureStdout();
        LaunchSimulator();
        return testing::internal::GetCapturedStdout();
    }
};

TEST_F(LauncherTest, SwitchAlwaysNamesPort29999) {
    for (uint16_t port : {uint16_t{29999}, uint16_t{30000}, uint16_t{1}, uint16_t{65535}}) {
        fake::Reset();
        Settings.destPort = port;
        Launch();
        ASSERT_EQ(1u, fake::Launches().size());
        EXPECT_EQ("./LFS.exe /insim=29999", fake::Launches()[0]) << "destPort " << port;
    }
}

TEST_F(LauncherTest, PathWithBlanksGoesUnquoted) {
    strcpy(Settings.LFSpath, "C:\\Program Files\\LFS\\LFS.exe");
    const std::string out = Launch();
    EXPECT_EQ("Autorun enabled, launching C:\\Program Files\\LFS\\LFS.exe... done.\n", out);
    ASSERT_EQ(1u, fake::Launches().size());
    EXPECT_EQ("C:\\Program Files\\LFS\\LFS.exe /insim=29999", fake::Launches()[0]);
}

TEST_F(LauncherTest, LongestPathKeepsTheWholeSwitch) {
    const std::string path(255, 'p');
    memcpy(Settings.LFSpath, path.c_str(), path.size() + 1);
    Launch();
    ASSERT_EQ(1u, fake::Launches().size());
    EXPECT_EQ(path + " /insim=29999", fake::Launches()[0]);
}

}  // namespace
