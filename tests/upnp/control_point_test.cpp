// The control point against the NAS simulator (a separate program that does not use the stack),
// inside a private network namespace. The chain runs on its own thread with a manual clock, so
// the lifetime, location-change and expiry timers are driven by the test, never by sleeping.

#include "upnp/control_point.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/http_fixture.h"
#include "tests/support/netns.h"
#include "tests/tools/sim_process.h"
#include "upnp/chain.h"
#include "upnp/clock.h"

namespace upnp {
namespace {

using namespace std::chrono_literals;
using nassim_test::SimProcess;

struct Event {
    bool added;
    std::string udn;
    std::string location;
    std::string interfaceAddress;
    std::string friendlyName;
};

// Runs queued work on the chain thread (a control point may only be touched there).
class TaskRunner final : public ChainObject {
  public:
    void post(std::function<void()> task) {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    void preSelect(SocketSets&, int&) override {
        std::deque<std::function<void()>> tasks;
        {
            std::lock_guard lock(mutex_);
            tasks.swap(tasks_);
        }
        for (auto& task : tasks)
            task();
    }

  private:
    std::mutex mutex_;
    std::deque<std::function<void()>> tasks_;
};

class ControlPointTest : public ::testing::Test {
  protected:
    void SetUp() override { DS_REQUIRE_PRIVATE_NETNS(); }

    void TearDown() override {
        if (chain_) {
            stopChain(*chain_);
            if (runner_.joinable())
                runner_.join();
        }
    }

    void startControlPoint(bool run = true) {
        chain_ = createChain(*chainClock_);
        ASSERT_NE(chain_, nullptr);
        controlPoint_ = createControlPoint(
            *chain_, [this](const DeviceRecord* record) { record_(true, *record); },
            [this](const DeviceRecord* record) { record_(false, *record); });
        tasks_ = &addToChain(*chain_, std::make_unique<TaskRunner>());
        if (run)
            runner_ = std::thread([this] { startChain(*chain_); });
    }

    void record_(bool added, const DeviceRecord& record) {
        std::lock_guard lock(mutex_);
        events_.push_back(
            {added, record.UDN, record.LocationURL, record.InterfaceAddress, record.FriendlyName});
        changed_.notify_all();
    }

    // Watchdog: false instead of hanging.
    bool waitForEvents(size_t count, std::chrono::milliseconds timeout = 20s) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return events_.size() >= count; });
    }

    std::vector<Event> events() {
        std::lock_guard lock(mutex_);
        return events_;
    }

    // Runs `task` on the chain thread and waits for it.
    void onChain(std::function<void()> task) {
        std::mutex doneMutex;
        std::condition_variable doneChanged;
        bool done = false;
        tasks_->post([&] {
            task();
            std::lock_guard lock(doneMutex);
            done = true;
            doneChanged.notify_all();
        });
        unblockChain(*chain_);
        std::unique_lock lock(doneMutex);
        ASSERT_TRUE(doneChanged.wait_for(lock, 10s, [&] { return done; }));
    }

    // Watchdog: false when a fetch is still in progress after 10 s.
    bool waitUntilNoFetch() {
        for (int attempt = 0; attempt < 1000; ++attempt) {
            size_t fetches = 1;
            onChain([&] { fetches = controlPoint_->fetchesInProgress(); });
            if (fetches == 0)
                return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

    // Moves the clock on and lets the chain see it.
    void advance(int64_t ms) {
        clock_.advance(ms);
        unblockChain(*chain_);
        onChain([] {});  // one full pass has run with the new time
    }

    std::unique_ptr<SimProcess> startSimulator(std::vector<std::string> args) {
        auto sim = std::make_unique<SimProcess>(args);
        EXPECT_TRUE(sim->started());
        EXPECT_TRUE(sim->waitReady());
        return sim;
    }

    ManualClock clock_;
    Clock* chainClock_ = &clock_;
    std::unique_ptr<Chain> chain_;
    ControlPoint* controlPoint_ = nullptr;
    TaskRunner* tasks_ = nullptr;
    std::thread runner_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Event> events_;
};

constexpr const char* kHomevault1 = "3b2b54a3-5512-4a2b-93f2-00107f000101";
const uint32_t kLoopback = inet_addr("127.0.0.1");

TEST_F(ControlPointTest, FindsANasBySearch) {
    auto sim = startSimulator({"--homevault", "1", "--answer-at-once", "--no-initial-alive",
                               "--announce-interval", "0", "--duration", "60"});
    startControlPoint();
    ASSERT_TRUE(waitForEvents(1));
    Event found = events()[0];
    EXPECT_TRUE(found.added);
    EXPECT_EQ(found.udn, kHomevault1);
    EXPECT_EQ(found.location, "http://127.0.1.1/description.xml");
    EXPECT_EQ(found.interfaceAddress, "127.0.0.1");
    EXPECT_EQ(found.friendlyName, "Homevault 1");
    EXPECT_TRUE(sim->waitForLine("search 1 upnp:rootdevice").has_value());
}

TEST_F(ControlPointTest, FindsANasByItsAnnouncement) {
    startControlPoint();
    onChain([] {});  // the first search is out before the device exists
    auto sim = startSimulator({"--homevault", "1", "--announce-interval", "0", "--duration", "60"});
    ASSERT_TRUE(waitForEvents(1));
    EXPECT_EQ(events()[0].udn, kHomevault1);
    EXPECT_FALSE(sim->waitForLine("search 1", 0ms).has_value());
}

TEST_F(ControlPointTest, EmbeddedDevicesAddedAfterTheRootAndRemovedBeforeIt) {
    auto sim = startSimulator({"--homevault", "1", "--embedded", "2", "--answer-at-once",
                               "--announce-interval", "0", "--duration", "60"});
    startControlPoint();
    ASSERT_TRUE(waitForEvents(3));
    sim->send("byebye 1");  // a goodbye carries no LOCATION
    ASSERT_TRUE(waitForEvents(6));
    std::vector<Event> seen = events();
    ASSERT_EQ(seen.size(), 6u);
    EXPECT_EQ(seen[0].udn, kHomevault1);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(seen[i].added);
    for (int i = 3; i < 6; ++i)
        EXPECT_FALSE(seen[i].added);
    EXPECT_EQ(seen[5].udn, kHomevault1);  // the root goes last
    EXPECT_NE(seen[3].udn, kHomevault1);
    EXPECT_NE(seen[4].udn, kHomevault1);
    onChain([&] { EXPECT_EQ(controlPoint_->treeCount(), 0u); });
}

TEST_F(ControlPointTest, AnnouncementWithMaxAgeZeroIsNeverFetched) {
    auto sim = startSimulator({"--homevault", "1", "--lifetime", "0", "--answer-at-once",
                               "--announce-interval", "0", "--duration", "60"});
    startControlPoint();
    ASSERT_TRUE(sim->waitForLine("search 1").has_value());
    sim->send("alive 1");
    ASSERT_TRUE(sim->waitForLine("ok alive").has_value());
    // A device that is fetched shows up within this time in every other test.
    std::this_thread::sleep_for(500ms);
    onChain([&] { EXPECT_EQ(controlPoint_->fetchesInProgress(), 0u); });
    EXPECT_TRUE(events().empty());
    EXPECT_FALSE(sim->waitForLine("http 1", 0ms).has_value());
}

TEST_F(ControlPointTest, ExpiresAfterTheLifetimeWithoutAnnouncements) {
    auto sim = startSimulator({"--homevault", "1", "--lifetime", "60", "--answer-at-once",
                               "--announce-interval", "0", "--duration", "60"});
    startControlPoint();
    ASSERT_TRUE(waitForEvents(1));
    sim->send("silence 1");
    advance(30'000);
    advance(29'000);
    EXPECT_EQ(events().size(), 1u);
    advance(32'000);
    ASSERT_TRUE(waitForEvents(2));
    EXPECT_FALSE(events()[1].added);
}

TEST_F(ControlPointTest, RepeatedAnnouncementsKeepTheDevice) {
    auto sim = startSimulator({"--homevault", "1", "--lifetime", "60", "--answer-at-once",
                               "--announce-interval", "0", "--duration", "60"});
    startControlPoint();
    ASSERT_TRUE(waitForEvents(1));
    for (int round = 0; round < 4; ++round) {
        advance(40'000);
        size_t from = sim->lines().size();
        sim->send("alive 1");
        ASSERT_TRUE(sim->waitForLine("notify 1 alive", 10s, from).has_value());
        onChain([] {});
        std::this_thread::sleep_for(300ms);  // the NOTIFY crosses loopback
    }
    EXPECT_EQ(events().size(), 1u);
}

TEST_F(ControlPointTest, NewLocationWithinTenSecondsIgnoredAfterThemReplacesTheDevice) {
    auto sim = startSimulator(
        {"--homevault", "1", "--answer-at-once", "--announce-interval", "0", "--duration", "60"});
    startControlPoint();
    ASSERT_TRUE(waitForEvents(1));
    advance(5'000);
    sim->send("relocate 1 8081");
    ASSERT_TRUE(sim->waitForLine("location 1").has_value());
    std::this_thread::sleep_for(300ms);
    advance(8'000);
    EXPECT_EQ(events().size(), 1u);  // ignored: within 10 s of the last notice

    advance(3'000);
    size_t from = sim->lines().size();
    sim->send("relocate 1 8082");
    ASSERT_TRUE(sim->waitForLine("location 1", 10s, from).has_value());
    std::this_thread::sleep_for(300ms);
    advance(6'000);
    EXPECT_EQ(events().size(), 1u);  // the 7 s have not passed
    advance(1'500);
    ASSERT_TRUE(waitForEvents(3));
    std::vector<Event> seen = events();
    EXPECT_FALSE(seen[1].added);
    EXPECT_TRUE(seen[2].added);
    EXPECT_EQ(seen[2].location.rfind("http://127.0.1.1:8082/", 0), 0u) << seen[2].location;
}

TEST_F(ControlPointTest, FailedDescriptionLeavesTheDeviceUnknownUntilItsNextAnnouncement) {
    auto sim = startSimulator({"--homevault", "1", "--fail-description", "404", "--answer-at-once",
                               "--announce-interval", "0", "--duration", "60"});
    startControlPoint();
    ASSERT_TRUE(sim->waitForLine("http 1 GET /description.xml 404").has_value());
    ASSERT_TRUE(waitUntilNoFetch());  // the answer has reached the control point
    EXPECT_TRUE(events().empty());
    sim->send("fail 1 none");
    sim->send("alive 1");
    ASSERT_TRUE(waitForEvents(1));
    EXPECT_EQ(events()[0].udn, kHomevault1);
}

TEST_F(ControlPointTest, MalformedDescriptionIsNotAnnounced) {
    auto sim = startSimulator({"--homevault", "1", "--fail-description", "malformed",
                               "--answer-at-once", "--announce-interval", "0", "--duration", "60"});
    startControlPoint();
    ASSERT_TRUE(sim->waitForLine("http 1 GET /description.xml").has_value());
    ASSERT_TRUE(waitUntilNoFetch());
    EXPECT_TRUE(events().empty());
    onChain([&] {
        EXPECT_EQ(controlPoint_->knownDeviceCount(), 0u);
        EXPECT_EQ(controlPoint_->fetchesInProgress(), 0u);
    });
}

TEST_F(ControlPointTest, EveryFramingOfTheDescriptionIsRead) {
    for (const char* framing : {"chunked", "close"}) {
        auto sim = startSimulator({"--homevault", "1", "--framing", framing, "--answer-at-once",
                                   "--announce-interval", "0", "--duration", "60"});
        if (!chain_)
            startControlPoint();
        else
            onChain([&] { ssdpSearch(controlPoint_->ssdpClient()); });
        size_t before = events().size();
        ASSERT_TRUE(waitForEvents(before + 1)) << framing;
        sim->send("byebye 1");
        ASSERT_TRUE(waitForEvents(before + 2)) << framing;
    }
}

TEST_F(ControlPointTest, FiveHundredDevicesAnsweringAtOnceAreAllListedFromTheFirstSearch) {
    chainClock_ = &systemClock();  // the web client's idle timers must run on their own
    auto sim = startSimulator({"--homevault", "500", "--answer-at-once", "--no-initial-alive",
                               "--announce-interval", "0", "--duration", "120"});
    startControlPoint();
    ASSERT_TRUE(waitForEvents(500, 120s)) << events().size();
    std::vector<Event> seen = events();
    std::set<std::string> distinct;
    for (const Event& event : seen)
        distinct.insert(event.udn);
    EXPECT_EQ(distinct.size(), 500u);
}

TEST_F(ControlPointTest, LosingTheInterfaceOfADeviceRemovesItAndSearchesAgain) {
    ASSERT_EQ(std::system("ip link add dscp0 type veth peer name dscp1 && "
                          "ip addr add 10.77.0.2/24 dev dscp0 && ip link set dscp0 up && "
                          "ip link set dscp1 up"),
              0);
    const char* description =
        "<root><device><UDN>uuid:veth-device-0001</UDN><friendlyName>far</friendlyName>"
        "</device></root>";
    auto server = std::make_unique<ds::test::HttpFixture>("10.77.0.2", 0);
    server->setDefaultReply(ds::test::HttpReply::withBody(200, description));
    auto sim = startSimulator({"--homevault", "1", "--answer-at-once", "--no-initial-alive",
                               "--announce-interval", "0", "--duration", "60"});
    startControlPoint();
    ASSERT_TRUE(waitForEvents(1));
    const std::string url = "http://10.77.0.2:" + std::to_string(server->port()) + "/d.xml";
    onChain([&] {
        controlPoint_->handleSsdpResult("veth-device-0001", true, url, 1800, FromNotify,
                                        inet_addr("10.77.0.2"));
    });
    ASSERT_TRUE(waitForEvents(2));
    EXPECT_EQ(events()[1].interfaceAddress, "10.77.0.2");

    ASSERT_EQ(std::system("ip link del dscp0"), 0);
    size_t from = sim->lines().size();
    controlPointAddressesChanged(*controlPoint_);
    ASSERT_TRUE(waitForEvents(3));
    Event removed = events()[2];
    EXPECT_FALSE(removed.added);
    EXPECT_EQ(removed.udn, "veth-device-0001");
    // The NAS found through loopback stays, and the control point searched again.
    EXPECT_TRUE(sim->waitForLine("search 1", 10s, from).has_value());
    onChain([&] { EXPECT_EQ(controlPoint_->treeCount(), 1u); });
}

TEST_F(ControlPointTest, ADescriptionWithAnotherUdnIsStillReachedThroughTheAnnouncedOne) {
    ds::test::HttpFixture server("127.0.0.1", 0);
    server.setDefaultReply(ds::test::HttpReply::withBody(
        200, "<root><device><UDN>uuid:described-5678</UDN></device></root>"));
    startControlPoint();
    const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/d.xml";
    onChain([&] {
        controlPoint_->handleSsdpResult("announced-1234", true, url, 60, FromNotify, kLoopback);
    });
    ASSERT_TRUE(waitForEvents(1));
    EXPECT_EQ(events()[0].udn, "described-5678");
    // Its goodbye under the announced UDN removes it; before the mend the announced UDN stayed
    // "being fetched" for ever and the device could never be found again.
    onChain([&] {
        controlPoint_->handleSsdpResult("announced-1234", false, "", 0, FromNotify, kLoopback);
    });
    ASSERT_TRUE(waitForEvents(2));
    EXPECT_FALSE(events()[1].added);
    onChain([&] {
        controlPoint_->handleSsdpResult("announced-1234", true, url, 60, FromNotify, kLoopback);
    });
    ASSERT_TRUE(waitForEvents(3));
    EXPECT_TRUE(events()[2].added);
}

TEST_F(ControlPointTest, AGoodbyeDuringTheFetchLetsTheNextAnnouncementFetchAgain) {
    ds::test::HttpFixture server("127.0.0.1", 0);
    ds::test::HttpReply silent;
    silent.silent = true;
    server.setDefaultReply(silent);
    startControlPoint();
    const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/d.xml";
    onChain([&] {
        controlPoint_->handleSsdpResult("slow-device-1", true, url, 60, FromNotify, kLoopback);
    });
    onChain([&] { EXPECT_EQ(controlPoint_->fetchesInProgress(), 1u); });
    onChain([&] {
        controlPoint_->handleSsdpResult("slow-device-1", false, "", 0, FromNotify, kLoopback);
    });
    onChain([&] { EXPECT_EQ(controlPoint_->fetchesInProgress(), 0u); });
    // The URL is forgotten with the fetch, so the next announcement starts a new fetch from it.
    onChain([&] {
        controlPoint_->handleSsdpResult("slow-device-1", true, url, 60, FromNotify, kLoopback);
    });
    onChain([&] { EXPECT_EQ(controlPoint_->fetchesInProgress(), 1u); });
}

TEST_F(ControlPointTest, AddressChangeIgnoredOnceTheChainIsStopping) {
    // The chain has not run yet, so the control point still exists after the stop.
    startControlPoint(false);
    stopChain(*chain_);
    controlPointAddressesChanged(*controlPoint_);
    startChain(*chain_);  // ends at once
}

}  // namespace
}  // namespace upnp
