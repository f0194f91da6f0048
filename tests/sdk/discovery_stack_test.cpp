#include "sdk/discovery_stack.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "sdk/stop_event.h"

namespace {

using namespace std::chrono_literals;
constexpr auto kWatchdog = 10s;

TEST(NoNetworkStack, StartChainBlocksUntilStopped) {
    auto chain = sdk::makeNoNetworkStack()->createChain();
    ASSERT_TRUE(chain);
    EXPECT_TRUE(chain->createControlPoint([](const upnp::DeviceRecord*) {},
                                          [](const upnp::DeviceRecord*) {}));
    EXPECT_FALSE(chain->isTerminating());
    auto run = std::async(std::launch::async, [&] { chain->startChain(); });
    chain->addressesChanged();  // nothing to search again; must not end the chain
    EXPECT_EQ(run.wait_for(0ms), std::future_status::timeout);
    chain->stopChain();
    EXPECT_EQ(run.wait_for(kWatchdog), std::future_status::ready);
    EXPECT_TRUE(chain->isTerminating());
}

TEST(NoNetworkStack, AChainStoppedBeforeItRunsReturnsAtOnce) {
    auto chain = sdk::makeNoNetworkStack()->createChain();
    chain->stopChain();
    chain->stopChain();  // any number of times
    auto run = std::async(std::launch::async, [&] { chain->startChain(); });
    EXPECT_EQ(run.wait_for(kWatchdog), std::future_status::ready);
}

TEST(DiscoveryStack, InstalledStackReplacesTheDefaultUntilRemoved) {
    sdk::DiscoveryStack& original = sdk::discoveryStack();
    auto mine = sdk::makeNoNetworkStack();
    sdk::DiscoveryStack* raw = mine.get();
    EXPECT_EQ(sdk::setDiscoveryStack(std::move(mine)), nullptr);
    EXPECT_EQ(&sdk::discoveryStack(), raw);
    auto back = sdk::setDiscoveryStack(nullptr);
    EXPECT_EQ(back.get(), raw);
    EXPECT_EQ(&sdk::discoveryStack(), &original);
}

TEST(StopEvent, StaysSignalledAndReadable) {
    sdk::StopEvent event;
    EXPECT_FALSE(event.isSignalled());
    EXPECT_GE(event.fd(), 0);
    auto waiter = std::async(std::launch::async, [&] { event.wait(); });
    event.signal();
    EXPECT_EQ(waiter.wait_for(kWatchdog), std::future_status::ready);
    EXPECT_TRUE(event.isSignalled());
    event.signal();
    EXPECT_TRUE(event.isSignalled());  // manual reset: a second wait passes too
    event.wait();
}

}  // namespace
