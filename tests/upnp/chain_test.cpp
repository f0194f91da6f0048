#include "upnp/chain.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "chain_test_support.h"
#include "upnp/lifetime_monitor.h"

namespace upnp {
namespace {

using test::Watchdog;

// A chain object that records what the chain does to it.
class Probe : public ChainObject {
  public:
    Probe(std::string name, std::vector<std::string>& log) : name_(std::move(name)), log_(log) {}

    void preSelect(SocketSets& sets, int& waitMs) override {
        seenBudget = waitMs;
        ++passes;
        log_.push_back(name_ + ".pre");
        if (onPre)
            onPre(sets, waitMs);
    }
    void postSelect(int result, const SocketSets& ready) override {
        log_.push_back(name_ + ".post");
        if (onPost)
            onPost(result, ready);
    }
    void destroy() override { log_.push_back(name_ + ".destroy"); }

    std::atomic<int> passes{0};
    int seenBudget = 0;
    std::function<void(SocketSets&, int&)> onPre;
    std::function<void(int, const SocketSets&)> onPost;

  private:
    std::string name_;
    std::vector<std::string>& log_;
};

TEST(ChainTest, HooksRunInRegistrationOrderAndDestroyAtTheEnd) {
    Watchdog watchdog;
    std::vector<std::string> log;
    auto chain = createChain();
    ASSERT_TRUE(chain);
    Probe& first = addToChain(*chain, std::make_unique<Probe>("a", log));
    addToChain(*chain, std::make_unique<Probe>("b", log));
    first.onPost = [&](int, const SocketSets&) { stopChain(*chain); };

    unblockChain(*chain);  // so that the first pass does not wait a day
    startChain(*chain);

    EXPECT_EQ(log, (std::vector<std::string>{"a.pre", "b.pre", "a.post", "b.post", "a.destroy",
                                             "b.destroy"}));
    EXPECT_TRUE(chain->isRunning());
    EXPECT_TRUE(chain->isTerminating());
}

TEST(ChainTest, StopBeforeStartRunsNoPassButDestroysEveryObject) {
    Watchdog watchdog;
    std::vector<std::string> log;
    auto chain = createChain();
    addToChain(*chain, std::make_unique<Probe>("a", log));
    addToChain(*chain, std::make_unique<Probe>("b", log));

    stopChain(*chain);
    startChain(*chain);

    EXPECT_EQ(log, (std::vector<std::string>{"a.destroy", "b.destroy"}));
}

TEST(ChainTest, AChainNeverStartedDestroysItsObjectsWhenItGoes) {
    std::vector<std::string> log;
    {
        auto chain = createChain();
        addToChain(*chain, std::make_unique<Probe>("a", log));
    }
    EXPECT_EQ(log, (std::vector<std::string>{"a.destroy"}));
}

TEST(ChainTest, WaitBudgetIsOneDayAndOnlyEverLowered) {
    Watchdog watchdog;
    std::vector<std::string> log;
    auto chain = createChain();
    Probe& first = addToChain(*chain, std::make_unique<Probe>("a", log));
    Probe& second = addToChain(*chain, std::make_unique<Probe>("b", log));
    first.onPre = [](SocketSets&, int& waitMs) { waitMs = std::min(waitMs, 5); };

    runOnePass(*chain, 0);

    EXPECT_EQ(first.seenBudget, Chain::kWaitBudgetMs);
    EXPECT_EQ(first.seenBudget, 86'400'000);
    EXPECT_EQ(second.seenBudget, 5);
}

TEST(ChainTest, UnblockFromAnotherThreadEndsADayLongWait) {
    Watchdog watchdog;
    std::vector<std::string> log;
    auto chain = createChain();
    Probe& probe = addToChain(*chain, std::make_unique<Probe>("a", log));
    std::thread loop([&] { startChain(*chain); });

    // The first pass waits a whole day; only the wake-up can end it.
    while (probe.passes.load() < 1)
        std::this_thread::yield();
    unblockChain(*chain);
    while (probe.passes.load() < 2)
        std::this_thread::yield();

    stopChain(*chain);
    loop.join();
    EXPECT_EQ(log.back(), "a.destroy");
}

TEST(ChainTest, UnblockBeforeThePassMakesItsWaitZero) {
    Watchdog watchdog;
    std::vector<std::string> log;
    auto chain = createChain();
    Probe& probe = addToChain(*chain, std::make_unique<Probe>("a", log));
    int result = -2;
    probe.onPost = [&](int r, const SocketSets&) { result = r; };

    // Several unblocks before one pass are handled by that pass, and the one after waits again.
    unblockChain(*chain);
    unblockChain(*chain);
    runOnePass(*chain, Chain::kWaitBudgetMs);
    EXPECT_EQ(result, 0);
    runOnePass(*chain, 0);
    EXPECT_EQ(result, 0);
}

TEST(ChainTest, ReadySocketsAreReportedInTheirSets) {
    Watchdog watchdog;
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    ASSERT_EQ(::write(pair[1], "x", 1), 1);
    std::vector<std::string> log;
    auto chain = createChain();
    Probe& probe = addToChain(*chain, std::make_unique<Probe>("a", log));
    probe.onPre = [&](SocketSets& sets, int&) {
        sets.read.add(pair[0]);
        sets.error.add(pair[0]);
        sets.write.add(pair[1]);
    };
    int result = -2;
    bool readable = false, writable = false, failed = true;
    probe.onPost = [&](int r, const SocketSets& ready) {
        result = r;
        readable = ready.read.contains(pair[0]);
        writable = ready.write.contains(pair[1]);
        failed = ready.error.contains(pair[0]);
    };

    runOnePass(*chain, 1000);

    EXPECT_EQ(result, 2);
    EXPECT_TRUE(readable);
    EXPECT_TRUE(writable);
    EXPECT_FALSE(failed);
    ::close(pair[0]);
    ::close(pair[1]);
}

TEST(ChainTest, ASocketSetHoldsAtMost64Sockets) {
    SocketSet set;
    for (int fd = 1000; fd < 1064; ++fd)
        EXPECT_TRUE(set.add(fd));
    EXPECT_FALSE(set.add(2000));
    EXPECT_TRUE(set.add(1000));  // already a member
    EXPECT_FALSE(set.add(-1));
    EXPECT_EQ(set.size(), SocketSet::kCapacity);
}

TEST(ChainTest, DescriptorsAboveTheSelectLimitAreWaitedOn) {
    Watchdog watchdog;
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    const int high = ::fcntl(pair[0], F_DUPFD, 1500);
    if (high < 0)
        GTEST_SKIP() << "the descriptor limit is below 1500";
    ASSERT_EQ(::write(pair[1], "x", 1), 1);
    std::vector<std::string> log;
    auto chain = createChain();
    Probe& probe = addToChain(*chain, std::make_unique<Probe>("a", log));
    probe.onPre = [&](SocketSets& sets, int&) { sets.read.add(high); };
    bool readable = false;
    probe.onPost = [&](int, const SocketSets& ready) { readable = ready.read.contains(high); };

    runOnePass(*chain, 1000);

    EXPECT_TRUE(readable);
    ::close(high);
    ::close(pair[0]);
    ::close(pair[1]);
}

TEST(ChainTest, AnObjectMayRemoveItselfFromInsideItsOwnHook) {
    Watchdog watchdog;
    std::vector<std::string> log;
    auto chain = createChain();
    Probe& first = addToChain(*chain, std::make_unique<Probe>("a", log));
    addToChain(*chain, std::make_unique<Probe>("b", log));
    first.onPre = [&](SocketSets&, int&) { removeFromChain(*chain, first); };

    runOnePass(*chain, 0);
    runOnePass(*chain, 0);

    // Removed during its preSelect: no postSelect, destroyed at the end of that pass only.
    EXPECT_EQ(log, (std::vector<std::string>{"a.pre", "b.pre", "b.post", "a.destroy", "b.pre",
                                             "b.post"}));
}

// The log of two passes in which a's hook (before or after the wait) adds b during the first.
enum class AddingHook { preSelect, postSelect };
std::vector<std::string> twoPassesAddingFrom(AddingHook hook) {
    std::vector<std::string> log;
    auto chain = createChain();
    Probe& first = addToChain(*chain, std::make_unique<Probe>("a", log));
    auto addSecond = [&] { addToChain(*chain, std::make_unique<Probe>("b", log)); };
    if (hook == AddingHook::preSelect) {
        first.onPre = [&](SocketSets&, int&) {
            if (log.size() == 1)
                addSecond();
        };
    } else {
        first.onPost = [&](int, const SocketSets&) {
            if (log.size() == 2)
                addSecond();
        };
    }
    runOnePass(*chain, 0);
    runOnePass(*chain, 0);
    std::vector<std::string> passes = log;  // before the chain's end adds the destroy lines
    return passes;
}

TEST(ChainTest, ObjectsAddedDuringAPassJoinTheNextOne) {
    Watchdog watchdog;
    EXPECT_EQ(twoPassesAddingFrom(AddingHook::postSelect),
              (std::vector<std::string>{"a.pre", "a.post", "a.pre", "b.pre", "a.post", "b.post"}));
}

TEST(ChainTest, AnObjectAddedDuringPreSelectWaitsForTheNextPass) {
    // It was not polled in this pass, so it has nothing to be told after the wait.
    Watchdog watchdog;
    EXPECT_EQ(twoPassesAddingFrom(AddingHook::preSelect),
              (std::vector<std::string>{"a.pre", "a.post", "a.pre", "b.pre", "a.post", "b.post"}));
}

TEST(ChainTest, ReadinessGoesOnlyToTheObjectThatWaitedOnTheSocket) {
    // a waits on a readable socket and, when served, closes it; b then takes the same descriptor
    // number for a socket of its own. b never waited on it and must not see it ready.
    Watchdog watchdog;
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    ASSERT_EQ(::write(pair[1], "x", 1), 1);
    std::vector<std::string> log;
    auto chain = createChain();
    Probe& a = addToChain(*chain, std::make_unique<Probe>("a", log));
    Probe& b = addToChain(*chain, std::make_unique<Probe>("b", log));
    const int number = pair[0];
    a.onPre = [&](SocketSets& sets, int&) { sets.read.add(number); };
    bool aSawIt = false;
    int reused = -1;
    a.onPost = [&](int, const SocketSets& ready) {
        aSawIt = ready.read.contains(number);
        ::close(number);
        int other[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, other), 0);
        ::close(other[1]);
        reused = other[0];
    };
    bool bSawIt = false;
    b.onPost = [&](int, const SocketSets& ready) {
        bSawIt = ready.read.contains(number) || ready.error.contains(number);
    };

    runOnePass(*chain, 1000);

    EXPECT_TRUE(aSawIt);
    ASSERT_EQ(reused, number);  // the system hands out the lowest free number
    EXPECT_FALSE(bSawIt);
    ::close(reused);
    ::close(pair[1]);
}

TEST(ChainTest, AFailedWaitReportsMinusOneWithNothingReadyAndTheChainGoesOn) {
    // poll fails (EINVAL) when it is asked to wait on more descriptors than the process may
    // hold open; the limit is lowered for one pass only.
    Watchdog watchdog;
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    ASSERT_EQ(::write(pair[1], "x", 1), 1);
    std::vector<std::string> log;
    auto chain = createChain();
    Probe& probe = addToChain(*chain, std::make_unique<Probe>("a", log));
    // The undefined-behaviour checker of sanitized builds opens a pipe the first time it checks
    // a call on each type; one quiet pass makes those checks while descriptors are still free.
    runOnePass(*chain, 0);
    probe.onPre = [&](SocketSets& sets, int&) {
        sets.read.add(pair[0]);
        sets.write.add(pair[1]);
    };
    std::vector<std::pair<int, size_t>> seen;  // result, ready memberships
    probe.onPost = [&](int result, const SocketSets& ready) {
        seen.emplace_back(result, ready.read.size() + ready.write.size() + ready.error.size());
    };
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit tight = saved;
    tight.rlim_cur = 1;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    runOnePass(*chain, 1000);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
    runOnePass(*chain, 1000);

    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], (std::pair<int, size_t>{-1, 0}));
    EXPECT_EQ(seen[1], (std::pair<int, size_t>{2, 2}));
    ::close(pair[0]);
    ::close(pair[1]);
}

TEST(ChainTest, TheChainsOwnMonitorIsItsFirstObject) {
    Watchdog watchdog;
    ManualClock clock;
    std::vector<std::string> log;
    auto chain = createChain(clock);
    addToChain(*chain, std::make_unique<Probe>("a", log));
    lifetimeAdd(chain->lifetimeMonitor(), &log, 0, [&] { log.push_back("timer"); });

    clock.advance(1);
    runOnePass(*chain, 0);

    EXPECT_EQ(log, (std::vector<std::string>{"timer", "a.pre", "a.post"}));
}

}  // namespace
}  // namespace upnp
