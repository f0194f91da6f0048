#pragma once

// Shared pieces of the SDK core tests: a discovery stack whose chains run posted work on the chain
// thread (standing in for the control point), device records, an event log callback, and a
// fixture that leaves the class-wide SDK state empty after every test.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "sdk/discovery_stack.h"
#include "sdk/upnp_sdk.h"
#include "upnp/device_record.h"

namespace sdktest {

using namespace std::chrono_literals;

// Watchdog for every wait: a test fails instead of hanging.
inline constexpr auto kWatchdog = 10s;

class FakeChain final : public sdk::DiscoveryChain {
  public:
    FakeChain(bool failControlPoint, bool throwOnStart)
        : failControlPoint_(failControlPoint), throwOnStart_(throwOnStart) {}

    bool createControlPoint(sdk::DeviceHandler onDeviceAdded,
                            sdk::DeviceHandler onDeviceRemoved) override {
        std::lock_guard lock(mutex_);
        onDeviceAdded_ = std::move(onDeviceAdded);
        onDeviceRemoved_ = std::move(onDeviceRemoved);
        return !failControlPoint_;
    }

    void startChain() override {
        std::unique_lock lock(mutex_);
        ++runs_;
        chainThread_ = std::this_thread::get_id();
        changed_.notify_all();
        if (throwOnStart_) {
            ++finished_;
            throw std::runtime_error("chain failed");
        }
        for (;;) {
            changed_.wait(lock, [this] { return terminating_ || !tasks_.empty(); });
            if (terminating_)
                break;
            auto task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            task();
            lock.lock();
            ++tasksDone_;
            changed_.notify_all();
        }
        ++finished_;
        changed_.notify_all();
    }

    void stopChain() override {
        std::lock_guard lock(mutex_);
        terminating_ = true;
        changed_.notify_all();
    }

    bool isTerminating() const override {
        std::lock_guard lock(mutex_);
        return terminating_;
    }

    void addressesChanged() override {
        std::lock_guard lock(mutex_);
        ++addressChanges_;
    }

    // Runs `task` on the chain thread and waits until it has run.
    bool runOnChain(std::function<void()> task) {
        std::unique_lock lock(mutex_);
        tasks_.push_back(std::move(task));
        int target = tasksDone_ + int(tasks_.size());
        changed_.notify_all();
        // A task that stops the chain still completes before the chain thread leaves.
        return changed_.wait_for(lock, kWatchdog, [&] {
            return tasksDone_ >= target || finished_ > 0;
        }) && tasksDone_ >= target;
    }
    // The control point's handlers, as the real stack calls them.
    void announce(const upnp::DeviceRecord& record) { handler(true)(&record); }
    void withdraw(const upnp::DeviceRecord& record) { handler(false)(&record); }

    bool waitUntilRunning() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kWatchdog, [this] { return runs_ > 0; });
    }
    int runs() const {
        std::lock_guard lock(mutex_);
        return runs_;
    }
    int finished() const {
        std::lock_guard lock(mutex_);
        return finished_;
    }
    int addressChanges() const {
        std::lock_guard lock(mutex_);
        return addressChanges_;
    }
    std::thread::id chainThread() const {
        std::lock_guard lock(mutex_);
        return chainThread_;
    }

  private:
    sdk::DeviceHandler handler(bool added) {
        std::lock_guard lock(mutex_);
        return added ? onDeviceAdded_ : onDeviceRemoved_;
    }

    const bool failControlPoint_;
    const bool throwOnStart_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    sdk::DeviceHandler onDeviceAdded_;
    sdk::DeviceHandler onDeviceRemoved_;
    std::deque<std::function<void()>> tasks_;
    bool terminating_ = false;
    int runs_ = 0;
    int finished_ = 0;
    int tasksDone_ = 0;
    int addressChanges_ = 0;
    std::thread::id chainThread_;
};

class FakeStack final : public sdk::DiscoveryStack {
  public:
    std::shared_ptr<sdk::DiscoveryChain> createChain() override {
        std::lock_guard lock(mutex_);
        auto chain = std::make_shared<FakeChain>(failControlPoint, throwOnStart);
        chains_.push_back(chain);
        return chain;
    }
    std::vector<std::shared_ptr<FakeChain>> chains() const {
        std::lock_guard lock(mutex_);
        return chains_;
    }
    std::shared_ptr<FakeChain> lastChain() const {
        std::lock_guard lock(mutex_);
        return chains_.empty() ? nullptr : chains_.back();
    }

    // Set before the chain is made: its control point cannot be created / its run throws.
    std::atomic<bool> failControlPoint{false};
    std::atomic<bool> throwOnStart{false};

  private:
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<FakeChain>> chains_;
};

inline upnp::DeviceRecord makeRecord(std::string udn, std::string location,
                                     std::string friendlyName = "Homevault") {
    upnp::DeviceRecord record;
    record.UDN = std::move(udn);
    record.LocationURL = std::move(location);
    record.FriendlyName = std::move(friendlyName);
    return record;
}

struct Event {
    int32_t kind;
    bool hasDevice;
    std::string udnSuffix;
    std::string udnPrefix;
    std::string ipAddress;
    std::string friendlyName;
    std::thread::id thread;
};

// Context of `recordEvent`: every call it receives.
class EventLog {
  public:
    std::vector<Event> events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    size_t size() const {
        std::lock_guard lock(mutex_);
        return events_.size();
    }
    void add(Event event) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
    }
    void clear() {
        std::lock_guard lock(mutex_);
        events_.clear();
    }

  private:
    mutable std::mutex mutex_;
    std::vector<Event> events_;
};

inline std::string narrow(const char16_t* text) {
    return LBString(text).ToUtf8();
}

inline void recordEvent(int32_t kind, CAbstractUPnPDevice* device, void* context) {
    Event event{kind, device != nullptr, {}, {}, {}, {}, std::this_thread::get_id()};
    if (device != nullptr) {
        event.udnSuffix = narrow(device->GetUDNSuffix());
        event.udnPrefix = narrow(device->GetUDNPrefix());
        event.ipAddress = narrow(device->GetIPAddress());
        event.friendlyName = narrow(device->GetFriendlyName());
    }
    static_cast<EventLog*>(context)->add(std::move(event));
}

// Installs a FakeStack for the test and leaves the SDK empty afterwards: every session it opened
// unregistered and closed, every device released.
class SdkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto stack = std::make_unique<FakeStack>();
        stack_ = stack.get();
        sdk::setDiscoveryStack(std::move(stack));
        ASSERT_NE(CUPnPSDK::EnsureInstance(), nullptr);
    }

    void TearDown() override {
        for (UPnPSession session : sessions_) {
            CUPnPSDK::StopEventMonitor(session);
            CUPnPSDK::UnRegisterEventMonitor(session);
        }
        for (UPnPSession session : sessions_)
            CUPnPSDK::CloseSession(session);
        sessions_.clear();
        CUPnPSDK::ReleaseAll();
        EXPECT_FALSE(CUPnPSDK::ChainIsRunning());
        EXPECT_TRUE(CUPnPSDK::GetDeviceList()->empty());
        sdk::setDiscoveryStack(nullptr);
    }

    // A session closed by TearDown.
    UPnPSession open() {
        UPnPSession session = nullptr;
        EXPECT_EQ(CUPnPSDK::OpenSession(&session), 0);
        EXPECT_NE(session, nullptr);
        sessions_.push_back(session);
        return session;
    }

    // Opens, registers `recordEvent` into `log` with `filter` and starts the monitor.
    UPnPSession openStarted(EventLog& log, const char16_t* filter = u"") {
        UPnPSession session = open();
        EXPECT_EQ(CUPnPSDK::RegisterEventMonitor(session, filter, recordEvent, &log), 0);
        EXPECT_EQ(CUPnPSDK::StartEventMonitor(session, CUPnPSDK::EnsureInstance()), 0);
        return session;
    }

    // Forgets `session` after a test closed it itself.
    void forget(UPnPSession session) { std::erase(sessions_, session); }

    static std::vector<std::string> listedSuffixes() {
        std::vector<std::string> suffixes;
        for (CAbstractUPnPDevice* device : *CUPnPSDK::GetDeviceList())
            suffixes.push_back(narrow(device->GetUDNSuffix()));
        return suffixes;
    }

    FakeStack* stack_ = nullptr;
    std::vector<UPnPSession> sessions_;
};

}  // namespace sdktest
