#include "upnp/lifetime_monitor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "chain_test_support.h"

namespace upnp {
namespace {

using test::runPasses;

class LifetimeMonitorTest : public ::testing::Test {
  protected:
    test::Watchdog watchdog;
    ManualClock clock;
    std::unique_ptr<Chain> chain = createChain(clock);
    LifetimeMonitor& monitor = createLifetimeMonitor(*chain);
    std::vector<std::string> log;
    int ownerA = 0, ownerB = 0, ownerC = 0;

    LifetimeMonitor::Callback record(std::string what) {
        return [this, what] { log.push_back(what); };
    }
    // How long the chain would wait now, as its hooks see it.
    int budget() {
        SocketSets sets;
        int waitMs = Chain::kWaitBudgetMs;
        monitor.preSelect(sets, waitMs);
        return waitMs;
    }
};

TEST_F(LifetimeMonitorTest, FiresOnceTheClockHasPassedTheExpiry) {
    lifetimeAdd(monitor, &ownerA, 100, record("a"));

    clock.advance(100);
    runPasses(*chain, 2);
    EXPECT_TRUE(log.empty());  // due at now, not yet past it
    clock.advance(1);
    runPasses(*chain, 2);
    EXPECT_EQ(log, (std::vector<std::string>{"a"}));
    EXPECT_EQ(monitor.pendingCount(), 0u);
}

TEST_F(LifetimeMonitorTest, SameMillisecondEntriesFireLatestAddedFirst) {
    lifetimeAdd(monitor, &ownerA, 50, record("first"));
    lifetimeAdd(monitor, &ownerB, 50, record("second"));
    lifetimeAdd(monitor, &ownerC, 20, record("early"));
    lifetimeAdd(monitor, &ownerC, 80, record("late"));

    clock.advance(100);
    runOnePass(*chain, 0);

    EXPECT_EQ(log, (std::vector<std::string>{"early", "second", "first", "late"}));
}

TEST_F(LifetimeMonitorTest, ZeroMillisecondsFiresInThePassAfterTheClockMoved) {
    lifetimeAdd(monitor, &ownerA, 0, record("now"));

    EXPECT_EQ(budget(), 0);  // the chain does not wait in between
    runPasses(*chain, 3);
    EXPECT_TRUE(log.empty());
    clock.advance(1);
    runOnePass(*chain, 0);
    EXPECT_EQ(log, (std::vector<std::string>{"now"}));
}

TEST_F(LifetimeMonitorTest, WaitIsLoweredToTheEarliestEntry) {
    EXPECT_EQ(budget(), Chain::kWaitBudgetMs);
    lifetimeAdd(monitor, &ownerA, 30'000, record("a"));
    lifetimeAdd(monitor, &ownerB, 1'800'000, record("b"));
    EXPECT_EQ(budget(), 30'000);
    clock.advance(10'000);
    EXPECT_EQ(budget(), 20'000);
}

TEST_F(LifetimeMonitorTest, AnEntryFarBeyondADayLeavesTheDayBudget) {
    lifetimeAdd(monitor, &ownerA, int64_t{100} * 86'400'000, record("a"));
    EXPECT_EQ(budget(), Chain::kWaitBudgetMs);
}

TEST_F(LifetimeMonitorTest, AddingTheEarliestEntryWakesAWaitingChain) {
    std::atomic<bool> fired = false;
    std::atomic<int> passes = 0;
    lifetimeAdd(monitor, &ownerB, 0, [&] { ++passes; });  // marks that the loop has begun
    clock.advance(1);
    std::thread loop([&] { startChain(*chain); });
    while (passes == 0)
        std::this_thread::yield();

    // The chain now waits a day. The new entry becomes the head and must wake it; it is
    // a 0 ms entry, so the chain stops waiting and fires it once the clock moves. Without the
    // wake-up the watchdog ends the test.
    lifetimeAdd(monitor, &ownerA, 0, [&] { fired = true; });
    clock.advance(1);
    while (!fired)
        std::this_thread::yield();
    stopChain(*chain);
    loop.join();
}

TEST_F(LifetimeMonitorTest, RemoveCancelsEveryEntryOfItsKeyAndRunsTheirDestroy) {
    lifetimeAdd(monitor, &ownerA, 10, record("a1"), record("a1.destroy"));
    lifetimeAdd(monitor, &ownerB, 10, record("b"), record("b.destroy"));
    lifetimeAdd(monitor, &ownerA, 20, record("a2"));

    lifetimeRemove(monitor, &ownerA);
    clock.advance(100);
    runOnePass(*chain, 0);

    EXPECT_EQ(log, (std::vector<std::string>{"a1.destroy", "b"}));
}

TEST_F(LifetimeMonitorTest, RemovalDuringDispatchDestroysInsteadOfFiring) {
    // Both entries are due in the same pass; the first one removes the second one's owner,
    // whose entry has already been taken out for dispatch.
    lifetimeAdd(monitor, &ownerB, 5, record("b"), record("b.destroy"));
    lifetimeAdd(monitor, &ownerA, 1, [&] {
        log.push_back("a");
        lifetimeRemove(monitor, &ownerB);
    });

    clock.advance(10);
    runOnePass(*chain, 0);

    EXPECT_EQ(log, (std::vector<std::string>{"a", "b.destroy"}));
}

// A removed key must never fire again, whatever the state of its entries when it is removed:
// callbacks hold their owner's address, and an owner removes its key just before it goes away.
// Each row runs one pass in which the entry "x" removes the key of ownerB.
struct RemovalDuringDispatch {
    const char* name;
    int64_t xMs;     // when "x" (the remover) falls due
    int64_t bDueMs;  // entries of ownerB that are due in the same pass
    int bDueCount;
    bool bWaiting;  // one more entry of ownerB that is not yet due
};

void PrintTo(const RemovalDuringDispatch& row, std::ostream* out) {
    *out << row.name;
}

class LifetimeRemovalDuringDispatchTest
    : public LifetimeMonitorTest,
      public ::testing::WithParamInterface<RemovalDuringDispatch> {};

TEST_P(LifetimeRemovalDuringDispatchTest, NoEntryOfTheRemovedKeyFires) {
    const RemovalDuringDispatch& row = GetParam();
    lifetimeAdd(monitor, &ownerA, row.xMs, [&] {
        log.push_back("x");
        lifetimeRemove(monitor, &ownerB);
    });
    for (int i = 0; i < row.bDueCount; ++i)
        lifetimeAdd(monitor, &ownerB, row.bDueMs, record("b"), record("b.destroy"));
    if (row.bWaiting)
        lifetimeAdd(monitor, &ownerB, 500, record("b.later"), record("b.later.destroy"));

    clock.advance(10);
    runOnePass(*chain, 0);
    clock.advance(1000);
    runPasses(*chain, 2);

    std::vector<std::string> expected{"x"};
    for (int i = 0; i < row.bDueCount; ++i)
        expected.push_back("b.destroy");
    if (row.bWaiting)
        expected.push_back("b.later.destroy");
    std::sort(expected.begin() + 1, expected.end());
    std::sort(log.begin() + std::min<size_t>(1, log.size()), log.end());
    EXPECT_EQ(log, expected);
    EXPECT_EQ(monitor.pendingCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LifetimeRemovalDuringDispatchTest,
    ::testing::Values(
        // Two entries of the key due in the pass, behind the remover.
        RemovalDuringDispatch{"TwoDueEntries", 1, 5, 2, false},
        // Three of them: the first cancelled one must not use up the removal.
        RemovalDuringDispatch{"ThreeDueEntries", 1, 5, 3, false},
        // One due and one still waiting: the waiting one is found, the due one must not fire.
        RemovalDuringDispatch{"OneDueOneWaiting", 1, 5, 1, true},
        // Two due later in the pass and one waiting.
        RemovalDuringDispatch{"TwoDueAndOneWaiting", 1, 9, 2, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LifetimeMonitorTest, RemovingAKeyWithSeveralEntriesCancelsThemAll) {
    for (int ms : {5, 50, 500, 5000})
        lifetimeAdd(monitor, &ownerA, ms, record("a"), record("a.destroy"));
    lifetimeAdd(monitor, &ownerB, 50, record("b"));

    lifetimeRemove(monitor, &ownerA);
    EXPECT_EQ(log, (std::vector<std::string>(4, "a.destroy")));
    EXPECT_EQ(monitor.pendingCount(), 1u);
    clock.advance(10'000);
    runOnePass(*chain, 0);
    EXPECT_EQ(log.back(), "b");
    EXPECT_EQ(log.size(), 5u);
}

TEST_F(LifetimeMonitorTest, RemovingAnUnknownKeyHasNoLastingEffect) {
    lifetimeRemove(monitor, &ownerA);
    lifetimeAdd(monitor, &ownerA, 1, record("a"));

    clock.advance(2);
    runOnePass(*chain, 0);

    EXPECT_EQ(log, (std::vector<std::string>{"a"}));
}

TEST_F(LifetimeMonitorTest, FlushRunsDestroyFunctionsOnlyAndEmptiesTheMonitor) {
    lifetimeAdd(monitor, &ownerA, 10, record("a"), record("a.destroy"));
    lifetimeAdd(monitor, &ownerB, 20, record("b"));

    lifetimeFlush(monitor);
    clock.advance(100);
    runOnePass(*chain, 0);

    EXPECT_EQ(log, (std::vector<std::string>{"a.destroy"}));
    EXPECT_EQ(monitor.pendingCount(), 0u);
}

TEST_F(LifetimeMonitorTest, TheEndOfTheChainDestroysPendingEntriesWithoutFiring) {
    lifetimeAdd(monitor, &ownerA, 10, record("a"), record("a.destroy"));
    stopChain(*chain);
    startChain(*chain);
    EXPECT_EQ(log, (std::vector<std::string>{"a.destroy"}));
}

TEST_F(LifetimeMonitorTest, ACallbackMayScheduleItsSuccessor) {
    std::function<void()> tick = [&] {
        log.push_back("tick");
        if (log.size() < 3)
            lifetimeAdd(monitor, &ownerA, 1000, tick);
    };
    lifetimeAdd(monitor, &ownerA, 1000, tick);

    for (int i = 0; i < 5; ++i) {
        clock.advance(1001);
        runOnePass(*chain, 0);
    }

    EXPECT_EQ(log.size(), 3u);
}

TEST_F(LifetimeMonitorTest, TimersDoNotCareAboutA32BitWrap) {
    // Expiries around 2^32 ms (49.7 days of uptime) keep their order.
    clock.set((int64_t{1} << 32) - 5);
    lifetimeAdd(monitor, &ownerA, 10, record("after-wrap"));
    lifetimeAdd(monitor, &ownerB, 2, record("before-wrap"));

    clock.advance(3);
    runOnePass(*chain, 0);
    EXPECT_EQ(log, (std::vector<std::string>{"before-wrap"}));
    clock.advance(10);
    runOnePass(*chain, 0);
    EXPECT_EQ(log, (std::vector<std::string>{"before-wrap", "after-wrap"}));
}

}  // namespace
}  // namespace upnp
