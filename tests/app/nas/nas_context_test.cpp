// Starting the record of a chosen NAS.

#include "app/nas/nas_context.h"

#include <gtest/gtest.h>

#include "sdk/upnp_device.h"
#include "sdk/upnp_sdk.h"

namespace {

void describe(CUPnPProxyDevice& device, const char16_t* name, const char16_t* address,
              const char16_t* prefix) {
    device.m_strFriendlyName = name;
    device.m_strIPAddress = address;
    device.m_strUDNPrefix = prefix;
    device.m_strUDNSuffix = u"0001";
}

TEST(NasContextTest, StartsEmpty) {
    EXPECT_EQ(g_NasContext.session, nullptr);
    EXPECT_TRUE(g_NasContext.strAddress.IsEmpty());
    EXPECT_TRUE(g_NasContext.strPassword.IsEmpty());
    EXPECT_EQ(g_NasContext.bPublicMapped, 0);
    EXPECT_EQ(g_NasContext.bPrivateMapped, 0);
}

// A user who signed in on one device keeps the password for the next; everything else of the
// earlier device is forgotten.
TEST(NasContextTest, BeginDeviceKeepsThePassword) {
    UPnPSessionBlock first{}, second{};
    NasContext context;
    CUPnPProxyDevice homevault;
    describe(homevault, u"Homevault", u"192.168.1.20", u"1f2e3d4c-0000-0000-0000");
    BeginDevice(context, &first, &homevault);
    context.strUserName = u"alice";
    context.strPassword = u"pw-alice";
    context.bPublicMapped = 1;
    context.strPublicPath = u"\\\\192.168.1.20\\Public";
    context.strPublicDrive = u"Z:";
    context.bPrivateMapped = 1;
    context.strPrivatePath = u"\\\\192.168.1.20\\alice";
    context.strPrivateDrive = u"Y:";

    CUPnPProxyDevice other;
    describe(other, u"Homevault 2", u"192.168.1.21", u"99aa");
    BeginDevice(context, &second, &other);
    EXPECT_EQ(context.session, &second);
    EXPECT_EQ(context.strName.ToUtf8(), "Homevault 2");
    EXPECT_EQ(context.strAddress.ToUtf8(), "192.168.1.21");
    EXPECT_EQ(context.strUDNPrefix.ToUtf8(), "99aa");
    EXPECT_EQ(context.strPassword.ToUtf8(), "pw-alice");
    EXPECT_TRUE(context.strUserName.IsEmpty());
    EXPECT_EQ(context.bPublicMapped, 0);
    EXPECT_TRUE(context.strPublicPath.IsEmpty());
    EXPECT_TRUE(context.strPublicDrive.IsEmpty());
    EXPECT_EQ(context.bPrivateMapped, 0);
    EXPECT_TRUE(context.strPrivatePath.IsEmpty());
    EXPECT_TRUE(context.strPrivateDrive.IsEmpty());
}

TEST(NasContextTest, BeginDeviceWithoutDevice) {
    NasContext context;
    context.strAddress = u"192.168.1.20";
    context.strPassword = u"kept";
    BeginDevice(context, nullptr, nullptr);
    EXPECT_TRUE(context.strAddress.IsEmpty());
    EXPECT_TRUE(context.strName.IsEmpty());
    EXPECT_EQ(context.strPassword.ToUtf8(), "kept");
}

}  // namespace
