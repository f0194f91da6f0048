#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <thread>

#include "platform/memory_network_provider.h"
#include "platform/network_provider.h"
#include "sdk/upnp_device.h"
#include "sdk_fixture.h"

namespace sdktest {
namespace {

constexpr char kNasUdn[] = "3b2b54a3-5512-4a2b-93f2-0010754f1c44";
constexpr char kNasLocation[] = "http://192.168.1.20:50000/rootDesc.xml";

// A provider that answers enumerations from a script: per container name, the batches each
// enumResource call returns, then `endCode`. Counts opened and closed enumerations.
class ScriptedProvider final : public platform::NetworkProvider {
  public:
    struct Script {
        std::vector<std::vector<platform::NetResource>> batches;
        platform::WinError endCode = platform::kErrorNoMoreItems;
        platform::WinError openCode = platform::kNoError;
    };
    struct Enumeration final : platform::NetEnumeration {
        const Script* script = nullptr;
        size_t next = 0;
    };

    std::map<std::u16string, Script> scripts;
    std::vector<uint32_t> requests;  // maxCount of every enumResource call
    std::vector<platform::NetResource> openedContainers;
    int opened = 0;
    int closed = 0;
    platform::WinError closeCode = platform::kNoError;
    std::function<void()> duringEnumeration;

    platform::WinError addConnection(const platform::NetResource&, std::u16string_view,
                                     std::u16string_view, uint32_t) override {
        return platform::kErrorNoNetwork;
    }
    platform::WinError cancelConnection(std::u16string_view, bool) override {
        return platform::kErrorNotConnected;
    }
    platform::WinError getConnection(std::u16string_view, std::u16string&) override {
        return platform::kErrorNotConnected;
    }
    platform::WinError openEnum(uint32_t scope, uint32_t type, uint32_t usage,
                                const platform::NetResource& container,
                                std::unique_ptr<platform::NetEnumeration>& enumeration) override {
        EXPECT_EQ(scope, platform::kResourceGlobalNet);
        EXPECT_EQ(type, platform::kResourceTypeAny);
        EXPECT_EQ(usage, 0u);
        openedContainers.push_back(container);
        auto it = scripts.find(container.remoteName);
        if (it == scripts.end())
            return platform::kErrorBadNetPath;
        if (it->second.openCode != platform::kNoError)
            return it->second.openCode;
        auto e = std::make_unique<Enumeration>();
        e->script = &it->second;
        enumeration = std::move(e);
        ++opened;
        return platform::kNoError;
    }
    platform::WinError enumResource(platform::NetEnumeration& enumeration, uint32_t maxCount,
                                    std::vector<platform::NetResource>& entries) override {
        requests.push_back(maxCount);
        if (duringEnumeration)
            std::exchange(duringEnumeration, nullptr)();
        auto& e = static_cast<Enumeration&>(enumeration);
        if (e.next >= e.script->batches.size())
            return e.script->endCode;
        const auto& batch = e.script->batches[e.next++];
        entries.insert(entries.end(), batch.begin(), batch.end());
        return platform::kNoError;
    }
    platform::WinError closeEnum(std::unique_ptr<platform::NetEnumeration>) override {
        ++closed;
        return closeCode;
    }
    uint32_t getLogicalDriveStrings(std::u16string& buffer) override {
        buffer.assign(1, u'\0');
        return 0;
    }
};

platform::NetResource entry(std::u16string remoteName, uint32_t usage = 1) {
    platform::NetResource resource;
    resource.scope = platform::kResourceGlobalNet;
    resource.usage = usage;
    resource.remoteName = std::move(remoteName);
    return resource;
}

class DevicePropertiesTest : public SdkTest {
  protected:
    void SetUp() override {
        SdkTest::SetUp();
        session_ = open();
        auto record = makeRecord(kNasUdn, kNasLocation);
        CUPnPSDK::OnDeviceChanged(&record, DEVICE_ADDED);
    }
    void TearDown() override {
        platform::setNetworkProvider(nullptr);
        SdkTest::TearDown();
    }
    template <typename Provider>
    Provider& install() {
        auto provider = std::make_unique<Provider>();
        Provider& ref = *provider;
        platform::setNetworkProvider(std::move(provider));
        return ref;
    }
    static std::vector<std::string> shares(CAbstractUPnPDevice* device) {
        std::vector<std::string> names;
        for (const LBString& share : *device->GetShareList())
            names.push_back(share.ToUtf8());
        return names;
    }

    UPnPSession session_ = nullptr;
};

TEST_F(DevicePropertiesTest, ListsTheSharesOfTheNasAsTheProviderReportsThem) {
    auto& provider = install<platform::MemoryNetworkProvider>();
    provider.addShare(u"192.168.1.20", u"Public", {true, {}});
    provider.addShare(u"192.168.1.20", u"alice", {false, {u"alice"}});
    provider.addShare(u"192.168.1.20", u"IPC$", {true, {}});

    CAbstractUPnPDevice* device = nullptr;
    ASSERT_EQ(CUPnPSDK::GetProperties(session_, u"0010754F1C44", u"192.168.1.20", &device), 0);
    ASSERT_NE(device, nullptr);  // the suffix in capitals finds the device all the same
    EXPECT_EQ(device, CUPnPSDK::GetDeviceList()->front());
    EXPECT_EQ(shares(device), (std::vector<std::string>{"Public", "alice"}));
    EXPECT_EQ(device->GetShareCount(), 2);

    // Asking again refreshes the list instead of piling up a second copy.
    ASSERT_EQ(CUPnPSDK::GetProperties(session_, u"0010754f1c44", u"192.168.1.20", &device), 0);
    EXPECT_EQ(shares(device), (std::vector<std::string>{"Public", "alice"}));
}

TEST_F(DevicePropertiesTest, UnknownDeviceGivesNullAndZero) {
    auto& provider = install<ScriptedProvider>();
    CAbstractUPnPDevice* device = CUPnPSDK::GetDeviceList()->front();
    ASSERT_EQ(CUPnPSDK::GetProperties(session_, u"0010754f1c44", u"192.168.1.99", &device), 0);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(provider.opened, 0);  // nothing enumerated without a match

    auto record = makeRecord(kNasUdn, kNasLocation);
    CUPnPSDK::OnDeviceChanged(&record, DEVICE_REMOVED);
    ASSERT_EQ(CUPnPSDK::GetProperties(session_, u"0010754f1c44", u"192.168.1.20", &device), 0);
    EXPECT_EQ(device, nullptr);  // no longer listed
}

TEST_F(DevicePropertiesTest, EnumeratesTheServerAsAContainerAndFollowsTheRequestCounts) {
    auto& provider = install<ScriptedProvider>();
    provider.scripts[u"\\\\192.168.1.20"].batches = {
        {entry(u"\\\\192.168.1.20\\Public"), entry(u"\\\\192.168.1.20\\alice")},
        {entry(u"noslash")},
    };
    CAbstractUPnPDevice* device = nullptr;
    ASSERT_EQ(CUPnPSDK::GetProperties(session_, u"0010754f1c44", u"192.168.1.20", &device), 0);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(shares(device), (std::vector<std::string>{"Public", "alice", "noslash"}));
    ASSERT_EQ(provider.openedContainers.size(), 1u);
    EXPECT_EQ(provider.openedContainers[0].usage, 2u);  // container
    EXPECT_EQ(provider.openedContainers[0].scope, platform::kResourceGlobalNet);
    // First as many as fit, then as many as the previous call returned.
    EXPECT_EQ(provider.requests, (std::vector<uint32_t>{0xFFFFFFFF, 2, 1}));
    EXPECT_EQ(provider.closed, provider.opened);
}

TEST_F(DevicePropertiesTest, DescendsIntoContainersAndClosesEveryEnumeration) {
    auto& provider = install<ScriptedProvider>();
    provider.scripts[u"\\\\192.168.1.20"].batches = {
        {entry(u"\\\\192.168.1.20\\Media", 2), entry(u"\\\\192.168.1.20\\Public")}};
    provider.scripts[u"\\\\192.168.1.20\\Media"].batches = {
        {entry(u"\\\\192.168.1.20\\Media\\Music")}};
    CAbstractUPnPDevice* device = nullptr;
    ASSERT_EQ(CUPnPSDK::GetProperties(session_, u"0010754f1c44", u"192.168.1.20", &device), 0);
    EXPECT_EQ(shares(device), (std::vector<std::string>{"Media", "Music", "Public"}));
    EXPECT_EQ(provider.opened, 2);
    EXPECT_EQ(provider.closed, 2);
}

TEST_F(DevicePropertiesTest, AFailureMidwayKeepsWhatWasFoundAndStillClosesTheEnumeration) {
    auto& provider = install<ScriptedProvider>();
    provider.scripts[u"\\\\192.168.1.20"].batches = {{entry(u"\\\\192.168.1.20\\Public"),
                                                      entry(u"\\\\192.168.1.20\\Deep", 2),
                                                      entry(u"\\\\192.168.1.20\\Never")}};
    provider.scripts[u"\\\\192.168.1.20\\Deep"].openCode = platform::kErrorAccessDenied;
    CAbstractUPnPDevice* device = nullptr;
    ASSERT_EQ(CUPnPSDK::GetProperties(session_, u"0010754f1c44", u"192.168.1.20", &device), 0);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(shares(device), (std::vector<std::string>{"Public", "Deep"}));
    EXPECT_EQ(provider.closed, provider.opened);  // no enumeration left open
}

TEST_F(DevicePropertiesTest, AServerThatCannotBeOpenedLeavesTheListAsItWas) {
    install<ScriptedProvider>();  // no script: every open fails
    CAbstractUPnPDevice* device = nullptr;
    CUPnPSDK::GetDeviceList()->front()->GetShareList()->push_back(LBString(u"earlier"));
    ASSERT_EQ(CUPnPSDK::GetProperties(session_, u"0010754f1c44", u"192.168.1.20", &device), 0);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(shares(device), (std::vector<std::string>{"earlier"}));
}

TEST_F(DevicePropertiesTest, ContainersNestedWithoutEndStopAtABoundedDepth) {
    auto& provider = install<ScriptedProvider>();
    // The server lists itself as a container inside itself.
    provider.scripts[u"\\\\192.168.1.20"].batches = {{entry(u"\\\\192.168.1.20", 2)}};
    provider.scripts[u"\\\\192.168.1.20"].endCode = platform::kErrorNoMoreItems;
    CAbstractUPnPDevice* device = nullptr;
    ASSERT_EQ(CUPnPSDK::GetProperties(session_, u"0010754f1c44", u"192.168.1.20", &device), 0);
    EXPECT_NE(device, nullptr);
    EXPECT_EQ(provider.closed, provider.opened);
}

TEST_F(DevicePropertiesTest, ADeviceRemovedDuringTheEnumerationIsNotHandedOut) {
    auto& provider = install<ScriptedProvider>();
    provider.scripts[u"\\\\192.168.1.20"].batches = {{entry(u"\\\\192.168.1.20\\Public")}};
    provider.duringEnumeration = [] {
        // The chain thread removes and destroys the device while its shares are enumerated.
        auto record = makeRecord(kNasUdn, kNasLocation);
        CUPnPSDK::OnDeviceChanged(&record, DEVICE_REMOVED);
    };
    CAbstractUPnPDevice* device = reinterpret_cast<CAbstractUPnPDevice*>(0x1);
    ASSERT_EQ(CUPnPSDK::GetProperties(session_, u"0010754f1c44", u"192.168.1.20", &device), 0);
    EXPECT_EQ(device, nullptr);
}

TEST_F(DevicePropertiesTest, NullOutPointerIsRefused) {
    install<ScriptedProvider>();
    EXPECT_EQ(CUPnPSDK::GetProperties(session_, u"0010754f1c44", u"192.168.1.20", nullptr), 1);
}

// The property query replaces a listed device's share list on the caller's thread while a
// DEVICE_ADDED callback on the discovery thread copies that same device, as the header recommends
// and the wizard does. Under AddressSanitizer or ThreadSanitizer the copy used to read strings the
// replacement had freed.
TEST_F(DevicePropertiesTest, APropertyQueryAndACallbackCopyingTheSameDeviceRunSideBySide) {
    auto& provider = install<platform::MemoryNetworkProvider>();
    for (const char16_t* name : {u"Public", u"alice", u"bob", u"media", u"backup", u"photos"})
        provider.addShare(u"192.168.1.20", name, {true, {}});
    auto record = makeRecord(kNasUdn, kNasLocation);
    CUPnPSDK::OnDeviceChanged(&record, DEVICE_REMOVED);  // the chain thread adds it again below

    // The callback keeps copying the device it was handed until the caller's thread has replaced
    // that device's share list often enough (or the watchdog ends it).
    struct SideBySide {
        std::atomic<int> queries{0};
        std::atomic<int> copies{0};
        std::atomic<bool> copying{false};
        std::atomic<bool> done{false};
    } side;
    auto copyDevice = [](int32_t kind, CAbstractUPnPDevice* device, void* context) {
        auto* state = static_cast<SideBySide*>(context);
        if (kind != DEVICE_ADDED || device == nullptr)
            return;
        state->copying = true;
        const auto deadline = std::chrono::steady_clock::now() + kWatchdog;
        while (state->queries < 300 && std::chrono::steady_clock::now() < deadline) {
            CUPnPProxyDevice copy;
            copy.CopyFrom(device);
            state->copies++;
        }
        state->done = true;
    };
    ASSERT_EQ(CUPnPSDK::RegisterEventMonitor(session_, u"", copyDevice, &side), 0);
    ASSERT_EQ(CUPnPSDK::StartEventMonitor(session_, CUPnPSDK::EnsureInstance()), 0);
    auto chain = stack_->lastChain();
    ASSERT_TRUE(chain->waitUntilRunning());

    std::thread chainSide([&] {
        EXPECT_TRUE(chain->runOnChain([&] {
            chain->announce(record);
            chain->withdraw(record);
        }));
    });
    while (!side.done) {
        if (!side.copying) {
            std::this_thread::yield();
            continue;
        }
        CAbstractUPnPDevice* device = nullptr;
        ASSERT_EQ(CUPnPSDK::GetProperties(session_, u"0010754f1c44", u"192.168.1.20", &device), 0);
        side.queries++;
    }
    chainSide.join();
    EXPECT_GE(side.queries, 300);
    EXPECT_GT(side.copies, 0);
}

}  // namespace
}  // namespace sdktest
