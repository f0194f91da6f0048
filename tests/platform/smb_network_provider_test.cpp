#include "platform/smb_network_provider.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "platform/user_store.h"
#include "platform/utf.h"
#include "support/smbd_fixture.h"
#include "support/smbd_user_test.h"
#include "support/temp_user_dirs.h"

namespace platform {
namespace {

using ds::test::SmbdServer;

TEST(SmbErrorMapping, ErrnoGivesThePlatformCode) {
    const std::pair<int, WinError> cases[] = {
        {0, 0},          {ENOENT, 67},       {ENOTDIR, 67},     {ECONNREFUSED, 53},
        {ETIMEDOUT, 53}, {EHOSTUNREACH, 53}, {ENETUNREACH, 53}, {EACCES, 5},
        {EPERM, 5},      {ENOMEM, 8},        {ELIBACC, 1222},
    };
    for (const auto& [error, expected] : cases)
        EXPECT_EQ(winErrorFromSmbErrno(error), expected) << "errno " << error;
}

TEST(SmbUrl, EncodesComponentsAndTurnsBackslashesIntoSlashes) {
    EXPECT_EQ(smbUrl(u"192.168.1.20"), "smb://192.168.1.20/");
    EXPECT_EQ(smbUrl(u"nas", u"Public"), "smb://nas/Public/");
    EXPECT_EQ(smbUrl(u"nas", u"my share", u"a b\\c%d\\\u00e9"),
              "smb://nas/my%20share/a%20b/c%25d/\xc3\xa9/");
    EXPECT_EQ(smbUrl(u"nas", u"x#y?z@w:v"), "smb://nas/x%23y%3Fz%40w%3Av/");
}

TEST(SmbMountUrl, CarriesAPortOtherThanTheDefault) {
    EXPECT_EQ(smbMountUrl(u"192.168.1.20", u"Public", 445), "smb://192.168.1.20/Public/");
    EXPECT_EQ(smbMountUrl(u"192.168.1.20", u"Public", 4445), "smb://192.168.1.20:4445/Public/");
    EXPECT_EQ(smbMountUrl(u"fd00::20", u"my share", 445), "smb://[fd00::20]/my%20share/");
    EXPECT_EQ(smbMountUrl(u"fd00::20", u"alice", 1139), "smb://[fd00::20]:1139/alice/");
}

TEST(SmbPort, EnvironmentThenStoreThenDefault) {
    ds::test::TempUserDirs user;
    user.setEnv("DRIVESCOUT_SMB_PORT", std::nullopt);
    EXPECT_EQ(smbPort(), 445);
    std::unique_ptr<UserStoreKey> key;
    ASSERT_EQ(UserStore::forCurrentUser().createKey(kSmbSettingsKey, key), 0u);
    ASSERT_EQ(key->setNumber(u"Port", 4445), 0u);
    EXPECT_EQ(smbPort(), 4445);
    user.setEnv("DRIVESCOUT_SMB_PORT", "1139");
    EXPECT_EQ(smbPort(), 1139);
    user.setEnv("DRIVESCOUT_SMB_PORT", "70000");
    EXPECT_EQ(smbPort(), 4445);
}

// Checks made before any packet is sent, so they need no server.
TEST(SmbNetworkProviderNames, BadNamesAreRefusedWithoutNetwork) {
    ds::test::TempUserDirs user;
    user.setEnv("DRIVESCOUT_SMB_PORT", "1");
    SmbNetworkProvider provider;
    const std::pair<std::u16string, std::u16string> badLocal[] = {
        {u"ZZ", u"\\\\h\\s"}, {u"1:", u"\\\\h\\s"}, {u"Z:\\", u"\\\\h\\s"}};
    for (const auto& [local, remote] : badLocal) {
        NetResource resource;
        resource.localName = local;
        resource.remoteName = remote;
        EXPECT_EQ(provider.addConnection(resource, u"", u"", 0), kErrorBadDevice);
    }
    for (const std::u16string remote : {u"", u"\\\\h", u"\\h\\s", u"//h/s", u"\\\\\\s"}) {
        NetResource resource;
        resource.localName = u"Z:";
        resource.remoteName = remote;
        EXPECT_EQ(provider.addConnection(resource, u"", u"", 0), kErrorBadNetName);
    }
    EXPECT_EQ(provider.cancelConnection(u"Z:", true), kErrorNotConnected);
    EXPECT_EQ(provider.cancelConnection(u"", true), kErrorNotConnected);
    EXPECT_EQ(provider.cancelConnection(u"\\\\h\\s", false), kErrorNotConnected);
    std::u16string remote;
    EXPECT_EQ(provider.getConnection(u"Z:", remote), kErrorNotConnected);
    EXPECT_EQ(provider.getConnection(u"Z:\\", remote), kErrorBadDevice);
}

class SmbNetworkProviderTest : public ds::test::SmbdUserTest {
  protected:
    static std::u16string share(std::u16string_view name) {
        return u"\\\\127.0.0.1\\" + std::u16string(name);
    }

    WinError add(std::u16string local, std::u16string remote, const std::string& user = {},
                 const std::string& password = {}, uint32_t flags = 0) {
        NetResource resource;
        resource.localName = std::move(local);
        resource.remoteName = std::move(remote);
        return provider_.addConnection(resource, utf8ToUtf16(password), utf8ToUtf16(user), flags);
    }

    SmbNetworkProvider provider_;
};

TEST_F(SmbNetworkProviderTest, ServerAnswersGiveTheCodes) {
    const std::string alice = SmbdServer::passwordOf("alice");
    struct Case {
        const char* what;
        std::u16string remote;
        std::string user;
        std::string password;
        WinError expected;
    };
    const Case cases[] = {
        {"Public as guest", share(u"Public"), "", "", 0},
        {"subfolder that does not exist", share(u"Public\\missing"), "", "", 67},
        {"alice with her password", share(u"alice"), "alice", alice, 0},
        {"user name in capitals", share(u"alice"), "ALICE", alice, 0},
        {"wrong password", share(u"alice"), "alice", "Queen-of-Hearts", 1326},
        {"empty password", share(u"alice"), "alice", "", 86},
        {"unknown share", share(u"nothing"), "", "", 67},
        {"alice on bob's share", share(u"bob"), "alice", alice, 5},
        {"guest on a private share", share(u"alice"), "", "", 5},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(add(u"", c.remote, c.user, c.password), c.expected) << c.what;

        provider_.cancelConnection(c.remote, true);
    }
}

TEST_F(SmbNetworkProviderTest, EveryAttemptIsJudgedAfresh) {
    // A session cached from the good attempt would let the wrong password through.
    const std::string alice = SmbdServer::passwordOf("alice");
    ASSERT_EQ(add(u"Y:", share(u"alice"), "alice", alice), 0u);
    ASSERT_EQ(provider_.cancelConnection(u"Y:", true), 0u);
    EXPECT_EQ(add(u"Y:", share(u"alice"), "alice", "wrong"), kErrorLogonFailure);
    EXPECT_EQ(add(u"Y:", share(u"alice"), "", ""), kErrorAccessDenied);
}

TEST_F(SmbNetworkProviderTest, UnreachableServerIsABadNetPath) {
    user_->setEnv("DRIVESCOUT_SMB_PORT", std::to_string(ds::test::freeTcpPort()));
    EXPECT_EQ(add(u"Z:", share(u"Public")), kErrorBadNetPath);
}

TEST_F(SmbNetworkProviderTest, SecondUserOfTheSameServerConflicts) {
    ASSERT_EQ(add(u"Z:", share(u"Public")), 0u);
    ASSERT_EQ(add(u"Y:", share(u"alice"), "alice", SmbdServer::passwordOf("alice")), 0u);
    EXPECT_EQ(add(u"X:", share(u"bob"), "bob", SmbdServer::passwordOf("bob")), 1219u);
    EXPECT_EQ(add(u"Y:", share(u"Public")), kErrorAlreadyAssigned);
    ASSERT_EQ(provider_.cancelConnection(u"Y:", true), 0u);
    EXPECT_EQ(add(u"X:", share(u"bob"), "bob", SmbdServer::passwordOf("bob")), 0u);
}

// A remote name cancels only the connections to it that have no drive; the user's drives, and
// their remembered entries, go only by their letters.
TEST_F(SmbNetworkProviderTest, RemoteNameCancelsOnlyConnectionsWithoutADrive) {
    const std::string alice = SmbdServer::passwordOf("alice");
    ASSERT_EQ(add(u"Z:", share(u"alice"), "alice", alice, kConnectUpdateProfile), 0u);
    ASSERT_EQ(add(u"Y:", share(u"alice"), "alice", alice), 0u);
    ASSERT_EQ(add(u"", share(u"alice"), "alice", alice), 0u);
    EXPECT_EQ(provider_.cancelConnection(share(u"ALICE\\"), true), 0u);
    EXPECT_EQ(provider_.cancelConnection(share(u"alice"), true), kErrorNotConnected);
    std::u16string remote;
    EXPECT_EQ(provider_.getConnection(u"Z:", remote), 0u);
    EXPECT_EQ(provider_.getConnection(u"Y:", remote), 0u);
    std::unique_ptr<UserStoreKey> key;
    EXPECT_EQ(UserStore::forCurrentUser().openKey(u"Network\\Z", key), 0u);
    EXPECT_EQ(provider_.cancelConnection(u"Z:", true), 0u);
    EXPECT_EQ(provider_.cancelConnection(u"Y:", true), 0u);
}

TEST_F(SmbNetworkProviderTest, RememberedConnectionLivesInTheStoreUntilCancelled) {
    ASSERT_EQ(
        add(u"z", share(u"alice"), "alice", SmbdServer::passwordOf("alice"), kConnectUpdateProfile),
        0u);
    std::unique_ptr<UserStoreKey> key;
    ASSERT_EQ(UserStore::forCurrentUser().openKey(u"Network\\Z", key), 0u);
    uint32_t deferFlags = 0;
    std::u16string text;
    EXPECT_EQ(key->queryNumber(u"DeferFlags", deferFlags), 0u);
    EXPECT_EQ(deferFlags, 1u);
    EXPECT_EQ(key->queryText(u"RemotePath", text), 0u);
    EXPECT_EQ(text, share(u"alice"));
    EXPECT_EQ(key->queryText(u"UserName", text), 0u);
    EXPECT_EQ(text, u"alice");

    // Another provider, as after a restart, still sees the letter taken.
    SmbNetworkProvider later;
    std::u16string remote;
    EXPECT_EQ(later.getConnection(u"Z:", remote), 0u);
    EXPECT_EQ(remote, share(u"alice"));
    EXPECT_EQ(add(u"Z:", share(u"Public")), kErrorAlreadyAssigned);
    ASSERT_EQ(later.cancelConnection(u"Z:", true), 0u);
    EXPECT_EQ(UserStore::forCurrentUser().openKey(u"Network\\Z", key), kErrorFileNotFound);
    EXPECT_EQ(provider_.cancelConnection(u"Z:", true), 0u);  // the active one goes too
    EXPECT_EQ(provider_.cancelConnection(u"Z:", true), kErrorNotConnected);
}

TEST_F(SmbNetworkProviderTest, LogicalDrivesHoldStoredLocalDrivesAndConnections) {
    std::unique_ptr<UserStoreKey> key;
    ASSERT_EQ(UserStore::forCurrentUser().createKey(kLocalDrivesKey, key), 0u);
    ASSERT_EQ(key->setText(u"Letters", u"abcde"), 0u);
    EXPECT_EQ(add(u"C:", share(u"Public")), kErrorAlreadyAssigned);
    ASSERT_EQ(add(u"Z:", share(u"Public")), 0u);
    ASSERT_EQ(add(u"", share(u"Public")), 0u);
    std::u16string buffer;
    EXPECT_EQ(provider_.getLogicalDriveStrings(buffer), 24u);
    EXPECT_EQ(buffer, std::u16string(u"A:\\\0B:\\\0C:\\\0D:\\\0E:\\\0Z:\\\0\0", 25));
}

TEST_F(SmbNetworkProviderTest, ServerListsItsDiskSharesOnly) {
    NetResource server;
    server.remoteName = u"\\\\127.0.0.1";
    std::unique_ptr<NetEnumeration> enumeration;
    ASSERT_EQ(provider_.openEnum(kResourceGlobalNet, kResourceTypeAny, 0, server, enumeration), 0u);
    std::vector<NetResource> entries;
    EXPECT_EQ(provider_.enumResource(*enumeration, 0xFFFFFFFF, entries), 0u);
    EXPECT_EQ(provider_.enumResource(*enumeration, 0xFFFFFFFF, entries), kErrorNoMoreItems);
    EXPECT_EQ(provider_.closeEnum(std::move(enumeration)), 0u);
    std::vector<std::u16string> names;
    for (const NetResource& entry : entries) {
        names.push_back(entry.remoteName);
        EXPECT_EQ(entry.usage & 2u, 0u);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names,
              (std::vector<std::u16string>{share(u"Public"), share(u"alice"), share(u"bob")}));

    server.remoteName = u"\\\\127.0.0.1\\Public";
    ASSERT_EQ(provider_.openEnum(kResourceGlobalNet, kResourceTypeAny, 0, server, enumeration), 0u);
    EXPECT_EQ(provider_.enumResource(*enumeration, 0xFFFFFFFF, entries), kErrorNoMoreItems);
    user_->setEnv("DRIVESCOUT_SMB_PORT", std::to_string(ds::test::freeTcpPort()));
    server.remoteName = u"\\\\127.0.0.1";
    EXPECT_EQ(provider_.openEnum(kResourceGlobalNet, kResourceTypeAny, 0, server, enumeration),
              kErrorBadNetPath);
}

TEST_F(SmbNetworkProviderTest, ConnectionsAndListingsFromSeveralThreadsAtOnce) {
    // The wizard maps on its own thread while the property query lists shares on another.
    std::thread lister([this] {
        for (int i = 0; i < 3; ++i) {
            NetResource server;
            server.remoteName = u"\\\\127.0.0.1";
            std::unique_ptr<NetEnumeration> enumeration;
            EXPECT_EQ(
                provider_.openEnum(kResourceGlobalNet, kResourceTypeAny, 0, server, enumeration),
                0u);
        }
    });
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(add(u"", share(u"Public")), 0u);
        EXPECT_EQ(provider_.cancelConnection(share(u"Public"), true), 0u);
    }
    lister.join();
}

}  // namespace
}  // namespace platform
