// The connection loop on the fake clock: the connect time-out, the silence
// rule, the window watch and reconnects, at their limits and across the
// tick wrap-around.
#include "app/connect_loop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "app/launcher.h"
#include "link/endpoint.h"
#include "spotter/player_table.h"
#include "support/test_support.h"

using support::SentIds;
using Ids = std::vector<std::string>;

namespace {

const char kAttempt[] = "Connecting to 127.0.0.1:29999... ";

class ConnectLoopTest : public testing::TestWithParam<TickMs> {
protected:
    void SetUp() override {
        support::FreshDefaults();
        ASSERT_EQ(1, Init());
        CreatePlayerTable();
        announced = false;
        start = GetParam();
        fake::SetTick(start);
    }
    void TearDown() override { FreePlayerTable(); }

    // Runs ConnectLoop. Before the poll of cycle n, `before(n)` may set the
    // clock and queue datagrams; the window watch of cycle n ends the loop
    // when `keepGoing(n)` is false. Returns the console output.
    std::string Run(std::function<void(int)> before, std::function<bool(int)> keepGoing) {
        int cycle = 0;
        int watched = 0;
        fake::OnSleep([&](uint32_t) { before(++cycle); });
        launchedByUs = true;
        fake::OnWindowQuery([&] { return keepGoing(++watched); });
        testing::internal::CaptureStdout();
        ConnectLoop();
        windowQueries = watched;
        return testing::internal::GetCapturedStdout();
    }

    TickMs start = 0;
    int windowQueries = 0;
};

TEST_P(ConnectLoopTest, ConnectTimeoutIsStrictlyMoreThan3000ms) {
    const std::string out = Run(
        [&](int n) {
            if (n == 1) fake::SetTick(start + 3000);
            if (n == 2) fake::SetTick(start + 3001);
        },
        [](int n) { return n < 2; });
    EXPECT_EQ(std::string(kAttempt) + "Connect timeout.\n" + kAttempt, out);
    // No close packet after a time-out; the new attempt ends in the watch.
    EXPECT_EQ((Ids{"ISI", "SST", "ISI", "SST", "ISC"}), SentIds());
    EXPECT_EQ(2, windowQueries) << "the time-out cycle skips the window watch";
    EXPECT_EQ(Quit, ConnectState);
}

TEST_P(ConnectLoopTest, AttemptsRepeatEveryLittleOver3Seconds) {
    // An attempt times out in its 121st cycle (3025 ms), which skips the
    // watch, so each attempt watches 120 times: the 241st watch is the first
    // of the third attempt.
    const std::string out = Run([](int) {}, [](int n) { return n < 241; });
    EXPECT_EQ(std::string(kAttempt) + "Connect timeout.\n" + kAttempt + "Connect timeout.\n" + kAttempt, out);
    EXPECT_EQ((Ids{"ISI", "SST", "ISI", "SST", "ISI", "SST", "ISC"}), SentIds());
    for (uint32_t ms : fake::Sleeps()) EXPECT_EQ(25u, ms);
}

TEST_P(ConnectLoopTest, StateInTheCycleThatReaches3000msStillConnects) {
    const std::string out = Run(
        [&](int n) {
            if (n == 1) {
                fake::SetTick(start + 3001);
                fake::QueueDatagram(support::Sta({}));
            }
        },
        [](int n) { return n < 2; });
    EXPECT_EQ(std::string(kAttempt) + "Connected\nSTA: Requesting player data...\n", out);
    EXPECT_EQ((Ids{"ISI", "SST", "NLI", "MST", "ISC"}), SentIds());
}

TEST_P(ConnectLoopTest, SilenceIsStrictlyMoreThan60000ms) {
    TickMs stamped = 0;
    const std::string out = Run(
        [&](int n) {
            if (n == 1) {
                fake::QueueDatagram(support::Sta({}));
                stamped = fake::Tick();
            }
            if (n == 2) fake::SetTick(stamped + 60000);
            if (n == 3) fake::SetTick(stamped + 60001);
        },
        [](int n) { return n < 4; });
    EXPECT_EQ(std::string(kAttempt) + "Connected\nSTA: Requesting player data...\n" +
                  "No packets received for 60 seconds, reconnecting...\n" + kAttempt,
              out);
    EXPECT_EQ((Ids{"ISI", "SST", "NLI", "MST", "ISC", "ISI", "SST", "ISC"}), SentIds());
}

TEST_P(ConnectLoopTest, EveryAcceptedDatagramPutsSilenceOff) {
    const std::string out = Run(
        [&](int n) {
            if (n == 1) fake::QueueDatagram(support::Sta({}));
            // A datagram 50 s in, then silence up to 110 s: not yet 60 s since it.
            if (n == 2) {
                fake::SetTick(start + 50000);
                fake::QueueDatagram(support::Small("ACK", 0));
            }
            if (n == 3) fake::SetTick(start + 110000);
        },
        [](int n) { return n < 3; });
    EXPECT_EQ(std::string::npos, out.find("No packets"));
}

TEST_P(ConnectLoopTest, QuitWinsOverReconnectInTheSameCycle) {
    TickMs stamped = 0;
    const std::string out = Run(
        [&](int n) {
            if (n == 1) {
                fake::QueueDatagram(support::Sta({}));
                stamped = fake::Tick();
            }
            if (n == 2) fake::SetTick(stamped + 60001);
        },
        [](int n) { return n < 2; });
    EXPECT_EQ(std::string(kAttempt) + "Connected\nSTA: Requesting player data...\n" +
                  "No packets received for 60 seconds, reconnecting...\n",
              out);
    EXPECT_EQ((Ids{"ISI", "SST", "NLI", "MST", "ISC"}), SentIds());
    EXPECT_EQ(Quit, ConnectState);
}

TEST_P(ConnectLoopTest, TimeoutWinsOverAMissingWindowThenTheNextCycleQuits) {
    const std::string out = Run(
        [&](int n) {
            if (n == 1) fake::SetTick(start + 3001);
        },
        [](int) { return false; });
    EXPECT_EQ(std::string(kAttempt) + "Connect timeout.\n" + kAttempt, out);
    EXPECT_EQ((Ids{"ISI", "SST", "ISI", "SST", "ISC"}), SentIds());
    EXPECT_EQ(1, windowQueries);
}

TEST_P(ConnectLoopTest, RaceRestartReconnectsAndAnnouncesOnlyOnce) {
    Settings.autoReconnectOnRestart = 1;
    const std::string out = Run(
        [&](int n) {
            if (n == 1 || n == 3) fake::QueueDatagram(support::Sta({}));
            if (n == 2) fake::QueueDatagram(support::Acked("RST", 20, 7));
        },
        [](int n) { return n < 4; });
    EXPECT_EQ(std::string(kAttempt) + "Connected\nSTA: Requesting player data...\n" +
                  "Race restarted, reconnecting...\nRST: Requesting player data...\n" + kAttempt +
                  "Connected\nSTA: Requesting player data...\n",
              out);
    EXPECT_EQ((Ids{"ISI", "SST", "NLI", "MST", "ACK", "ISC", "ISI", "SST", "NLI", "ISC"}), SentIds());
}

TEST_P(ConnectLoopTest, WithoutAWatchedSimulatorTheLoopGoesOn) {
    // launchedByUs false: a missing window never ends the loop; the test
    // stops it by starting a watch after many attempts.
    int cycles = 0;
    fake::OnSleep([&](uint32_t) {
        if (++cycles == 2000) launchedByUs = true;
    });
    launchedByUs = false;
    fake::SetWindowExists(false);
    testing::internal::CaptureStdout();
    ConnectLoop();
    const std::string out = testing::internal::GetCapturedStdout();
    const Ids ids = SentIds();
    EXPECT_EQ(2000 / 121 + 1, static_cast<int>(std::count(ids.begin(), ids.end(), "ISI")));
    EXPECT_EQ(0, static_cast<int>(std::count(ids.begin(), ids.end(), "ISC") - 1)) << "only the final close";
    EXPECT_EQ(1, fake::WindowQueries());
}

TEST_P(ConnectLoopTest, AttemptLinePrintsDestPortUnsigned) {
    Settings.destPort = 65535;
    snprintf(Settings.address, sizeof Settings.address, "10.1.2.3");
    const std::string out = Run([](int) {}, [](int) { return false; });
    EXPECT_EQ("Connecting to 10.1.2.3:65535... ", out);
}

INSTANTIATE_TEST_SUITE_P(Clock, ConnectLoopTest,
                         testing::Values(TickMs{1000}, TickMs{0xFFFFFFFFu - 1500u}, TickMs{0xFFFFFFFFu - 59990u}),
                         [](const testing::TestParamInfo<TickMs>& info) {
                             return info.param == 1000 ? std::string("Plain") : "Wrap" + std::to_string(info.index);
                         });

}  // namespace
