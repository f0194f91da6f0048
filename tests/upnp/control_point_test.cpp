// The control point against the NAS simulator (a separate program that does not use the stack),
// inside a private network namespace. The chain runs on its own thread with a manual clock, so
// the lifetime, location-change and expiry timers are driven by the test, never by sleeping.

#include "upnp/control_point.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
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

#include "platform/trace.h"
#include "ssdp_test_support.h"
#include "tests/support/http_fixture.h"
#include "tests/support/netns.h"
#include "tests/tools/sim_process.h"
#include "upnp/chain.h"
#include "upnp/clock.h"
#include "upnp/device_description.h"
#include "upnp/ssdp_protocol.h"

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

constexpr const char* kHomevault1 = "3b2b54a3-5512-4a2b-93f2-00107f000101";
const uint32_t kLoopback = inet_addr("127.0.0.1");

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

    // Waits for the simulator's report `line` (from its line `from` on) that it sent an
    // announcement, then until the control point has read it. On loopback a datagram is queued at
    // its receiver before the send returns, so the pass that runs the first task below polls with
    // it waiting and reads it; the second task runs only once that pass is over.
    void waitUntilRead(SimProcess& sim, const std::string& line, size_t from) {
        ASSERT_TRUE(sim.waitForLine(line, 10s, from).has_value());
        onChain([] {});
        onChain([] {});
    }

    // After `stillMs` the `count` events seen so far are all; `laterMs` after that, the next one
    // is a removal.
    void expectRemovedBetween(size_t count, int64_t stillMs, int64_t laterMs) {
        advance(stillMs);
        EXPECT_EQ(events().size(), count);
        advance(laterMs);
        ASSERT_TRUE(waitForEvents(count + 1));
        EXPECT_FALSE(events()[count].added);
    }

    // The failed fetch left nothing behind; the device's next announcement, answered, lists it.
    void expectListedOnceItAnswers(SimProcess& sim) {
        EXPECT_TRUE(events().empty());
        sim.send("fail 1 none");
        sim.send("alive 1");
        ASSERT_TRUE(waitForEvents(1));
        EXPECT_EQ(events()[0].udn, kHomevault1);
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
    const size_t from = sim->lines().size();
    sim->send("alive 1");
    ASSERT_TRUE(sim->waitForLine("ok alive").has_value());
    // The search answer went out before the announcement: both have been read, and a fetch
    // would have started at once.
    waitUntilRead(*sim, "notify 1 alive", from);
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
    expectRemovedBetween(1, 29'000, 32'000);
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
        waitUntilRead(*sim, "notify 1 alive", from);
    }
    EXPECT_EQ(events().size(), 1u);
}

TEST_F(ControlPointTest, NewLocationWithinTenSecondsIgnoredAfterThemReplacesTheDevice) {
    auto sim = startSimulator(
        {"--homevault", "1", "--answer-at-once", "--announce-interval", "0", "--duration", "60"});
    startControlPoint();
    ASSERT_TRUE(waitForEvents(1));
    advance(5'000);
    size_t from = sim->lines().size();
    sim->send("relocate 1 8081");
    ASSERT_TRUE(sim->waitForLine("location 1", 10s, from).has_value());
    waitUntilRead(*sim, "notify 1 alive", from);
    advance(8'000);
    EXPECT_EQ(events().size(), 1u);  // ignored: within 10 s of the last notice

    advance(3'000);
    from = sim->lines().size();
    sim->send("relocate 1 8082");
    ASSERT_TRUE(sim->waitForLine("location 1", 10s, from).has_value());
    waitUntilRead(*sim, "notify 1 alive", from);
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
    expectListedOnceItAnswers(*sim);
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
        // Counted before the simulator starts: its first announcement may be read, and the
        // device listed, before the search below is even sent.
        const size_t before = events().size();
        auto sim = startSimulator({"--homevault", "1", "--framing", framing, "--answer-at-once",
                                   "--announce-interval", "0", "--duration", "60"});
        if (!chain_)
            startControlPoint();
        else
            onChain([&] { ssdpSearch(controlPoint_->ssdpClient()); });
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

// ---- Hosts on the LAN that are broken or hostile ----

uint32_t address(const char* dotted) {
    return inet_addr(dotted);
}

// A device description naming `udn`, with one service whose control URL is on the server that
// serves the description.
std::string descriptionOf(const std::string& udn) {
    return "<root><device><UDN>uuid:" + udn + "</UDN><friendlyName>" + udn +
           "</friendlyName><serviceList><service><serviceType>urn:x:service:X:1</serviceType>"
           "<serviceId>urn:x:serviceId:X</serviceId><SCPDURL>/scpd.xml</SCPDURL>"
           "<controlURL>/ctl</controlURL><eventSubURL>/evt</eventSubURL></service>"
           "</serviceList></device></root>";
}

// Sends `datagram` from `from` (a loopback address) to the control point's port-1900 listener.
void sendFrom(const char* from, const std::string& datagram) {
    const test::Fd peer = test::udpPeer(address(from));
    ASSERT_GE(peer.get(), 0);
    ASSERT_TRUE(test::sendDatagram(peer.get(), datagram, address("127.0.0.1"), ssdp::kPort));
}

std::string notifyMessage(const std::string& udn, const std::string& nts,
                          const std::string& location) {
    std::string text =
        "NOTIFY * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\n"
        "CACHE-CONTROL: max-age=1800\r\nNT: upnp:rootdevice\r\nNTS: " +
        nts + "\r\nUSN: uuid:" + udn + "::upnp:rootdevice\r\n";
    if (!location.empty())
        text += "LOCATION: " + location + "\r\n";
    return text + "\r\n";
}

size_t linesStartingWith(const SimProcess& sim, const std::string& prefix, size_t from) {
    const std::vector<std::string> lines = sim.lines();
    return static_cast<size_t>(std::count_if(
        lines.begin() + static_cast<std::ptrdiff_t>(std::min(from, lines.size())), lines.end(),
        [&](const std::string& line) { return line.rfind(prefix, 0) == 0; }));
}

// A description server that accepts and never answers: the fetch fails at the web client's
// deadline (on the chain's clock), and the device's next announcement fetches again.
TEST_F(ControlPointTest, AHungDescriptionServerEndsAtTheDeadlineAndTheNextAnnouncementFetches) {
    auto sim = startSimulator({"--homevault", "1", "--fail-description", "hang", "--answer-at-once",
                               "--announce-interval", "0", "--duration", "60"});
    startControlPoint();
    ASSERT_TRUE(sim->waitForLine("http 1 GET /description.xml hang").has_value());
    advance(WebClient::kResponseHeadTimeoutMs - 1000);
    onChain([&] { EXPECT_EQ(controlPoint_->fetchesInProgress(), 1u); });
    advance(2000);
    ASSERT_TRUE(waitUntilNoFetch());
    expectListedOnceItAnswers(*sim);
}

// One host announces five devices on five ports of its own, none of which ever answers: they
// may not take the whole pool, so a healthy NAS elsewhere is still listed at once.
TEST_F(ControlPointTest, FiveHungServersOnOneHostLeaveRoomForAHealthyDevice) {
    std::vector<std::unique_ptr<ds::test::HttpFixture>> tarpits;
    startControlPoint();
    onChain([] {});
    for (int i = 0; i < 5; ++i) {
        tarpits.push_back(std::make_unique<ds::test::HttpFixture>("127.0.2.1", 0));
        ds::test::HttpReply silent;
        silent.silent = true;
        tarpits.back()->setDefaultReply(silent);
        const std::string url =
            "http://127.0.2.1:" + std::to_string(tarpits.back()->port()) + "/d.xml";
        onChain([&] {
            controlPoint_->handleSsdpResult("tarpit-" + std::to_string(i), true, url, 1800,
                                            FromNotify, address("127.0.2.1"));
        });
    }
    auto sim = startSimulator({"--homevault", "1", "--announce-interval", "0", "--duration", "60"});
    ASSERT_TRUE(waitForEvents(1));
    EXPECT_EQ(events()[0].udn, kHomevault1);
}

// Two large descriptions of empty embedded devices: 466 000 of them (within the size limit),
// which the XML reader refuses as a whole, and 9 000, which make a tree held to its bound. A
// healthy NAS announced meanwhile is still listed, and nothing of either floods the handlers.
TEST_F(ControlPointTest, HugeDescriptionsOfEmptyDevicesDoNotFreezeDiscovery) {
    const auto description = [](const std::string& udn, int devices) {
        std::string body = "<root><device><UDN>uuid:" + udn + "</UDN><deviceList>";
        for (int i = 0; i < devices; ++i)
            body += "<device/>";
        return body + "</deviceList></device></root>";
    };
    const struct {
        const char* host;
        std::string udn;
        int devices;
    } cases[] = {{"127.0.2.2", "huge-tree-1", 466'000}, {"127.0.2.6", "large-tree-1", 9'000}};
    std::vector<std::unique_ptr<ds::test::HttpFixture>> servers;
    startControlPoint();
    for (const auto& c : cases) {
        const std::string body = description(c.udn, c.devices);
        ASSERT_LE(body.size(), HttpResponseReader::kDefaultBodyLimit);
        servers.push_back(std::make_unique<ds::test::HttpFixture>(c.host, 0));
        servers.back()->setDefaultReply(ds::test::HttpReply::withBody(200, body));
        const std::string url = std::string("http://") + c.host + ":" +
                                std::to_string(servers.back()->port()) + "/huge.xml";
        onChain([&] {
            controlPoint_->handleSsdpResult(c.udn, true, url, 1800, FromNotify, address(c.host));
        });
    }
    auto sim = startSimulator({"--homevault", "1", "--announce-interval", "0", "--duration", "60"});
    ASSERT_TRUE(waitForEvents(kMaxDevicesPerTree + 1));
    ASSERT_TRUE(waitUntilNoFetch());
    const std::vector<Event> seen = events();
    EXPECT_EQ(seen.size(), kMaxDevicesPerTree + 1);
    EXPECT_EQ(std::count_if(seen.begin(), seen.end(),
                            [](const Event& e) { return e.udn == kHomevault1; }),
              1);
    EXPECT_EQ(std::count_if(seen.begin(), seen.end(),
                            [](const Event& e) { return e.udn == "large-tree-1"; }),
              1);
    EXPECT_EQ(std::count_if(seen.begin(), seen.end(),
                            [](const Event& e) { return e.udn == "huge-tree-1"; }),
              0);
}

// Two devices described by one web server: the first one's goodbye while the second one's
// description is on its way removes the first and lets the second be fetched and listed.
TEST_F(ControlPointTest, AGoodbyeDuringAnotherDevicesFetchOnTheSameServerSparesThatFetch) {
    ds::test::HttpFixture server("127.0.2.3", 0);
    const std::string base = "http://127.0.2.3:" + std::to_string(server.port());
    server.queueReply(ds::test::HttpReply::withBody(200, descriptionOf("shared-a")));
    startControlPoint();
    onChain([&] {
        controlPoint_->handleSsdpResult("shared-a", true, base + "/a.xml", 1800, FromNotify,
                                        address("127.0.2.3"));
    });
    ASSERT_TRUE(waitForEvents(1));
    ds::test::HttpReply slow = ds::test::HttpReply::withBody(200, descriptionOf("shared-b"));
    slow.pieces = {20};
    slow.pause = 1500ms;
    server.queueReply(slow);
    onChain([&] {
        controlPoint_->handleSsdpResult("shared-b", true, base + "/b.xml", 1800, FromNotify,
                                        address("127.0.2.3"));
    });
    ASSERT_TRUE(server.waitForRequests(2, 10s));
    onChain([&] {
        controlPoint_->handleSsdpResult("shared-a", false, "", 0, FromNotify, address("127.0.2.3"));
    });
    ASSERT_TRUE(waitForEvents(3));
    const std::vector<Event> seen = events();
    EXPECT_FALSE(seen[1].added);
    EXPECT_EQ(seen[1].udn, "shared-a");
    EXPECT_TRUE(seen[2].added);
    EXPECT_EQ(seen[2].udn, "shared-b");
}

// A new description URL waits 7 s; the old URL announced again, or a goodbye, in that time
// ends the change: the first device keeps its old URL, the second is gone and stays gone.
TEST_F(ControlPointTest, AnInterruptedLocationChangeIsDropped) {
    const std::string second = "3b2b54a3-5512-4a2b-93f2-00107f000102";
    auto sim = startSimulator(
        {"--homevault", "2", "--answer-at-once", "--announce-interval", "0", "--duration", "60"});
    startControlPoint();
    ASSERT_TRUE(waitForEvents(2));
    // The simulator logs each fetch before it answers: the lines may reach the test after the
    // devices are listed, and must come before the point from which no fetch is expected.
    ASSERT_TRUE(sim->waitForLine("http 1 GET").has_value());
    ASSERT_TRUE(sim->waitForLine("http 2 GET").has_value());
    advance(11'000);
    size_t from = sim->lines().size();
    sim->send("relocate 1 8081");
    sim->send("relocate 2 8082");
    ASSERT_TRUE(sim->waitForLine("location 1", 10s, from).has_value());
    ASSERT_TRUE(sim->waitForLine("location 2", 10s, from).has_value());
    // The simulator runs its commands in order: device 2's announcement goes out last.
    ASSERT_TRUE(sim->waitForLine("notify 1 alive", 10s, from).has_value());
    waitUntilRead(*sim, "notify 2 alive", from);
    advance(3'000);
    onChain([&] {
        controlPoint_->handleSsdpResult(kHomevault1, true, "http://127.0.1.1/description.xml", 1800,
                                        FromNotify, address("127.0.1.1"));
    });
    sim->send("byebye 2");
    ASSERT_TRUE(waitForEvents(3));
    advance(5'000);  // past the 7 s of both changes
    // A change not dropped would now have removed its device and started a fetch: let any such
    // fetch end before looking.
    ASSERT_TRUE(waitUntilNoFetch());
    const std::vector<Event> seen = events();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_FALSE(seen[2].added);
    EXPECT_EQ(seen[2].udn, second);
    onChain([&] {
        EXPECT_EQ(controlPoint_->treeCount(), 1u);
        EXPECT_EQ(controlPoint_->fetchesInProgress(), 0u);
    });
    EXPECT_FALSE(sim->waitForLine("http 1 GET", 0ms, from).has_value());
}

// Each accepted announcement sets the lifetime anew: shortened, the device goes sooner;
// lengthened, it stays longer.
TEST_F(ControlPointTest, ExpiryFollowsTheLifetimeOfTheLastAnnouncement) {
    auto sim = startSimulator({"--homevault", "1", "--lifetime", "60", "--answer-at-once",
                               "--announce-interval", "0", "--duration", "60"});
    startControlPoint();
    ASSERT_TRUE(waitForEvents(1));
    const auto announce = [&](int lifetime) {
        sim->send("lifetime 1 " + std::to_string(lifetime));
        const size_t from = sim->lines().size();
        sim->send("alive 1");
        waitUntilRead(*sim, "notify 1 alive", from);
    };
    announce(10);
    expectRemovedBetween(1, 9'000, 2'000);

    announce(120);  // unknown again: fetched anew with this lifetime
    ASSERT_TRUE(waitForEvents(3));
    announce(30);
    announce(120);
    expectRemovedBetween(3, 90'000, 31'000);
}

// Another host says goodbye for the NAS and then announces it at a URL of its own: neither is
// believed. A device of that host's own, announced last, shows that both were read.
TEST_F(ControlPointTest, AGoodbyeOrANewLocationFromAnotherHostIsIgnored) {
    auto sim = startSimulator(
        {"--homevault", "1", "--answer-at-once", "--announce-interval", "0", "--duration", "60"});
    ds::test::HttpFixture spoofer("127.0.2.9", 0);
    spoofer.setDefaultReply(ds::test::HttpReply::withBody(200, descriptionOf("spoofer-own")));
    const std::string base = "http://127.0.2.9:" + std::to_string(spoofer.port());
    startControlPoint();
    ASSERT_TRUE(waitForEvents(1));
    advance(11'000);  // a change of location would be taken now
    sendFrom("127.0.2.9", notifyMessage(kHomevault1, "ssdp:byebye", ""));
    sendFrom("127.0.2.9", notifyMessage(kHomevault1, "ssdp:alive", base + "/evil.xml"));
    sendFrom("127.0.2.9", notifyMessage("spoofer-own", "ssdp:alive", base + "/own.xml"));
    ASSERT_TRUE(waitForEvents(2));
    advance(8'000);  // past the 7 s of a change of location
    // A change believed would now have removed the NAS and started a fetch from the other host:
    // let any such fetch end before looking.
    ASSERT_TRUE(waitUntilNoFetch());
    const std::vector<Event> seen = events();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].udn, kHomevault1);
    EXPECT_EQ(seen[1].udn, "spoofer-own");
    EXPECT_TRUE(seen[1].added);
    const std::vector<ds::test::RecordedRequest> requests = spoofer.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "/own.xml");
}

// A renewed lease reports the same addresses: no search. A new address: one search.
TEST_F(ControlPointTest, AnUnchangedAddressSetSendsNoSearch) {
    auto sim = startSimulator({"--homevault", "1", "--answer-at-once", "--no-initial-alive",
                               "--announce-interval", "0", "--duration", "60"});
    startControlPoint();
    ASSERT_TRUE(waitForEvents(1));
    // The simulator logs the first search, then the fetch before answering it: those lines may
    // reach the test after the device is listed, and must come before the point counted from.
    ASSERT_TRUE(sim->waitForLine("http 1 GET").has_value());
    const size_t from = sim->lines().size();
    for (int renewal = 0; renewal < 3; ++renewal) {
        controlPointAddressesChanged(*controlPoint_);
        onChain([] {});
    }
    ASSERT_EQ(std::system("ip link add dscp2 type veth peer name dscp3 && "
                          "ip addr add 10.77.2.2/24 dev dscp2 && ip link set dscp2 up && "
                          "ip link set dscp3 up"),
              0);
    controlPointAddressesChanged(*controlPoint_);
    ASSERT_TRUE(sim->waitForLine("search 1", 10s, from).has_value());
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(linesStartingWith(*sim, "search 1", from), 1u);
    EXPECT_EQ(std::system("ip link del dscp2"), 0);
}

// One host may keep only so many description fetches going at once; what it announces beyond
// them is dropped with one trace line, and a NAS elsewhere is still listed.
TEST_F(ControlPointTest, OneHostKeepsAtMostEightFetchesGoing) {
    platform::TraceCapture trace;
    ds::test::HttpFixture tarpit("127.0.2.4", 0);
    ds::test::HttpReply silent;
    silent.silent = true;
    tarpit.setDefaultReply(silent);
    const std::string base = "http://127.0.2.4:" + std::to_string(tarpit.port());
    startControlPoint();
    onChain([&] {
        for (int i = 0; i < 20; ++i)
            controlPoint_->handleSsdpResult("flood-" + std::to_string(i), true,
                                            base + "/" + std::to_string(i) + ".xml", 1800,
                                            FromNotify, address("127.0.2.4"));
        EXPECT_EQ(controlPoint_->fetchesInProgress(), ControlPoint::kMaxFetchesPerHost);
    });
    const std::vector<std::string> lines = trace.lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) {
                                return line.find("127.0.2.4") != std::string::npos;
                            }),
              1);
    auto sim = startSimulator({"--homevault", "1", "--announce-interval", "0", "--duration", "60"});
    ASSERT_TRUE(waitForEvents(1));
    EXPECT_EQ(events()[0].udn, kHomevault1);
}

// One host may hold only so many devices: announcements of further ones are not fetched.
TEST_F(ControlPointTest, OneHostHoldsAtMostSixtyFourDevices) {
    ds::test::HttpFixture server("127.0.2.5", 0);
    const std::string base = "http://127.0.2.5:" + std::to_string(server.port());
    for (size_t i = 0; i < ControlPoint::kMaxDevicesPerHost; ++i)
        server.queueReply(
            ds::test::HttpReply::withBody(200, descriptionOf("many-" + std::to_string(i))));
    server.setDefaultReply(ds::test::HttpReply::withBody(200, descriptionOf("one-too-many")));
    startControlPoint();
    for (size_t i = 0; i < ControlPoint::kMaxDevicesPerHost + 6; ++i) {
        onChain([&] {
            controlPoint_->handleSsdpResult("many-" + std::to_string(i), true,
                                            base + "/" + std::to_string(i) + ".xml", 1800,
                                            FromNotify, address("127.0.2.5"));
        });
        ASSERT_TRUE(waitUntilNoFetch());
    }
    EXPECT_EQ(events().size(), ControlPoint::kMaxDevicesPerHost);
    EXPECT_EQ(server.requests().size(), ControlPoint::kMaxDevicesPerHost);
    onChain([&] { EXPECT_EQ(controlPoint_->treeCount(), ControlPoint::kMaxDevicesPerHost); });
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
