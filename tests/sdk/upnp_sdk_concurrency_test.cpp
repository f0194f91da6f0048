// OnDeviceChanged from a second thread while the caller opens, starts, stops, unregisters and
// closes sessions: no race, no deadlock, and no callback of a session once its StopEventMonitor or
// UnRegisterEventMonitor has returned. Meant to be run under ThreadSanitizer as well.

#include <gtest/gtest.h>

#include <atomic>
#include <future>

#include "sdk_fixture.h"

namespace sdktest {
namespace {

struct Watched {
    std::atomic<bool> silenced{false};
    std::atomic<int> calls{0};
    std::atomic<int> lateCalls{0};
};

void watchedCallback(int32_t, CAbstractUPnPDevice* device, void* context) {
    auto* watched = static_cast<Watched*>(context);
    watched->calls++;
    if (watched->silenced)
        watched->lateCalls++;
    if (device != nullptr)
        (void)LBString(device->GetFriendlyName()).GetLength();  // the device is alive
}

TEST_F(SdkTest, DeviceChangesFromAnotherThreadWhileSessionsComeAndGo) {
    std::atomic<bool> stop{false};
    std::atomic<int> changes{0};
    auto changer = std::async(std::launch::async, [&] {
        auto a = makeRecord("3b2b54a3-5512-4a2b-93f2-000000000001",
                            "http://192.168.1.20:50000/d.xml", "A");
        auto b = makeRecord("3b2b54a3-5512-4a2b-93f2-000000000002",
                            "http://192.168.1.21:50000/d.xml", "B");
        for (int i = 0; i < 20000 && !stop; ++i) {
            CUPnPSDK::OnDeviceChanged(&a, DEVICE_ADDED);
            CUPnPSDK::OnDeviceChanged(&b, DEVICE_ADDED);
            CUPnPSDK::OnDeviceChanged(&a, DEVICE_REMOVED);
            CUPnPSDK::OnDeviceChanged(&b, DEVICE_REMOVED);
            changes += 4;
        }
    });

    std::vector<std::unique_ptr<Watched>> watched;
    for (int round = 0; round < 60; ++round) {
        UPnPSession first = nullptr;
        UPnPSession second = nullptr;
        ASSERT_EQ(CUPnPSDK::OpenSession(&first), 0);
        ASSERT_EQ(CUPnPSDK::OpenSession(&second), 0);
        Watched* one = watched.emplace_back(std::make_unique<Watched>()).get();
        Watched* two = watched.emplace_back(std::make_unique<Watched>()).get();
        ASSERT_EQ(CUPnPSDK::RegisterEventMonitor(first, u"", watchedCallback, one), 0);
        ASSERT_EQ(CUPnPSDK::RegisterEventMonitor(second, u"3B2B54A3-5512-4a2b-93f2",
                                                 watchedCallback, two),
                  0);
        ASSERT_EQ(CUPnPSDK::StartEventMonitor(first, CUPnPSDK::EnsureInstance()), 0);
        ASSERT_EQ(CUPnPSDK::StartEventMonitor(second, CUPnPSDK::EnsureInstance()), 0);
        std::this_thread::yield();
        ASSERT_EQ(CUPnPSDK::StopEventMonitor(first), 0);
        one->silenced = true;
        // Callbacks may come again as soon as the start returns, so the session is no longer
        // silenced from just before it.
        one->silenced = false;
        ASSERT_EQ(CUPnPSDK::StartEventMonitor(first, CUPnPSDK::EnsureInstance()), 0);
        ASSERT_EQ(CUPnPSDK::UnRegisterEventMonitor(first), 0);
        one->silenced = true;
        int32_t scanning = 0;
        ASSERT_EQ(CUPnPSDK::IsScanning(second, &scanning), 0);
        ASSERT_EQ(CUPnPSDK::UnRegisterEventMonitor(second), 0);
        two->silenced = true;
        EXPECT_FALSE(CUPnPSDK::ChainIsRunning());
        ASSERT_EQ(CUPnPSDK::CloseSession(first), 0);
        ASSERT_EQ(CUPnPSDK::CloseSession(second), 0);  // releases all devices meanwhile
    }
    stop = true;
    ASSERT_EQ(changer.wait_for(kWatchdog), std::future_status::ready);
    changer.get();

    int calls = 0;
    for (const auto& w : watched) {
        EXPECT_EQ(w->lateCalls, 0);
        calls += w->calls;
    }
    EXPECT_GT(changes.load(), 0);
    RecordProperty("callbacks", calls);
}

// Two threads unregister the last two sessions at the same moment. Each used to see the other
// still registered, so neither stopped discovery, which then ran on with no monitor at all.
TEST_F(SdkTest, TwoThreadsUnregisteringTheLastTwoSessionsAtOnceStopDiscovery) {
    EventLog log;
    for (int round = 0; round < 600; ++round) {
        UPnPSession first = openStarted(log);
        UPnPSession second = openStarted(log);
        // Both threads spin until the other is there too, so the two calls start together.
        std::atomic<int> ready{0};
        auto unregister = [&ready](UPnPSession session) {
            ready++;
            while (ready.load() < 2)
                ;
            return CUPnPSDK::UnRegisterEventMonitor(session);
        };
        auto one = std::async(std::launch::async, unregister, first);
        auto two = std::async(std::launch::async, unregister, second);
        ASSERT_EQ(one.wait_for(kWatchdog), std::future_status::ready);
        ASSERT_EQ(two.wait_for(kWatchdog), std::future_status::ready);
        ASSERT_EQ(one.get(), 0);
        ASSERT_EQ(two.get(), 0);
        ASSERT_FALSE(CUPnPSDK::ChainIsRunning()) << "round " << round;
        ASSERT_EQ(CUPnPSDK::CloseSession(first), 0);
        ASSERT_EQ(CUPnPSDK::CloseSession(second), 0);
        forget(first);
        forget(second);
    }
}

}  // namespace
}  // namespace sdktest
