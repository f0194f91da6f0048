// The SDK's discovery from end to end against the NAS simulator, inside a private network
// namespace: the exported functions, the UPnP stack as the default stack, the monitor filter and
// the address watcher.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "platform/memory_network_provider.h"
#include "platform/network_provider.h"
#include "sdk/include/drivescout/sdk.h"
#include "sdk/stop_event.h"
#include "sdk/upnp_sdk.h"
#include "tests/support/netns.h"
#include "tests/support/temp_user_dirs.h"
#include "tests/tools/sim_process.h"

namespace {

using namespace std::chrono_literals;
using nassim_test::SimProcess;

struct Seen {
    int32_t kind;
    std::string prefix;
    std::string suffix;
    std::string ip;
    std::string location;
    std::string name;
};

struct EventLog {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Seen> events;

    // Watchdog: false instead of hanging.
    bool waitFor(size_t count, std::chrono::milliseconds timeout = 20s) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, timeout, [&] { return events.size() >= count; });
    }
    std::vector<Seen> snapshot() {
        std::lock_guard lock(mutex);
        return events;
    }
};

std::string utf8(const char16_t* text) {
    return text == nullptr ? std::string() : LBString(text).ToUtf8();
}

void DRIVESCOUT_CALLBACK onDeviceEvent(int32_t kind, CAbstractUPnPDevice* device, void* context) {
    auto* log = static_cast<EventLog*>(context);
    std::lock_guard lock(log->mutex);
    log->events.push_back({kind, utf8(device->GetUDNPrefix()), utf8(device->GetUDNSuffix()),
                           utf8(device->GetIPAddress()), utf8(device->GetLocationURL()),
                           utf8(device->GetFriendlyName())});
    log->changed.notify_all();
}

class DiscoveryIntegrationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        DS_REQUIRE_PRIVATE_NETNS();
        platform::setNetworkProvider(std::make_unique<platform::MemoryNetworkProvider>());
        dirs_ = std::make_unique<ds::test::TempUserDirs>();
    }

    void TearDown() override {
        if (session_ != nullptr) {
            fnUPnPStopEventMonitor(session_);
            fnUPnPUnRegisterEventMonitor(session_);
            fnUPnPCloseSession(session_);
        }
        if (dirs_)
            platform::setNetworkProvider(nullptr);
        dirs_.reset();
    }

    void startDiscovery(const std::string& filter) {
        ASSERT_EQ(fnUPnPOpenSession(&session_), 0);
        ASSERT_EQ(fnUPnPRegisterEventMonitor(session_, LBStringArgFromUtf8(filter.c_str()),
                                             onDeviceEvent, &log_),
                  0);
        ASSERT_EQ(fnUPnPStartEventMonitor(session_), 0);
    }

    std::unique_ptr<ds::test::TempUserDirs> dirs_;
    UPnPSession session_ = nullptr;
    EventLog log_;
};

TEST_F(DiscoveryIntegrationTest, FilterByUdnPrefixListsOnlyTheNasAndItsGoodbyeRemovesIt) {
    SimProcess sim({"--homevault", "1", "--others", "2", "--answer-at-once", "--announce-interval",
                    "0", "--duration", "60"});
    ASSERT_TRUE(sim.waitReady());
    startDiscovery("3b2b54a3-5512-4a2b-93f2");
    ASSERT_TRUE(log_.waitFor(1));
    ASSERT_TRUE(sim.waitForLine("http 3").has_value());  // the others were fetched too
    sim.send("byebye 1");
    ASSERT_TRUE(log_.waitFor(2));
    std::vector<Seen> seen = log_.snapshot();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].kind, DEVICE_ADDED);
    EXPECT_EQ(seen[0].prefix, "3b2b54a3-5512-4a2b-93f2");
    EXPECT_EQ(seen[0].suffix, "00107f000101");
    EXPECT_EQ(seen[0].ip, "127.0.1.1");
    EXPECT_EQ(seen[0].location, "http://127.0.1.1/description.xml");
    EXPECT_EQ(seen[0].name, "Homevault 1");
    EXPECT_EQ(seen[1].kind, DEVICE_REMOVED);
    EXPECT_EQ(seen[1].suffix, "00107f000101");
}

// What a program that only discovers has in its memory: the SMB client, GIO and libsecret are
// opened only when a share, a mount or a credential first needs them.
TEST_F(DiscoveryIntegrationTest, DiscoveryLoadsNeitherTheSmbClientNorTheKeyring) {
    platform::setNetworkProvider(nullptr);  // the real provider, as in a host program
    SimProcess sim(
        {"--homevault", "1", "--answer-at-once", "--announce-interval", "0", "--duration", "60"});
    ASSERT_TRUE(sim.waitReady());
    startDiscovery("");
    ASSERT_TRUE(log_.waitFor(1));
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        for (const char* library : {"libsmbclient", "samba", "libsecret", "libgio", "libglib"})
            EXPECT_EQ(line.find(library), std::string::npos) << line;
    }
}

TEST_F(DiscoveryIntegrationTest, AnAddressAddedInTheNamespaceMakesTheControlPointSearchAgain) {
    SimProcess sim({"--homevault", "1", "--answer-at-once", "--no-initial-alive",
                    "--announce-interval", "0", "--duration", "60"});
    ASSERT_TRUE(sim.waitReady());
    startDiscovery("");
    ASSERT_TRUE(log_.waitFor(1));
    size_t from = sim.lines().size();
    // This kernel has no dummy interfaces: a veth pair of the test's own carries the address.
    ASSERT_EQ(std::system("ip link add dsin0 type veth peer name dsin1 && "
                          "ip link set dsin0 up && ip link set dsin1 up && "
                          "ip addr add 10.78.0.2/24 dev dsin0"),
              0);
    EXPECT_TRUE(sim.waitForLine("search 1", 10s, from).has_value());
    from = sim.lines().size();
    ASSERT_EQ(std::system("ip link del dsin0"), 0);
    EXPECT_TRUE(sim.waitForLine("search 1", 10s, from).has_value());
    // The NAS was found through loopback, which stays.
    EXPECT_EQ(log_.snapshot().size(), 1u);
}

TEST(NetworkMonitor, AChangeWithoutControlPointIsHarmlessAndTheStopEventEndsTheThread) {
    DS_REQUIRE_PRIVATE_NETNS();
    auto stop = std::make_shared<sdk::StopEvent>();
    auto monitor = std::async(std::launch::async, CUPnPSDK::NetworkMonitorLoopThread, stop);
    ASSERT_EQ(std::system("ip link add dsmn0 type veth peer name dsmn1 && "
                          "ip link set dsmn0 up && ip addr add 10.79.0.2/24 dev dsmn0 && "
                          "ip link del dsmn0"),
              0);
    EXPECT_EQ(monitor.wait_for(200ms), std::future_status::timeout);  // still watching
    stop->signal();
    ASSERT_EQ(monitor.wait_for(10s), std::future_status::ready);  // watchdog
    EXPECT_EQ(monitor.get(), 0);
}

TEST(NetworkMonitor, WithoutStopEventItEndsAtOnce) {
    EXPECT_EQ(CUPnPSDK::NetworkMonitorLoopThread(nullptr), 0);
}

}  // namespace
