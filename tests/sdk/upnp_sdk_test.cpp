#include "sdk/upnp_sdk.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>

#include "platform/trace.h"
#include "sdk_fixture.h"

namespace sdktest {
namespace {

constexpr char kNasUdn[] = "3b2b54a3-5512-4a2b-93f2-0010754f1c44";
constexpr char kNasLocation[] = "http://192.168.1.20:50000/rootDesc.xml";

TEST_F(SdkTest, NullSessionIsRefusedEverywhere) {
    int32_t scanning = 7;
    CAbstractUPnPDevice* device = reinterpret_cast<CAbstractUPnPDevice*>(0x1);
    EXPECT_EQ(CUPnPSDK::RegisterEventMonitor(nullptr, u"x", recordEvent, nullptr), 1);
    EXPECT_EQ(CUPnPSDK::StartEventMonitor(nullptr, CUPnPSDK::EnsureInstance()), 1);
    EXPECT_EQ(CUPnPSDK::StopEventMonitor(nullptr), 1);
    EXPECT_EQ(CUPnPSDK::UnRegisterEventMonitor(nullptr), 1);
    EXPECT_EQ(CUPnPSDK::IsScanning(nullptr, &scanning), 1);
    EXPECT_EQ(CUPnPSDK::GetProperties(nullptr, u"a", u"b", &device), 1);
    EXPECT_EQ(CUPnPSDK::CloseSession(nullptr), 1);
    EXPECT_EQ(CUPnPSDK::OpenSession(nullptr), 1);
    EXPECT_EQ(scanning, 7);
    EXPECT_EQ(device, reinterpret_cast<CAbstractUPnPDevice*>(0x1));  // out pointer untouched
    EXPECT_TRUE(stack_->chains().empty());
}

TEST_F(SdkTest, StartBeforeAnyRegistrationRefusesAndStartsNothing) {
    UPnPSession session = open();
    EXPECT_EQ(CUPnPSDK::StartEventMonitor(session, CUPnPSDK::EnsureInstance()), 1);
    int32_t scanning = 7;
    EXPECT_EQ(CUPnPSDK::IsScanning(session, &scanning), 0);
    EXPECT_EQ(scanning, 0);
    EXPECT_TRUE(stack_->chains().empty());
}

TEST_F(SdkTest, StartRunsTheChainOnItsOwnThreadAndLastUnregistrationEndsIt) {
    EventLog log;
    UPnPSession session = openStarted(log);
    auto chain = stack_->lastChain();
    ASSERT_TRUE(chain);
    ASSERT_TRUE(chain->waitUntilRunning());
    EXPECT_NE(chain->chainThread(), std::this_thread::get_id());
    int32_t scanning = 0;
    EXPECT_EQ(CUPnPSDK::IsScanning(session, &scanning), 0);
    EXPECT_EQ(scanning, 1);

    EXPECT_EQ(CUPnPSDK::UnRegisterEventMonitor(session), 0);
    // The unregistration waited for both threads.
    EXPECT_EQ(chain->finished(), 1);
    EXPECT_TRUE(chain->isTerminating());
    EXPECT_EQ(CUPnPSDK::IsScanning(session, &scanning), 0);
    EXPECT_EQ(scanning, 0);
}

TEST_F(SdkTest, SecondStartWhileRunningOnlyReenables) {
    EventLog log;
    UPnPSession session = openStarted(log);
    auto chain = stack_->lastChain();
    EXPECT_EQ(CUPnPSDK::StartEventMonitor(session, CUPnPSDK::EnsureInstance()), 0);
    EXPECT_EQ(CUPnPSDK::StartEventMonitor(session, CUPnPSDK::EnsureInstance()), 0);
    ASSERT_TRUE(chain->waitUntilRunning());
    // Let the chain thread do one pass so a second thread, if one were started, would show.
    ASSERT_TRUE(chain->runOnChain([] {}));
    EXPECT_EQ(chain->runs(), 1);
    EXPECT_EQ(stack_->chains().size(), 1u);
}

TEST_F(SdkTest, TwoSessionsDiscoveryEndsWithTheSecondUnregistration) {
    EventLog a, b;
    UPnPSession first = openStarted(a);
    UPnPSession second = openStarted(b);
    auto chain = stack_->lastChain();
    ASSERT_EQ(stack_->chains().size(), 1u);  // the second registration reuses the chain

    EXPECT_EQ(CUPnPSDK::UnRegisterEventMonitor(first), 0);
    EXPECT_TRUE(CUPnPSDK::ChainIsRunning());
    EXPECT_FALSE(chain->isTerminating());

    EXPECT_EQ(CUPnPSDK::UnRegisterEventMonitor(second), 0);
    EXPECT_FALSE(CUPnPSDK::ChainIsRunning());
    EXPECT_EQ(chain->finished(), 1);
}

// Regression: unregistering a session that holds no monitor used to stop discovery for the one
// session that did (the check only counted "at most one entry").
TEST_F(SdkTest, UnregisteringAnUnregisteredSessionKeepsOthersDiscovering) {
    EventLog log;
    openStarted(log);
    UPnPSession stranger = open();
    EXPECT_EQ(CUPnPSDK::UnRegisterEventMonitor(stranger), 0);
    EXPECT_TRUE(CUPnPSDK::ChainIsRunning());
}

TEST_F(SdkTest, UnregistrationOfAStoppedChainKeepsItForTheNextRegistration) {
    EventLog log;
    UPnPSession session = open();
    ASSERT_EQ(CUPnPSDK::RegisterEventMonitor(session, u"", recordEvent, &log), 0);
    EXPECT_EQ(CUPnPSDK::UnRegisterEventMonitor(session), 0);
    ASSERT_EQ(CUPnPSDK::RegisterEventMonitor(session, u"", recordEvent, &log), 0);
    EXPECT_EQ(stack_->chains().size(), 1u);
    EXPECT_EQ(CUPnPSDK::StartEventMonitor(session, CUPnPSDK::EnsureInstance()), 0);
    EXPECT_TRUE(stack_->lastChain()->waitUntilRunning());
}

TEST_F(SdkTest, DiscoveryRestartsWithANewChainAfterTheLastUnregistration) {
    EventLog log;
    UPnPSession session = openStarted(log);
    ASSERT_EQ(CUPnPSDK::UnRegisterEventMonitor(session), 0);
    ASSERT_EQ(CUPnPSDK::RegisterEventMonitor(session, u"", recordEvent, &log), 0);
    ASSERT_EQ(CUPnPSDK::StartEventMonitor(session, CUPnPSDK::EnsureInstance()), 0);
    ASSERT_EQ(stack_->chains().size(), 2u);
    EXPECT_TRUE(stack_->lastChain()->waitUntilRunning());
    EXPECT_TRUE(CUPnPSDK::ChainIsRunning());
}

TEST_F(SdkTest, ChainThreadNeverRunsAChainAnUnregistrationCleared) {
    // Start and unregister back to back, many times: whether or not the chain thread got to its
    // chain before the unregistration, it must end and never keep running a cleared chain.
    EventLog log;
    UPnPSession session = open();
    for (int i = 0; i < 50; ++i) {
        ASSERT_EQ(CUPnPSDK::RegisterEventMonitor(session, u"", recordEvent, &log), 0);
        ASSERT_EQ(CUPnPSDK::StartEventMonitor(session, CUPnPSDK::EnsureInstance()), 0);
        ASSERT_EQ(CUPnPSDK::UnRegisterEventMonitor(session), 0);
        auto chain = stack_->lastChain();
        EXPECT_TRUE(chain->isTerminating());
        EXPECT_EQ(chain->finished(), chain->runs());  // ran not at all or ran and ended
        EXPECT_FALSE(CUPnPSDK::ChainIsRunning());
    }
}

TEST_F(SdkTest, StopSilencesASessionAndStartEnablesItAgain) {
    EventLog log;
    UPnPSession session = openStarted(log);
    auto chain = stack_->lastChain();
    auto record = makeRecord(kNasUdn, kNasLocation);

    ASSERT_TRUE(chain->runOnChain([&] { chain->announce(record); }));
    EXPECT_EQ(log.size(), 1u);

    EXPECT_EQ(CUPnPSDK::StopEventMonitor(session), 0);
    ASSERT_TRUE(chain->runOnChain([&] { chain->withdraw(record); }));
    EXPECT_EQ(log.size(), 1u);
    EXPECT_TRUE(CUPnPSDK::GetDeviceList()->empty());  // discovery went on without the session
    EXPECT_TRUE(CUPnPSDK::ChainIsRunning());

    EXPECT_EQ(CUPnPSDK::StartEventMonitor(session, CUPnPSDK::EnsureInstance()), 0);
    ASSERT_TRUE(chain->runOnChain([&] { chain->announce(record); }));
    EXPECT_EQ(log.size(), 2u);
    EXPECT_EQ(chain->runs(), 1);
}

TEST_F(SdkTest, CallbacksRunOnTheChainThread) {
    EventLog log;
    openStarted(log);
    auto chain = stack_->lastChain();
    auto record = makeRecord(kNasUdn, kNasLocation);
    ASSERT_TRUE(chain->runOnChain([&] { chain->announce(record); }));
    auto events = log.events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].thread, chain->chainThread());
}

TEST_F(SdkTest, SecondRegistrationKeepsTheFirstMonitor) {
    EventLog first, second;
    UPnPSession session = open();
    ASSERT_EQ(CUPnPSDK::RegisterEventMonitor(session, u"", recordEvent, &first), 0);
    ASSERT_EQ(CUPnPSDK::RegisterEventMonitor(session, u"nomatch", recordEvent, &second), 0);
    ASSERT_EQ(CUPnPSDK::StartEventMonitor(session, CUPnPSDK::EnsureInstance()), 0);
    auto record = makeRecord(kNasUdn, kNasLocation);
    CUPnPSDK::OnDeviceChanged(&record, DEVICE_ADDED);
    EXPECT_EQ(first.size(), 1u);
    EXPECT_EQ(second.size(), 0u);
}

TEST_F(SdkTest, AddedDeviceTakesItsTextsFromTheRecord) {
    EventLog log;
    openStarted(log);
    auto record = makeRecord(kNasUdn, kNasLocation, "Homevault H2");
    CUPnPSDK::OnDeviceChanged(&record, DEVICE_ADDED);
    ASSERT_EQ(CUPnPSDK::GetDeviceList()->size(), 1u);
    CAbstractUPnPDevice* device = CUPnPSDK::GetDeviceList()->front();
    EXPECT_EQ(narrow(device->GetUDNPrefix()), "3b2b54a3-5512-4a2b-93f2");
    EXPECT_EQ(narrow(device->GetUDNSuffix()), "0010754f1c44");
    EXPECT_EQ(narrow(device->GetIPAddress()), "192.168.1.20");
    EXPECT_EQ(narrow(device->GetFriendlyName()), "Homevault H2");
    EXPECT_EQ(narrow(device->GetLocationURL()), kNasLocation);
    EXPECT_EQ(device->GetShareCount(), 0);
    auto events = log.events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, DEVICE_ADDED);
    EXPECT_TRUE(events[0].hasDevice);
    EXPECT_EQ(events[0].friendlyName, "Homevault H2");
}

TEST_F(SdkTest, FilterAdmitsOnlyTheExactUdnPrefixIgnoringCase) {
    struct Case {
        const char* udn;
        bool heard;
    };
    const Case cases[] = {
        {"3b2b54a3-5512-4a2b-93f2-0010754f1c44", true},
        {"3B2B54A3-5512-4A2B-93F2-AABBCCDDEEFF", true},
        {"3b2b54a3-5512-4a2b-93f2-00-10", false},  // prefix is everything before the last "-"
        {"3b2b54a3-5512-4a2b-93f3-0010754f1c44", false},
        {"3b2b54a3-5512-4a2b-0010754f1c44", false},
        {"3b2b54a30010754f1c44", false},
    };
    EventLog filtered, all;
    openStarted(filtered, u"3b2b54a3-5512-4a2b-93f2");
    openStarted(all, u"");
    for (const Case& c : cases) {
        filtered.clear();
        all.clear();
        auto record = makeRecord(c.udn, kNasLocation);
        CUPnPSDK::OnDeviceChanged(&record, DEVICE_ADDED);
        EXPECT_EQ(filtered.size(), c.heard ? 1u : 0u) << c.udn;
        EXPECT_EQ(all.size(), 1u) << c.udn;
    }
}

TEST_F(SdkTest, RemovalMatchesSuffixAndAddressIgnoringCase) {
    EventLog log;
    openStarted(log);
    auto added = makeRecord("3b2b54a3-5512-4a2b-93f2-0010754f1c44", kNasLocation);
    auto otherHost = makeRecord("3b2b54a3-5512-4a2b-93f2-0010754f1c44",
                                "http://192.168.1.21:50000/rootDesc.xml");
    CUPnPSDK::OnDeviceChanged(&added, DEVICE_ADDED);
    CUPnPSDK::OnDeviceChanged(&otherHost, DEVICE_ADDED);
    log.clear();

    auto removal =
        makeRecord("ffffffff-5512-4a2b-93f2-0010754F1C44", "http://192.168.1.20:1234/other.xml");
    CUPnPSDK::OnDeviceChanged(&removal, DEVICE_REMOVED);
    ASSERT_EQ(CUPnPSDK::GetDeviceList()->size(), 1u);
    EXPECT_EQ(narrow(CUPnPSDK::GetDeviceList()->front()->GetIPAddress()), "192.168.1.21");
    auto events = log.events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, DEVICE_REMOVED);
    ASSERT_TRUE(events[0].hasDevice);
    EXPECT_EQ(events[0].ipAddress, "192.168.1.20");  // the device handed over is still whole
}

TEST_F(SdkTest, RemovalOfAnUnlistedDeviceStillTellsMonitorsWithNullDevice) {
    EventLog filtered, other;
    openStarted(filtered, u"3b2b54a3-5512-4a2b-93f2");
    openStarted(other, u"00000000-0000-0000-0000");
    auto record = makeRecord(kNasUdn, kNasLocation);
    CUPnPSDK::OnDeviceChanged(&record, DEVICE_REMOVED);
    auto events = filtered.events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, DEVICE_REMOVED);
    EXPECT_FALSE(events[0].hasDevice);
    EXPECT_EQ(other.size(), 0u);
}

TEST_F(SdkTest, EveryDeviceOfATreeIsListedOnce) {
    EventLog log;
    openStarted(log);
    auto root = makeRecord("aaaa-0001", kNasLocation, "Root");
    auto media = makeRecord("bbbb-0002", kNasLocation, "Media");
    auto storage = makeRecord("cccc-0003", kNasLocation, "Storage");
    for (auto* record : {&root, &media, &storage})
        CUPnPSDK::OnDeviceChanged(record, DEVICE_ADDED);
    EXPECT_EQ(listedSuffixes(), (std::vector<std::string>{"0001", "0002", "0003"}));
    for (CAbstractUPnPDevice* device : *CUPnPSDK::GetDeviceList()) {
        EXPECT_EQ(narrow(device->GetIPAddress()), "192.168.1.20");
        EXPECT_EQ(narrow(device->GetLocationURL()), kNasLocation);
    }
    for (auto* record : {&media, &storage, &root})
        CUPnPSDK::OnDeviceChanged(record, DEVICE_REMOVED);
    EXPECT_TRUE(CUPnPSDK::GetDeviceList()->empty());
    EXPECT_EQ(log.size(), 6u);
}

TEST_F(SdkTest, TheSameDeviceAddedTwiceIsListedTwiceAndEachRemovalTakesOne) {
    EventLog log;
    openStarted(log);
    auto record = makeRecord(kNasUdn, kNasLocation);
    CUPnPSDK::OnDeviceChanged(&record, DEVICE_ADDED);
    CUPnPSDK::OnDeviceChanged(&record, DEVICE_ADDED);
    EXPECT_EQ(CUPnPSDK::GetDeviceList()->size(), 2u);
    CUPnPSDK::OnDeviceChanged(&record, DEVICE_REMOVED);
    EXPECT_EQ(CUPnPSDK::GetDeviceList()->size(), 1u);
    CUPnPSDK::OnDeviceChanged(&record, DEVICE_REMOVED);
    EXPECT_TRUE(CUPnPSDK::GetDeviceList()->empty());
}

TEST_F(SdkTest, UdnWithoutDashIsHeardOnlyByUnfilteredMonitors) {
    EventLog filtered, all;
    openStarted(filtered, u"nodash");
    openStarted(all, u"");
    auto record = makeRecord("nodash", kNasLocation);
    CUPnPSDK::OnDeviceChanged(&record, DEVICE_ADDED);
    ASSERT_EQ(CUPnPSDK::GetDeviceList()->size(), 1u);
    EXPECT_EQ(narrow(CUPnPSDK::GetDeviceList()->front()->GetUDNSuffix()), "");
    EXPECT_EQ(narrow(CUPnPSDK::GetDeviceList()->front()->GetUDNPrefix()), "");
    EXPECT_EQ(filtered.size(), 0u);
    EXPECT_EQ(all.size(), 1u);
}

TEST_F(SdkTest, UnknownKindTouchesNoListButTellsMonitorsWithNullDevice) {
    EventLog log;
    openStarted(log);
    auto record = makeRecord(kNasUdn, kNasLocation);
    CUPnPSDK::OnDeviceChanged(&record, DEVICE_ADDED);
    CUPnPSDK::OnDeviceChanged(&record, 7);
    EXPECT_EQ(CUPnPSDK::GetDeviceList()->size(), 1u);
    auto events = log.events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].kind, 7);
    EXPECT_FALSE(events[1].hasDevice);
}

TEST_F(SdkTest, TraceLinesOfAnAdditionAndARemoval) {
    EventLog log;
    openStarted(log);
    auto record = makeRecord(kNasUdn, kNasLocation, "Homevault");
    platform::TraceCapture capture;
    CUPnPSDK::OnDeviceChanged(&record, DEVICE_ADDED);
    CUPnPSDK::OnDeviceChanged(&record, DEVICE_REMOVED);
    CUPnPSDK::OnDeviceChanged(nullptr, DEVICE_ADDED);
    const std::vector<std::string> expected = {
        ">>>CUPnPSDK::OnDeviceChanged Enter",
        ">>>CUPnPSDK::OnDeviceChanged DEVICE_ADDED mediaServerDevice->FriendlyName=Homevault,"
        "mediaServerDevice->LocationURL=http://192.168.1.20:50000/rootDesc.xml",
        ">>>CUPnPSDK::OnDeviceChanged to execute m_fnCallbackFunction",
        ">>>CUPnPSDK::OnDeviceChanged finish m_fnCallbackFunction",
        ">>>CUPnPSDK::OnDeviceChanged Leave",
        ">>>CUPnPSDK::OnDeviceChanged Enter",
        ">>>CUPnPSDK::OnDeviceChanged to DEVICE_REMOVED begin to query device",
        ">>>CUPnPSDK::OnDeviceChanged to DEVICE_REMOVED querying device end",
        ">>>CUPnPSDK::OnDeviceChanged to execute m_fnCallbackFunction",
        ">>>CUPnPSDK::OnDeviceChanged finish m_fnCallbackFunction",
        ">>>CUPnPSDK::OnDeviceChanged Leave",
        ">>>CUPnPSDK::OnDeviceChanged Enter",  // a null record ends right there
    };
    EXPECT_EQ(capture.lines(), expected);
}

void DRIVESCOUT_CALLBACK throwingCallback(int32_t, CAbstractUPnPDevice*, void*) {
    throw std::runtime_error("callback failed");
}

TEST_F(SdkTest, AnExceptionInACallbackIsCaughtAndReleasesTheLocks) {
    UPnPSession session = open();
    ASSERT_EQ(CUPnPSDK::RegisterEventMonitor(session, u"", throwingCallback, nullptr), 0);
    ASSERT_EQ(CUPnPSDK::StartEventMonitor(session, CUPnPSDK::EnsureInstance()), 0);
    auto record = makeRecord(kNasUdn, kNasLocation);
    platform::TraceCapture capture;
    CUPnPSDK::OnDeviceChanged(&record, DEVICE_ADDED);
    EXPECT_TRUE(capture.contains(">>>CUPnPSDK::OnDeviceChanged Catch Exception"));
    EXPECT_EQ(capture.lines().back(), ">>>CUPnPSDK::OnDeviceChanged Leave");
    // Both locks are free again: another thread can take them (detached, so a lock left held
    // fails the watchdog instead of hanging the test).
    auto done = std::make_shared<std::promise<void>>();
    auto finished = done->get_future();
    std::thread([session, done] {
        CUPnPSDK::StopEventMonitor(session);  // m_csMonitor
        CUPnPSDK::ReleaseAll();               // m_csDeviceList
        done->set_value();
    }).detach();
    EXPECT_EQ(finished.wait_for(kWatchdog), std::future_status::ready);
}

// Regression: a callback that unregisters sessions (its own and the next one) while the monitors
// are being walked must leave a walk that goes on with the sessions still registered.
struct Unregisterer {
    std::vector<UPnPSession> toUnregister;
    int calls = 0;
};

void DRIVESCOUT_CALLBACK unregisteringCallback(int32_t, CAbstractUPnPDevice*, void* context) {
    auto* self = static_cast<Unregisterer*>(context);
    ++self->calls;
    for (UPnPSession session : self->toUnregister)
        CUPnPSDK::UnRegisterEventMonitor(session);
    self->toUnregister.clear();
}

TEST_F(SdkTest, ACallbackMayUnregisterSessionsDuringTheWalk) {
    // Three sessions; whichever is walked first unregisters the two others and itself.
    std::vector<UPnPSession> sessions = {open(), open(), open()};
    std::vector<Unregisterer> contexts(3);
    for (size_t i = 0; i < sessions.size(); ++i) {
        contexts[i].toUnregister = sessions;
        ASSERT_EQ(
            CUPnPSDK::RegisterEventMonitor(sessions[i], u"", unregisteringCallback, &contexts[i]),
            0);
        ASSERT_EQ(CUPnPSDK::StartEventMonitor(sessions[i], CUPnPSDK::EnsureInstance()), 0);
    }
    auto record = makeRecord(kNasUdn, kNasLocation);
    CUPnPSDK::OnDeviceChanged(&record, DEVICE_ADDED);
    int calls = contexts[0].calls + contexts[1].calls + contexts[2].calls;
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(CUPnPSDK::ChainIsRunning());  // the last unregistration ended discovery
}

TEST_F(SdkTest, ACallbackOnTheChainThreadMayEndDiscovery) {
    std::vector<UPnPSession> sessions = {open()};
    Unregisterer context{sessions, 0};
    ASSERT_EQ(CUPnPSDK::RegisterEventMonitor(sessions[0], u"", unregisteringCallback, &context), 0);
    ASSERT_EQ(CUPnPSDK::StartEventMonitor(sessions[0], CUPnPSDK::EnsureInstance()), 0);
    auto chain = stack_->lastChain();
    auto record = makeRecord(kNasUdn, kNasLocation);
    // The callback stops the chain it runs on; the task still completes and the chain ends.
    chain->runOnChain([&] { chain->announce(record); });
    EXPECT_EQ(context.calls, 1);
    EXPECT_TRUE(chain->isTerminating());
    EXPECT_FALSE(CUPnPSDK::ChainIsRunning());
}

// A registration whose control point cannot be made reports it, and so does every later one
// while that lasts: nothing scans. Once the control point can be made, a registration makes it.
TEST_F(SdkTest, RegistrationFailsWhenTheControlPointCannotBeMadeAndALaterOneTriesAgain) {
    stack_->failControlPoint = true;
    EventLog log;
    UPnPSession session = open();
    EXPECT_EQ(CUPnPSDK::RegisterEventMonitor(session, u"", recordEvent, &log), 1);
    EXPECT_EQ(CUPnPSDK::RegisterEventMonitor(session, u"", recordEvent, &log), 1);
    EXPECT_EQ(stack_->chains().size(), 2u);
    EXPECT_EQ(CUPnPSDK::StartEventMonitor(session, CUPnPSDK::EnsureInstance()), 1);
    int32_t scanning = -1;
    ASSERT_EQ(CUPnPSDK::IsScanning(session, &scanning), 0);
    EXPECT_EQ(scanning, 0);
    for (const auto& chain : stack_->chains())
        EXPECT_EQ(chain->runs(), 0);

    stack_->failControlPoint = false;
    EXPECT_EQ(CUPnPSDK::RegisterEventMonitor(session, u"", recordEvent, &log), 0);
    EXPECT_EQ(stack_->chains().size(), 3u);
    ASSERT_EQ(CUPnPSDK::StartEventMonitor(session, CUPnPSDK::EnsureInstance()), 0);
    EXPECT_TRUE(stack_->lastChain()->waitUntilRunning());
    ASSERT_EQ(CUPnPSDK::IsScanning(session, &scanning), 0);
    EXPECT_EQ(scanning, 1);
    auto record = makeRecord(kNasUdn, kNasLocation);
    CUPnPSDK::OnDeviceChanged(&record, DEVICE_ADDED);
    EXPECT_EQ(log.size(), 1u);  // the monitor registered by the first, failed call is the one heard
}

// An exception that leaves the chain's run must not end the host process (std::terminate):
// discovery stops, and a later registration starts it again with a new chain.
TEST_F(SdkTest, AnExceptionOnTheChainThreadStopsDiscoveryAndTheProcessLivesOn) {
    stack_->throwOnStart = true;
    EventLog log;
    UPnPSession session = openStarted(log);
    auto broken = stack_->lastChain();
    ASSERT_TRUE(broken->waitUntilRunning());
    auto deadline = std::chrono::steady_clock::now() + kWatchdog;
    while (CUPnPSDK::ChainIsRunning() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    EXPECT_FALSE(CUPnPSDK::ChainIsRunning());
    EXPECT_TRUE(broken->isTerminating());

    stack_->throwOnStart = false;
    ASSERT_EQ(CUPnPSDK::RegisterEventMonitor(session, u"", recordEvent, &log), 0);
    ASSERT_EQ(CUPnPSDK::StartEventMonitor(session, CUPnPSDK::EnsureInstance()), 0);
    ASSERT_EQ(stack_->chains().size(), 2u);
    EXPECT_TRUE(stack_->lastChain()->waitUntilRunning());
    EXPECT_TRUE(CUPnPSDK::ChainIsRunning());
}

TEST_F(SdkTest, CloseSessionWhileAnotherIsRegisteredFreesOnlyTheHandle) {
    EventLog log;
    openStarted(log);
    UPnPSession other = open();
    auto record = makeRecord(kNasUdn, kNasLocation);
    CUPnPSDK::OnDeviceChanged(&record, DEVICE_ADDED);
    CUPnPSDK* instance = CUPnPSDK::GetInstance();
    EXPECT_EQ(CUPnPSDK::CloseSession(other), 0);
    forget(other);
    EXPECT_EQ(CUPnPSDK::GetDeviceList()->size(), 1u);
    EXPECT_EQ(CUPnPSDK::GetInstance(), instance);
}

// Closing a registered session removes its monitor first. The allocator hands a freed session
// block to the next session; that session must start with a monitor of its own, never hear the
// closed session's callback with its old context, and the closed one's callback never runs again.
TEST_F(SdkTest, ClosingARegisteredSessionRemovesItsMonitorFirst) {
    EventLog closedLog;
    UPnPSession session = openStarted(closedLog);
    auto record = makeRecord(kNasUdn, kNasLocation);
    CUPnPSDK::OnDeviceChanged(&record, DEVICE_ADDED);
    ASSERT_EQ(closedLog.size(), 1u);
    EXPECT_EQ(CUPnPSDK::CloseSession(session), 0);
    forget(session);
    // It was the last monitor: discovery stopped and the devices went.
    EXPECT_FALSE(CUPnPSDK::ChainIsRunning());
    EXPECT_TRUE(CUPnPSDK::GetDeviceList()->empty());

    // The next session gets the same block, as the allocator does (here on purpose, so the test
    // does not depend on the allocator's habits).
    UPnPSession reused = session;
    EventLog newLog;
    ASSERT_EQ(CUPnPSDK::RegisterEventMonitor(reused, u"", recordEvent, &newLog), 0);
    ASSERT_EQ(CUPnPSDK::StartEventMonitor(reused, CUPnPSDK::EnsureInstance()), 0);
    CUPnPSDK::OnDeviceChanged(&record, DEVICE_ADDED);
    EXPECT_EQ(newLog.size(), 1u);
    EXPECT_EQ(closedLog.size(), 1u);
    // Not a block of its own here, so it is unregistered rather than closed.
    EXPECT_EQ(CUPnPSDK::UnRegisterEventMonitor(reused), 0);
}

TEST_F(SdkTest, ClosingOneOfTwoRegisteredSessionsKeepsTheOtherDiscovering) {
    EventLog closedLog;
    EventLog otherLog;
    UPnPSession closed = openStarted(closedLog);
    openStarted(otherLog);
    EXPECT_EQ(CUPnPSDK::CloseSession(closed), 0);
    forget(closed);
    EXPECT_TRUE(CUPnPSDK::ChainIsRunning());
    auto record = makeRecord(kNasUdn, kNasLocation);
    CUPnPSDK::OnDeviceChanged(&record, DEVICE_ADDED);
    EXPECT_EQ(closedLog.size(), 0u);
    EXPECT_EQ(otherLog.size(), 1u);
    EXPECT_EQ(CUPnPSDK::GetDeviceList()->size(), 1u);
}

TEST_F(SdkTest, CloseSessionWithNoMonitorLeftReleasesAll) {
    EventLog log;
    UPnPSession session = openStarted(log);
    auto record = makeRecord(kNasUdn, kNasLocation);
    CUPnPSDK::OnDeviceChanged(&record, DEVICE_ADDED);
    ASSERT_EQ(CUPnPSDK::UnRegisterEventMonitor(session), 0);
    EXPECT_EQ(CUPnPSDK::GetDeviceList()->size(), 1u);  // devices outlive the unregistration
    EXPECT_EQ(CUPnPSDK::CloseSession(session), 0);
    forget(session);
    EXPECT_TRUE(CUPnPSDK::GetDeviceList()->empty());
    EXPECT_EQ(CUPnPSDK::GetInstance(), nullptr);
    EXPECT_NE(CUPnPSDK::EnsureInstance(), nullptr);  // the next call makes a fresh instance
}

TEST_F(SdkTest, CloseOfANullHandleStillReleasesAllWhenNoMonitorIsLeft) {
    auto record = makeRecord(kNasUdn, kNasLocation);
    CUPnPSDK::OnDeviceChanged(&record, DEVICE_ADDED);
    EXPECT_EQ(CUPnPSDK::CloseSession(nullptr), 1);
    EXPECT_TRUE(CUPnPSDK::GetDeviceList()->empty());
}

TEST_F(SdkTest, AddressChangesReachTheControlPoint) {
    EventLog log;
    openStarted(log);
    CUPnPSDK::AddressesChanged();
    EXPECT_EQ(stack_->lastChain()->addressChanges(), 1);
}

}  // namespace
}  // namespace sdktest
