// The Windows network provider where Wine only stubs the Windows network: every call comes back
// with an error code (Wine answers 1222, "no network") or an empty result, and none crashes.
// What the calls do against a real server needs a real Windows machine.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/default_network_provider.h"
#include "platform/win_error.h"

namespace {

using platform::NetResource;

TEST(WNetProviderSmoke, ConnectionCallsReportAnErrorCode) {
    platform::NetworkProvider& provider = platform::defaultNetworkProvider();
    NetResource resource;
    resource.type = 1;
    resource.localName = u"Q:";
    resource.remoteName = u"\\\\127.0.1.1\\Public";
    EXPECT_NE(
        provider.addConnection(resource, u"secret", u"alice", platform::kConnectUpdateProfile),
        platform::kNoError);
    EXPECT_NE(provider.cancelConnection(u"Q:", true), platform::kNoError);
    std::u16string remote;
    EXPECT_NE(provider.getConnection(u"Q:", remote), platform::kNoError);
    EXPECT_TRUE(remote.empty());
}

TEST(WNetProviderSmoke, EnumerationOfAServerReportsAnErrorCodeOrNothing) {
    platform::NetworkProvider& provider = platform::defaultNetworkProvider();
    NetResource server;
    server.remoteName = u"\\\\127.0.1.1";
    std::unique_ptr<platform::NetEnumeration> enumeration;
    const platform::WinError opened = provider.openEnum(
        platform::kResourceGlobalNet, platform::kResourceTypeAny, 0, server, enumeration);
    if (opened != platform::kNoError) {
        EXPECT_EQ(enumeration, nullptr);
        return;
    }
    ASSERT_NE(enumeration, nullptr);
    std::vector<NetResource> entries;
    const platform::WinError listed = provider.enumResource(*enumeration, 0xFFFFFFFF, entries);
    EXPECT_TRUE(listed == platform::kNoError || listed == platform::kErrorNoMoreItems) << listed;
    EXPECT_EQ(provider.closeEnum(std::move(enumeration)), platform::kNoError);
}

TEST(WNetProviderSmoke, LogicalDrivesIncludeTheSystemDrive) {
    std::u16string drives;
    const uint32_t units = platform::defaultNetworkProvider().getLogicalDriveStrings(drives);
    ASSERT_GT(units, 0u);
    ASSERT_EQ(drives.size(), units + 1);
    EXPECT_EQ(drives.back(), u'\0');
    EXPECT_NE(drives.find(u"C:\\"), std::u16string::npos);
}

}  // namespace
