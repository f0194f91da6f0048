#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "platform/credential_store.h"
#include "platform/memory_network_provider.h"
#include "platform/smb_network_provider.h"
#include "platform/trace.h"
#include "platform/user_store.h"
#include "sdk/upnp_sdk.h"
#include "support/smbd_fixture.h"
#include "support/smbd_user_test.h"
#include "support/temp_user_dirs.h"

namespace {

using platform::MemoryNetworkProvider;
using platform::UserStore;
using platform::UserStoreKey;

constexpr char16_t kNas[] = u"192.168.1.20";
const std::u16string kPublic = u"\\\\192.168.1.20\\Public";
const std::u16string kAlice = u"\\\\192.168.1.20\\alice";

// Installs a provider for the test and puts the previous one back afterwards.
class ProviderInstall {
  public:
    explicit ProviderInstall(std::unique_ptr<platform::NetworkProvider> provider)
        : previous_(platform::setNetworkProvider(std::move(provider))) {}
    ~ProviderInstall() { platform::setNetworkProvider(std::move(previous_)); }

  private:
    std::unique_ptr<platform::NetworkProvider> previous_;
};

std::optional<uint32_t> deferFlags(std::u16string_view letter) {
    std::unique_ptr<UserStoreKey> key;
    uint32_t value = 0;
    if (UserStore::forCurrentUser().openKey(u"Network\\" + std::u16string(letter), key) ||
        key->queryNumber(u"DeferFlags", value))
        return std::nullopt;
    return value;
}

void setDeferFlags(std::u16string_view letter, uint32_t value) {
    std::unique_ptr<UserStoreKey> key;
    ASSERT_EQ(UserStore::forCurrentUser().createKey(u"Network\\" + std::u16string(letter), key),
              0u);
    ASSERT_EQ(key->setNumber(u"DeferFlags", value), 0u);
}

std::optional<platform::Credential> storedCredential(std::u16string_view target) {
    platform::Credential credential;
    if (platform::readCredential(platform::kCredentialTypeDomainPassword, target, credential))
        return std::nullopt;
    return credential;
}

// A connection to `remote` without a drive letter, as another program of the user makes.
platform::WinError connectWithoutDrive(platform::NetworkProvider& provider,
                                       const std::u16string& remote, std::u16string_view user,
                                       std::u16string_view password) {
    platform::NetResource resource;
    resource.type = 1;
    resource.remoteName = remote;
    return provider.addConnection(resource, password, user, 0);
}

class ShareMappingTest : public ::testing::Test {
  protected:
    ShareMappingTest() {
        auto provider = std::make_unique<MemoryNetworkProvider>();
        nas = provider.get();
        nas->addShare(kNas, u"Public", {.guest = true, .users = {}});
        nas->addShare(kNas, u"alice", {.guest = false, .users = {u"alice"}});
        nas->addShare(kNas, u"bob", {.guest = false, .users = {u"bob"}});
        nas->addAccount(kNas, u"alice", u"wonderland");
        nas->addAccount(kNas, u"bob", u"builder");
        install = std::make_unique<ProviderInstall>(std::move(provider));
    }

    int32_t map(LBString user, LBString password, LBString remote, LBString local,
                int32_t persist) {
        int32_t code = -1;
        EXPECT_EQ(CUPnPSDK::MapSharedPath(session, user, password, remote, local, persist, &code),
                  0);
        return code;
    }

    ds::test::TempUserDirs user;
    UPnPSessionBlock block{};
    UPnPSession session = &block;
    MemoryNetworkProvider* nas = nullptr;
    std::unique_ptr<ProviderInstall> install;
};

TEST_F(ShareMappingTest, NullSessionIsRefusedWithoutTouchingAnything) {
    int32_t code = 12345;
    EXPECT_EQ(
        CUPnPSDK::MapSharedPath(nullptr, u"alice", u"wonderland", kAlice.c_str(), u"Y:", 1, &code),
        1);
    EXPECT_EQ(code, 12345);
    EXPECT_EQ(CUPnPSDK::UnmapSharedPath(nullptr, u"Y:", 1, &code), 1);
    EXPECT_EQ(code, 12345);
    EXPECT_TRUE(nas->addCalls().empty());
    EXPECT_TRUE(nas->cancelCalls().empty());
}

TEST_F(ShareMappingTest, GuestMappingHandsEmptyTextsAndRemembersWithFlagOne) {
    setDeferFlags(u"Z", 1);  // even a value waiting to be raised stays as it is
    ASSERT_EQ(map(LBString(), LBString(), kPublic.c_str(), u"Z:", 1), 0);
    const auto calls = nas->addCalls();
    ASSERT_EQ(calls.size(), 1u);
    const platform::NetResource& resource = calls[0].resource;
    EXPECT_EQ(resource.scope, 0u);
    EXPECT_EQ(resource.type, 1u);
    EXPECT_EQ(resource.displayType, 3u);
    EXPECT_EQ(resource.usage, 0u);
    EXPECT_EQ(resource.localName, u"Z:");
    EXPECT_EQ(resource.remoteName, kPublic);
    EXPECT_EQ(resource.comment, u"");
    EXPECT_EQ(resource.provider, u"");
    EXPECT_EQ(calls[0].userName, u"");
    EXPECT_EQ(calls[0].password, u"");
    EXPECT_EQ(calls[0].flags, platform::kConnectUpdateProfile);
    EXPECT_EQ(deferFlags(u"Z"), 1u);
    EXPECT_FALSE(std::filesystem::exists(user.dataHome() / "drivescout" / "credentials"));
    EXPECT_TRUE(nas->cancelCalls().empty());
}

struct PersistCase {
    const char* what;
    std::optional<uint32_t> deferFlagsBefore;
    int32_t persist;
    const char16_t* userName;
    const char16_t* password;
    int32_t expectedCode;
    std::optional<uint32_t> deferFlagsAfter;
    bool credentialStored;
};

TEST_F(ShareMappingTest, DeferFlagsAndCredentialOnlyAfterAPersistentNamedMapping) {
    user.setEnv("DRIVESCOUT_LOGON_DOMAIN", "HOME");
    const PersistCase cases[] = {
        {"value other than 4 is raised", 1, 1, u"alice", u"wonderland", 0, 4, true},
        {"value 0 is raised too", 0, 1, u"alice", u"wonderland", 0, 4, true},
        {"missing value stays missing", std::nullopt, 1, u"alice", u"wonderland", 0, std::nullopt,
         false},
        {"value already 4", 4, 1, u"alice", u"wonderland", 0, 4, false},
        {"without persist", 1, 0, u"alice", u"wonderland", 0, 1, false},
        {"other nonzero persist", 1, -7, u"alice", u"wonderland", 0, 4, true},
        {"empty password", 1, 1, u"alice", u"", 86, 1, false},
        {"failed mapping", 1, 1, u"alice", u"queen", 1326, 1, false},
    };
    for (const PersistCase& c : cases) {
        SCOPED_TRACE(c.what);
        UserStore::forCurrentUser().deleteKey(u"Network\\Y");
        platform::deleteCredential(platform::kCredentialTypeDomainPassword, kNas);
        if (c.deferFlagsBefore)
            setDeferFlags(u"Y", *c.deferFlagsBefore);
        EXPECT_EQ(map(c.userName, c.password, kAlice.c_str(), u"Y:", c.persist), c.expectedCode);
        EXPECT_EQ(deferFlags(u"Y"), c.deferFlagsAfter);
        const auto credential = storedCredential(kNas);
        ASSERT_EQ(credential.has_value(), c.credentialStored);
        if (credential) {
            EXPECT_EQ(credential->userName, u"HOME\\alice");
            EXPECT_EQ(credential->blob, platform::passwordBlob(u"wonderland"));
            EXPECT_EQ(credential->type, 2u);
            EXPECT_EQ(credential->persist, 3u);
            EXPECT_EQ(credential->flags, 0u);
        }
        nas->cancelConnection(u"Y:", true);
    }
}

TEST_F(ShareMappingTest, PasswordWithoutUserNameStoresNothing) {
    setDeferFlags(u"Y", 1);
    ASSERT_EQ(map(LBString(), u"wonderland", kPublic.c_str(), u"Y:", 1), 0);
    EXPECT_EQ(nas->addCalls()[0].password, u"wonderland");
    EXPECT_EQ(deferFlags(u"Y"), 1u);
    EXPECT_FALSE(storedCredential(kNas));
}

TEST_F(ShareMappingTest, KeyIsTheSameForALetterWithOrWithoutColon) {
    for (const char16_t* local : {u"Y", u"Y:", u"y:"}) {
        SCOPED_TRACE(std::string(LBString(local).ToUtf8()));
        setDeferFlags(u"Y", 1);
        EXPECT_EQ(
            CUPnPSDK::ChangeRegistryForMapFunction(u"alice", u"wonderland", kAlice.c_str(), local),
            1);
        EXPECT_EQ(deferFlags(u"Y"), 4u);
    }
    // Only one colon goes: "Y::" names another key, which does not exist.
    setDeferFlags(u"Y", 1);
    EXPECT_EQ(
        CUPnPSDK::ChangeRegistryForMapFunction(u"alice", u"wonderland", kAlice.c_str(), u"Y::"), 1);
    EXPECT_EQ(deferFlags(u"Y"), 1u);
}

struct TargetCase {
    const char16_t* remote;
    const char16_t* target;  // null: no credential can be stored
};

TEST_F(ShareMappingTest, CredentialTargetIsTheHostOfTheRemoteName) {
    const TargetCase cases[] = {
        {u"\\\\192.168.1.20\\alice", u"192.168.1.20"},
        {u"\\\\nas.local\\alice\\deeper", u"nas.local"},
        {u"nas\\alice", u"nas"},
        {u"\\\\192.168.1.20", nullptr},
        {u"", nullptr},
    };
    for (const TargetCase& c : cases) {
        SCOPED_TRACE(LBString(c.remote).ToUtf8());
        setDeferFlags(u"Y", 1);
        platform::TraceCapture capture;
        CUPnPSDK::ChangeRegistryForMapFunction(u"alice", u"wonderland", c.remote, u"Y:");
        EXPECT_EQ(deferFlags(u"Y"), 4u);
        if (c.target) {
            const auto credential = storedCredential(c.target);
            ASSERT_TRUE(credential.has_value());
            EXPECT_EQ(credential->userName, u"alice");  // no logon domain
        } else {
            EXPECT_TRUE(capture.contains(
                ">>>CUPnPSDK::ChangeRegistryForMapFunction  CredWrite Failed, GetLastError=87"));
        }
    }
}

TEST_F(ShareMappingTest, DomainTraceLineShowsUserAndDomain) {
    user.setEnv("DRIVESCOUT_LOGON_DOMAIN", "HOME");
    platform::TraceCapture capture;
    EXPECT_EQ(CUPnPSDK::GetDomainName(), LBString(u"HOME"));
    ASSERT_EQ(capture.lines().size(), 1u);
    EXPECT_EQ(capture.lines()[0].rfind(">>>CUPnPSDK::GetDomainName  wkui1_username:", 0), 0u);
    EXPECT_NE(capture.lines()[0].find(",wkui1_logon_domain:HOME"), std::string::npos);
}

TEST_F(ShareMappingTest, StoreWriteFailureIsTracedAndNoCredentialFollows) {
    setDeferFlags(u"Y", 1);
    // A folder where the store's lock file belongs makes every change fail (root ignores
    // permissions, so they cannot be used for this).
    const std::filesystem::path lock = UserStore::forCurrentUser().file().string() + ".lock";
    std::filesystem::remove(lock);
    std::filesystem::create_directory(lock);
    platform::TraceCapture capture;
    EXPECT_EQ(map(u"alice", u"wonderland", kAlice.c_str(), u"Y:", 1), 0);
    EXPECT_TRUE(
        capture.contains(">>>CUPnPSDK::ChangeRegistryForMapFunction  RegSetValueEx Failed"));
    EXPECT_EQ(deferFlags(u"Y"), 1u);
    EXPECT_FALSE(storedCredential(kNas));
}

TEST_F(ShareMappingTest, CredentialWriteFailureIsTracedWithItsCodeAndNoPassword) {
    setDeferFlags(u"Y", 1);
    const std::filesystem::path lock = user.dataHome() / "drivescout" / "credentials.lock";
    std::filesystem::create_directories(lock);
    platform::TraceCapture capture;
    EXPECT_EQ(map(u"alice", u"wonderland", kAlice.c_str(), u"Y:", 1), 0);
    EXPECT_EQ(deferFlags(u"Y"), 4u);
    bool traced = false;
    for (const std::string& line : capture.lines()) {
        EXPECT_EQ(line.find("wonderland"), std::string::npos) << line;
        if (line.rfind(">>>CUPnPSDK::ChangeRegistryForMapFunction  CredWrite Failed, "
                       "GetLastError=",
                       0) == 0)
            traced = true;
    }
    EXPECT_TRUE(traced);
}

// A connection without a drive to the same share, held by another user, refuses the mapping
// (1219); the forced cancellation by remote name removes it and the second attempt succeeds.
TEST_F(ShareMappingTest, FailedAttemptIsRetriedOnceAfterAForcedCancellation) {
    ASSERT_EQ(connectWithoutDrive(*nas, kPublic, u"alice", u"wonderland"), 0u);
    platform::TraceCapture capture;
    EXPECT_EQ(map(u"bob", u"builder", kPublic.c_str(), u"X:", 0), 0);
    const auto adds = nas->addCalls();
    ASSERT_EQ(adds.size(), 3u);
    EXPECT_EQ(adds[1].result, platform::kErrorSessionCredentialConflict);
    ASSERT_EQ(nas->cancelCalls().size(), 1u);
    EXPECT_EQ(nas->cancelCalls()[0].name, kPublic);
    EXPECT_TRUE(nas->cancelCalls()[0].force);
    EXPECT_EQ(nas->cancelCalls()[0].result, 0u);
    bool traced = false;
    for (const std::string& line : capture.lines())
        traced = traced || line.find("error=1219") != std::string::npos;
    EXPECT_TRUE(traced);
}

TEST_F(ShareMappingTest, SecondAttemptsCodeIsTheOutcome) {
    ASSERT_EQ(map(LBString(), LBString(), kAlice.c_str(), u"W:", 0), 5);  // nothing to cancel
    EXPECT_EQ(nas->addCalls().size(), 1u);
    ASSERT_EQ(connectWithoutDrive(*nas, kAlice, u"alice", u"wonderland"), 0u);
    nas->failNextAdd(1219);
    EXPECT_EQ(map(u"alice", u"queen", kAlice.c_str(), u"W:", 1), 1326);
    EXPECT_EQ(nas->addCalls().size(), 4u);
}

// A failed mapping leaves the user's other drives as they were: the forced cancellation by
// remote name never takes a lettered or remembered connection. Here alice has her share on Z:
// (remembered) and Public on V:.
TEST_F(ShareMappingTest, AFailedMappingLeavesTheOtherDrivesAsTheyWere) {
    struct Case {
        const char* what;
        const char16_t* user;
        const char16_t* password;
        std::u16string remote;
        const char16_t* local;
        int32_t expected;
    };
    const Case cases[] = {
        {"alice on Y: with a wrong password", u"alice", u"queen", kAlice, u"Y:", 1326},
        {"alice's share on V:, already in use", u"alice", u"wonderland", kAlice, u"V:", 85},
        {"bob's share while alice is connected", u"bob", u"builder", u"\\\\192.168.1.20\\bob",
         u"Y:", 1219},
    };
    ASSERT_EQ(map(u"alice", u"wonderland", kAlice.c_str(), u"Z:", 1), 0);
    ASSERT_EQ(map(LBString(), LBString(), kPublic.c_str(), u"V:", 0), 0);
    const auto before = nas->connections();
    ASSERT_EQ(before.size(), 2u);
    for (const Case& c : cases) {
        EXPECT_EQ(map(c.user, c.password, c.remote.c_str(), c.local, 1), c.expected) << c.what;
        const auto after = nas->connections();
        ASSERT_EQ(after.size(), before.size()) << c.what;
        for (size_t i = 0; i < after.size(); ++i) {
            EXPECT_EQ(after[i].localName, before[i].localName) << c.what;
            EXPECT_EQ(after[i].remoteName, before[i].remoteName) << c.what;
            EXPECT_EQ(after[i].remembered, before[i].remembered) << c.what;
        }
    }
}

TEST_F(ShareMappingTest, FailedCancellationKeepsTheFirstCode) {
    nas->failNextAdd(1219);
    EXPECT_EQ(map(u"alice", u"wonderland", kAlice.c_str(), u"W:", 1), 1219);
    EXPECT_EQ(nas->addCalls().size(), 1u);
    ASSERT_EQ(nas->cancelCalls().size(), 1u);
    EXPECT_EQ(nas->cancelCalls()[0].result, platform::kErrorNotConnected);
}

TEST_F(ShareMappingTest, UnmappingReportsTheProvidersCode) {
    int32_t code = -1;
    EXPECT_EQ(CUPnPSDK::UnmapSharedPath(session, u"Q:", 1, &code), 0);
    EXPECT_EQ(code, 2250);
    EXPECT_EQ(CUPnPSDK::UnmapSharedPath(session, LBString(), 0, &code), 0);
    EXPECT_EQ(code, 2250);
    EXPECT_EQ(nas->cancelCalls()[1].name, u"");
    ASSERT_EQ(map(LBString(), LBString(), kPublic.c_str(), u"Q:", 0), 0);
    EXPECT_EQ(CUPnPSDK::UnmapSharedPath(session, u"Q:", 0, &code), 0);
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(nas->cancelCalls().back().force);
    // Without somewhere to put the code, the cancellation still happens.
    ASSERT_EQ(map(LBString(), LBString(), kPublic.c_str(), u"Q:", 0), 0);
    EXPECT_EQ(CUPnPSDK::UnmapSharedPath(session, u"Q:", 1, nullptr), 0);
    EXPECT_TRUE(nas->connections().empty());
}

TEST_F(ShareMappingTest, IsSharedPathMappedAlwaysAnswersOne) {
    EXPECT_EQ(CUPnPSDK::IsSharedPathMapped(session, kPublic.c_str()), 1);
    EXPECT_EQ(CUPnPSDK::IsSharedPathMapped(nullptr, LBString()), 1);
    EXPECT_TRUE(nas->addCalls().empty());
}

// The same operations against a real Samba server.
class ShareMappingOverSmbTest : public ds::test::SmbdUserTest {
  protected:
    void SetUp() override {
        SmbdUserTest::SetUp();
        if (IsSkipped())
            return;
        install_ =
            std::make_unique<ProviderInstall>(std::make_unique<platform::SmbNetworkProvider>());
    }

    int32_t map(const std::string& user, const std::string& password, const char16_t* share,
                const char16_t* local, int32_t persist) {
        int32_t code = -1;
        const LBString remote = LBString(u"\\\\127.0.0.1\\") + LBString(share);
        EXPECT_EQ(
            CUPnPSDK::MapSharedPath(session_, LBString::FromUtf8(user),
                                    LBString::FromUtf8(password), remote, local, persist, &code),
            0);
        return code;
    }
    int32_t unmap(const char16_t* name) {
        int32_t code = -1;
        EXPECT_EQ(CUPnPSDK::UnmapSharedPath(session_, name, 1, &code), 0);
        return code;
    }

    std::unique_ptr<ProviderInstall> install_;
    UPnPSessionBlock block_{};
    UPnPSession session_ = &block_;
};

TEST_F(ShareMappingOverSmbTest, PublicAsGuestIsRememberedWithoutCredential) {
    EXPECT_EQ(map("", "", u"Public", u"Z:", 1), 0);
    EXPECT_EQ(deferFlags(u"Z"), 1u);
    EXPECT_FALSE(storedCredential(u"127.0.0.1"));
    EXPECT_EQ(unmap(u"Z:"), 0);
    EXPECT_EQ(deferFlags(u"Z"), std::nullopt);
}

TEST_F(ShareMappingOverSmbTest, PrivateShareWithTheRightPasswordStoresTheCredential) {
    user_->setEnv("DRIVESCOUT_LOGON_DOMAIN", "HOME");
    const std::string password = ds::test::SmbdServer::passwordOf("alice");
    EXPECT_EQ(map("alice", password, u"alice", u"Y", 1), 0);
    EXPECT_EQ(deferFlags(u"Y"), 4u);
    const auto credential = storedCredential(u"127.0.0.1");
    ASSERT_TRUE(credential.has_value());
    EXPECT_EQ(credential->userName, u"HOME\\alice");
    EXPECT_EQ(credential->blob, platform::passwordBlob(LBString::FromUtf8(password).View()));
    EXPECT_EQ(unmap(u"Y:"), 0);
}

TEST_F(ShareMappingOverSmbTest, RefusalsCarryTheServersCode) {
    const int32_t wrong = map("alice", "Queen-of-Hearts", u"alice", u"Y:", 1);
    EXPECT_TRUE(wrong == 1326 || wrong == 86) << wrong;
    EXPECT_EQ(map("alice", "", u"alice", u"Y:", 1), 86);
    EXPECT_EQ(map("", "", u"nothing", u"Y:", 0), 67);
    EXPECT_EQ(deferFlags(u"Y"), std::nullopt);
    EXPECT_FALSE(storedCredential(u"127.0.0.1"));
}

TEST_F(ShareMappingOverSmbTest, SecondUserOfTheServerGets1219) {
    ASSERT_EQ(map("alice", ds::test::SmbdServer::passwordOf("alice"), u"alice", u"Y:", 0), 0);
    EXPECT_EQ(map("bob", ds::test::SmbdServer::passwordOf("bob"), u"bob", u"X:", 0), 1219);
    EXPECT_EQ(unmap(u"Y:"), 0);
    EXPECT_EQ(map("bob", ds::test::SmbdServer::passwordOf("bob"), u"bob", u"X:", 0), 0);
    EXPECT_EQ(unmap(u"X:"), 0);
}

// Another user's connection without a drive to the same share is cancelled and the mapping tried
// once more.
TEST_F(ShareMappingOverSmbTest, AConnectionWithoutADriveIsCancelledAndTheMappingRetried) {
    ASSERT_EQ(
        connectWithoutDrive(platform::networkProvider(), u"\\\\127.0.0.1\\Public", u"alice",
                            LBString::FromUtf8(ds::test::SmbdServer::passwordOf("alice")).View()),
        0u);
    platform::TraceCapture capture;
    EXPECT_EQ(map("bob", ds::test::SmbdServer::passwordOf("bob"), u"Public", u"X:", 0), 0);
    bool traced = false;
    for (const std::string& line : capture.lines())
        traced = traced || line.find("error=1219") != std::string::npos;
    EXPECT_TRUE(traced);
    EXPECT_EQ(unmap(u"X:"), 0);
    EXPECT_EQ(unmap(u"X:"), 2250);
}

// alice has her share on Z: (remembered) and Public on V:. A mapping that fails, whatever the
// reason, leaves both drives connected and Z:'s remembered entry in place.
TEST_F(ShareMappingOverSmbTest, AFailedMappingLeavesTheOtherDrivesAsTheyWere) {
    const std::string alice = ds::test::SmbdServer::passwordOf("alice");
    struct Case {
        const char* what;
        std::string user;
        std::string password;
        const char16_t* share;
        const char16_t* local;
        int32_t expected;
    };
    const Case cases[] = {
        {"alice on Y: with a wrong password", "alice", "Queen-of-Hearts", u"alice", u"Y:", 1326},
        {"alice's share on V:, already in use", "alice", alice, u"alice", u"V:", 85},
        {"Public on Z:, already in use", "", "", u"Public", u"Z:", 85},
    };
    ASSERT_EQ(map("alice", alice, u"alice", u"Z:", 1), 0);
    ASSERT_EQ(map("", "", u"Public", u"V:", 0), 0);
    for (const Case& c : cases) {
        EXPECT_EQ(map(c.user, c.password, c.share, c.local, 1), c.expected) << c.what;
        std::u16string remote;
        EXPECT_EQ(platform::networkProvider().getConnection(u"Z:", remote), 0u) << c.what;
        EXPECT_EQ(remote, u"\\\\127.0.0.1\\alice") << c.what;
        EXPECT_EQ(platform::networkProvider().getConnection(u"V:", remote), 0u) << c.what;
        EXPECT_EQ(remote, u"\\\\127.0.0.1\\Public") << c.what;
        std::unique_ptr<UserStoreKey> key;
        EXPECT_EQ(UserStore::forCurrentUser().openKey(u"Network\\Z", key), 0u) << c.what;
    }
    EXPECT_EQ(unmap(u"Z:"), 0);
    EXPECT_EQ(unmap(u"V:"), 0);
}

}  // namespace
