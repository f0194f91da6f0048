#include "app/window_timers.h"

#include <gtest/gtest.h>

#include <QTest>
#include <algorithm>
#include <vector>

#include "qt_test_app.h"

namespace {

// Timers under test run a thousand times faster than written; every wait has a limit.
constexpr int kWatchdogMs = 5000;

class WindowTimersTest : public ::testing::Test {
  protected:
    void SetUp() override { WindowTimers::SetTimeScale(0.001); }
    void TearDown() override { WindowTimers::SetTimeScale(1.0); }
};

TEST_F(WindowTimersTest, PeriodsFollowTheTimeScale) {
    EXPECT_EQ(WindowTimers::ScaledPeriod(15000), 15);
    EXPECT_EQ(WindowTimers::ScaledPeriod(5000), 5);
    EXPECT_EQ(WindowTimers::ScaledPeriod(100), 1);  // never below one millisecond
    WindowTimers::SetTimeScale(1.0);
    EXPECT_EQ(WindowTimers::ScaledPeriod(120000), 120000);
    WindowTimers::SetTimeScale(0);  // not a scale: real time
    EXPECT_EQ(WindowTimers::TimeScale(), 1.0);
}

TEST_F(WindowTimersTest, RepeatsUntilKilledFromItsOwnHandler) {
    std::vector<unsigned> ticks;
    WindowTimers* self = nullptr;
    WindowTimers timers([&](unsigned id) {
        ticks.push_back(id);
        if (ticks.size() == 8) {
            EXPECT_TRUE(self->KillTimer(id));
        }
    });
    self = &timers;
    EXPECT_EQ(timers.SetTimer(1, 15000), 1u);
    EXPECT_TRUE(timers.IsTimerRunning(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks.size() >= 8; }, kWatchdogMs));
    EXPECT_FALSE(timers.IsTimerRunning(1));
    QTest::qWait(40);  // a killed timer stays quiet
    EXPECT_EQ(ticks, std::vector<unsigned>(8, 1));
}

TEST_F(WindowTimersTest, SeveralIdsAndRestart) {
    std::vector<unsigned> ticks;
    WindowTimers timers([&](unsigned id) { ticks.push_back(id); });
    timers.SetTimer(2, 5000);
    timers.SetTimer(1, 15000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::count(ticks.begin(), ticks.end(), 1u) >= 1; },
                                kWatchdogMs));
    EXPECT_GE(std::count(ticks.begin(), ticks.end(), 2u), 1);
    EXPECT_TRUE(timers.KillTimer(2));
    EXPECT_FALSE(timers.KillTimer(2));        // no longer running
    EXPECT_FALSE(timers.KillTimer(9));        // never set
    EXPECT_EQ(timers.SetTimer(2, 5000), 2u);  // set again after a kill
    EXPECT_TRUE(timers.IsTimerRunning(2));
    EXPECT_EQ(timers.SetTimer(0, 5000), 0u);
}

TEST_F(WindowTimersTest, DestroyingTheOwnerStopsItsTimers) {
    int ticks = 0;
    {
        WindowTimers timers([&](unsigned) { ++ticks; });
        timers.SetTimer(1, 5000);
    }
    QTest::qWait(30);
    EXPECT_EQ(ticks, 0);
}

}  // namespace
