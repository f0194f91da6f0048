#include "sdk/upnp_device.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string narrow(const char16_t* text) {
    return LBString(text).ToUtf8();
}

TEST(UPnPProxyDevice, NewDeviceHasEmptyTextsZeroValuesAndAnEmptyShareList) {
    CUPnPProxyDevice device;
    for (const char16_t* text :
         {device.GetIPAddress(), device.GetFriendlyName(), device.GetLocationURL(),
          device.GetSpareText(), device.GetUDNSuffix(), device.GetUDNPrefix()}) {
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text[0], 0);
    }
    EXPECT_EQ(device.GetSpareValue1(), 0u);
    EXPECT_EQ(device.GetSpareValue2(), 0u);
    EXPECT_EQ(device.GetShareCount(), 0);
    ASSERT_NE(device.GetShareList(), nullptr);
    EXPECT_TRUE(device.GetShareList()->empty());
}

TEST(UPnPProxyDevice, ShareListIsTheDevicesOwnList) {
    CUPnPProxyDevice device;
    device.GetShareList()->push_back(LBString(u"Public"));
    EXPECT_EQ(device.GetShareCount(), 1);
    EXPECT_EQ(device.GetShareList(), &device.m_vecShares);
}

void fillNas(CUPnPProxyDevice& nas) {
    nas.m_strIPAddress = u"192.168.1.20";
    nas.m_strFriendlyName = u"Homevault";
    nas.m_strSpareText = u"spare";
    nas.m_strUDNSuffix = u"0010754f1c44";
    nas.m_strUDNPrefix = u"3b2b54a3-5512-4a2b-93f2";
    nas.m_strLocationURL = u"http://192.168.1.20:50000/rootDesc.xml";
    nas.m_nSpareValue1 = 11;
    nas.m_nSpareValue2 = 22;
    nas.m_vecShares = {LBString(u"Public"), LBString(u"alice")};
}

TEST(UPnPProxyDevice, CopyFromTakesTextsAppendsSharesAndLeavesSpareValues) {
    CUPnPProxyDevice nas;
    fillNas(nas);
    CUPnPProxyDevice copy;
    copy.m_vecShares = {LBString(u"old")};
    CAbstractUPnPDevice& target = copy;  // through the virtual table, as callers do
    target.CopyFrom(&nas);
    EXPECT_EQ(narrow(copy.GetIPAddress()), "192.168.1.20");
    EXPECT_EQ(narrow(copy.GetFriendlyName()), "Homevault");
    EXPECT_EQ(narrow(copy.GetSpareText()), "spare");
    EXPECT_EQ(narrow(copy.GetUDNSuffix()), "0010754f1c44");
    EXPECT_EQ(narrow(copy.GetUDNPrefix()), "3b2b54a3-5512-4a2b-93f2");
    EXPECT_EQ(narrow(copy.GetLocationURL()), "http://192.168.1.20:50000/rootDesc.xml");
    EXPECT_EQ(copy.GetSpareValue1(), 0u);
    EXPECT_EQ(copy.GetSpareValue2(), 0u);
    ASSERT_EQ(copy.GetShareCount(), 3);
    EXPECT_EQ(narrow((*copy.GetShareList())[0].GetString()), "old");
    EXPECT_EQ(narrow((*copy.GetShareList())[1].GetString()), "Public");
    EXPECT_EQ(narrow((*copy.GetShareList())[2].GetString()), "alice");
    // Deep copies: the source's buffers are not shared.
    EXPECT_NE(copy.GetFriendlyName(), nas.GetFriendlyName());
}

TEST(UPnPProxyDevice, CopyFromNullOrItselfChangesNothing) {
    CUPnPProxyDevice nas;
    fillNas(nas);
    nas.CopyFrom(nullptr);
    nas.CopyFrom(&nas);  // would otherwise append its own list to itself
    EXPECT_EQ(nas.GetShareCount(), 2);
    EXPECT_EQ(narrow(nas.GetFriendlyName()), "Homevault");
}

TEST(UPnPProxyDevice, IdentityIsSuffixAndAddressIgnoringCase) {
    CUPnPProxyDevice nas;
    fillNas(nas);
    EXPECT_TRUE(nas.HasIdentity(u"0010754F1C44", u"192.168.1.20"));
    EXPECT_FALSE(nas.HasIdentity(u"0010754f1c44", u"192.168.1.21"));
    EXPECT_FALSE(nas.HasIdentity(u"", u"192.168.1.20"));
    CUPnPProxyDevice blank;
    EXPECT_TRUE(blank.HasIdentity(LBString(), LBString()));
}

TEST(UPnPProxyDevice, DestroyingThroughTheBaseReleasesEverything) {
    // Under AddressSanitizer a missing release shows as a leak.
    std::unique_ptr<CAbstractUPnPDevice> device = std::make_unique<CUPnPProxyDevice>();
    CUPnPProxyDevice nas;
    fillNas(nas);
    device->CopyFrom(&nas);
    device.reset();
}

}  // namespace
