// The exported C functions as an outside caller uses them: one-pointer text arguments from
// malloc, handed over and released by the SDK on every path (AddressSanitizer's leak check at exit
// catches a text that is not), and the edge cases of each export.

#include "drivescout/sdk.h"

#include <gtest/gtest.h>

#include "platform/memory_network_provider.h"
#include "sdk_fixture.h"

namespace sdktest {
namespace {

constexpr char kNasUdn[] = "3b2b54a3-5512-4a2b-93f2-0010754f1c44";
constexpr char kNasLocation[] = "http://192.168.1.20:50000/rootDesc.xml";

LBStringArg text(const char* utf8) {
    return LBStringArgFromUtf8(utf8);
}

class ExportsTest : public SdkTest {
  protected:
    UPnPSession openExported() {
        UPnPSession session = nullptr;
        EXPECT_EQ(fnUPnPOpenSession(&session), 0);
        sessions_.push_back(session);
        return session;
    }
};

TEST_F(ExportsTest, SharedPathMappedAnswersOneWithoutMakingTheInstance) {
    CUPnPSDK::ReleaseAll();
    ASSERT_EQ(CUPnPSDK::GetInstance(), nullptr);
    EXPECT_EQ(fnIsUPnPSharedPathMapped(nullptr, text("Z:")), 1);
    EXPECT_EQ(fnIsUPnPSharedPathMapped(reinterpret_cast<UPnPSession>(0x10), text("")), 1);
    EXPECT_EQ(CUPnPSDK::GetInstance(), nullptr);
}

TEST_F(ExportsTest, DeviceListIsTheSameLiveListWhateverTheArguments) {
    UPnPSession session = openExported();
    UPnPDeviceList* list = fnGetUPnPDeviceList(session, text("3b2b54a3"));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(fnGetUPnPDeviceList(nullptr, text("")), list);
    EXPECT_EQ(fnGetUPnPDeviceList(session, LBStringArg{nullptr}), list);
    auto record = makeRecord("ffff-0001", kNasLocation);  // not narrowed by the filter
    CUPnPSDK::OnDeviceChanged(&record, DEVICE_ADDED);
    EXPECT_EQ(list->size(), 1u);
}

TEST_F(ExportsTest, FreeIgnoresNullAndFreesMallocBlocks) {
    EXPECT_EQ(fnUPnPFree(nullptr), 0);
    EXPECT_EQ(fnUPnPFree(std::malloc(32)), 0);
    LBStringArg arg = text("owned by the caller until freed");
    EXPECT_EQ(fnUPnPFree(arg.p), 0);
}

TEST_F(ExportsTest, NullSessionsAreRefusedAndTheirTextsReleased) {
    int32_t out = 77;
    CAbstractUPnPDevice* device = nullptr;
    EXPECT_EQ(fnUPnPMapSharedPath(nullptr, text("alice"), text("secret"),
                                  text("\\\\192.168.1.20\\alice"), text("Y:"), 1, &out),
              1);
    EXPECT_EQ(fnUPnPUnmapSharedPath(nullptr, text("Y:"), 1, &out), 1);
    EXPECT_EQ(fnUPnPRegisterEventMonitor(nullptr, text("filter"), recordEvent, nullptr), 1);
    EXPECT_EQ(fnUPnPGetProperties(nullptr, text("0010754f1c44"), text("192.168.1.20"), &device), 1);
    EXPECT_EQ(fnIsUPnPScanning(nullptr, &out), 1);
    EXPECT_EQ(fnUPnPStartEventMonitor(nullptr), 1);
    EXPECT_EQ(fnUPnPUnRegisterEventMonitor(nullptr), 1);
    EXPECT_EQ(out, 77);  // no out value written on refusal
    EXPECT_EQ(fnUPnPOpenSession(nullptr), 1);
}

TEST_F(ExportsTest, StopWithNullSessionChangesNothing) {
    EventLog log;
    UPnPSession session = openExported();
    ASSERT_EQ(fnUPnPRegisterEventMonitor(session, text(""), recordEvent, &log), 0);
    ASSERT_EQ(fnUPnPStartEventMonitor(session), 0);
    EXPECT_EQ(fnUPnPStopEventMonitor(nullptr), 1);
    auto record = makeRecord(kNasUdn, kNasLocation);
    CUPnPSDK::OnDeviceChanged(&record, DEVICE_ADDED);
    EXPECT_EQ(log.size(), 1u);  // still enabled
    int32_t scanning = 0;
    EXPECT_EQ(fnIsUPnPScanning(session, &scanning), 0);
    EXPECT_EQ(scanning, 1);
}

TEST_F(ExportsTest, CloseOfANullHandleStillReleasesAllWhenNoMonitorIsLeft) {
    auto record = makeRecord(kNasUdn, kNasLocation);
    CUPnPSDK::OnDeviceChanged(&record, DEVICE_ADDED);
    UPnPDeviceList* list = fnGetUPnPDeviceList(nullptr, LBStringArg{nullptr});
    ASSERT_EQ(list->size(), 1u);
    EXPECT_EQ(fnUPnPCloseSession(nullptr), 1);
    EXPECT_TRUE(list->empty());
}

TEST_F(ExportsTest, CreatedDeviceIsEmptyAndOwnedByTheCaller) {
    CAbstractUPnPDevice* device = fnCreateUPnPDeviceObject();
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(narrow(device->GetIPAddress()), "");
    EXPECT_EQ(narrow(device->GetFriendlyName()), "");
    EXPECT_EQ(narrow(device->GetUDNSuffix()), "");
    EXPECT_EQ(device->GetShareCount(), 0);
    EXPECT_EQ(device->GetSpareValue1(), 0u);
    EXPECT_TRUE(fnGetUPnPDeviceList(nullptr, LBStringArg{nullptr})->empty());  // not listed
    fnDeleteUPnPDeviceObject(device);
    fnDeleteUPnPDeviceObject(nullptr);
}

struct KeptCopy {
    CAbstractUPnPDevice* copy = nullptr;
};

void DRIVESCOUT_CALLBACK keepCopy(int32_t kind, CAbstractUPnPDevice* device, void* context) {
    auto* kept = static_cast<KeptCopy*>(context);
    if (kind == DEVICE_REMOVED && device != nullptr && kept->copy == nullptr) {
        kept->copy = fnCreateUPnPDeviceObject();
        kept->copy->CopyFrom(device);
    }
}

TEST_F(ExportsTest, ACopyMadeInARemovalCallbackOutlivesTheDevice) {
    KeptCopy kept;
    UPnPSession session = openExported();
    ASSERT_EQ(fnUPnPRegisterEventMonitor(session, text("3B2B54A3-5512-4A2B-93F2"), keepCopy, &kept),
              0);
    ASSERT_EQ(fnUPnPStartEventMonitor(session), 0);
    auto record = makeRecord(kNasUdn, kNasLocation, "Homevault");
    CUPnPSDK::OnDeviceChanged(&record, DEVICE_ADDED);
    CUPnPSDK::OnDeviceChanged(&record, DEVICE_REMOVED);  // the listed device is destroyed here
    ASSERT_NE(kept.copy, nullptr);
    EXPECT_EQ(narrow(kept.copy->GetFriendlyName()), "Homevault");
    EXPECT_EQ(narrow(kept.copy->GetUDNSuffix()), "0010754f1c44");
    fnDeleteUPnPDeviceObject(kept.copy);

    EXPECT_EQ(fnUPnPStopEventMonitor(session), 0);
    EXPECT_EQ(fnUPnPUnRegisterEventMonitor(session), 0);
    EXPECT_EQ(fnUPnPCloseSession(session), 0);
    forget(session);
}

TEST_F(ExportsTest, GetPropertiesFindsTheDeviceAndItsShares) {
    auto provider = std::make_unique<platform::MemoryNetworkProvider>();
    provider->addShare(u"192.168.1.20", u"Public", {true, {}});
    platform::setNetworkProvider(std::move(provider));
    UPnPSession session = openExported();
    auto record = makeRecord(kNasUdn, kNasLocation);
    CUPnPSDK::OnDeviceChanged(&record, DEVICE_ADDED);

    CAbstractUPnPDevice* device = nullptr;
    ASSERT_EQ(fnUPnPGetProperties(session, text("0010754F1C44"), text("192.168.1.20"), &device), 0);
    ASSERT_NE(device, nullptr);
    ASSERT_EQ(device->GetShareCount(), 1);
    EXPECT_EQ(narrow((*device->GetShareList())[0].GetString()), "Public");
    platform::setNetworkProvider(nullptr);
}

TEST_F(ExportsTest, MapAndUnmapThroughTheExports) {
    auto provider = std::make_unique<platform::MemoryNetworkProvider>();
    provider->addShare(u"192.168.1.20", u"Public", {true, {}});
    platform::MemoryNetworkProvider& network = *provider;
    platform::setNetworkProvider(std::move(provider));
    UPnPSession session = openExported();

    int32_t error = -1;
    ASSERT_EQ(fnUPnPMapSharedPath(session, text(""), text(""), text("\\\\192.168.1.20\\Public"),
                                  text("Z:"), 0, &error),
              0);
    EXPECT_EQ(error, 0);
    ASSERT_EQ(network.connections().size(), 1u);
    EXPECT_EQ(network.connections()[0].localName, u"Z:");

    ASSERT_EQ(fnUPnPUnmapSharedPath(session, text("Z:"), 1, &error), 0);
    EXPECT_EQ(error, 0);
    ASSERT_EQ(fnUPnPUnmapSharedPath(session, text("Z:"), 1, &error), 0);
    EXPECT_EQ(error, int32_t(platform::kErrorNotConnected));
    platform::setNetworkProvider(nullptr);
}

TEST(LBStringArgHelpers, BuildMallocBuffersTheSdkCanAdopt) {
    struct Case {
        const char* utf8;
        std::u16string expected;
    };
    const Case cases[] = {
        {"Z:", u"Z:"},
        {"\\\\192.168.1.20\\Public", u"\\\\192.168.1.20\\Public"},
        {"Gr\xC3\xBC\xC3\x9F"
         "e",
         u"Grüße"},
        {"\xE2\x82\xAC", u"€"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"a\xFF"
         "b",
         u"a\uFFFDb"},        // invalid byte
        {"\xC3", u"\uFFFD"},  // cut short at the end
        {"\xE2\x82"
         "x",
         u"\uFFFD\uFFFDx"},                       // cut short in the middle
        {"\xC0\x80", u"\uFFFD\uFFFD"},            // overlong
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // surrogate
    };
    for (const Case& c : cases) {
        LBString adopted = LBString::Adopt(LBStringArgFromUtf8(c.utf8));
        EXPECT_EQ(std::u16string(adopted.View()), c.expected) << c.utf8;
        LBString wide = LBString::Adopt(LBStringArgFromUtf16(c.expected.c_str()));
        EXPECT_EQ(std::u16string(wide.View()), c.expected);
    }
    EXPECT_EQ(LBStringArgFromUtf8("").p, nullptr);
    EXPECT_EQ(LBStringArgFromUtf8(nullptr).p, nullptr);
    EXPECT_EQ(LBStringArgFromUtf16(u"").p, nullptr);
    // The ABI shape the exports rely on.
    static_assert(std::is_trivially_copyable_v<LBStringArg>);
    static_assert(sizeof(LBStringArg) == sizeof(void*));
}

}  // namespace
}  // namespace sdktest
