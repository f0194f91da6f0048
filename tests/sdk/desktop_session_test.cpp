// Mapping in a real desktop session: a D-Bus session bus with GVfs and its SMB backend, an
// unlocked gnome-keyring, and the real Samba server. Each test runs in a process of its own
// (ctest), which joins a fresh session before anything of GLib looks at the bus.

#include <gio/gio.h>
#include <gtest/gtest.h>
#include <libsecret/secret.h>
#include <libsmbclient.h>

#include <fcntl.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "platform/credential_store.h"
#include "platform/gvfs_mount.h"
#include "platform/secret_schema.h"
#include "platform/smb_network_provider.h"
#include "platform/user_store.h"
#include "platform/utf.h"
#include "sdk/upnp_sdk.h"
#include "support/desktop_session.h"
#include "support/netns.h"
#include "support/smbd_fixture.h"
#include "support/temp_user_dirs.h"

// libsecret loses a few bytes of GIO's set-up, which the leak checks leave out by the name of
// the libsecret function on the allocation's stack (tests/lsan_suppressions.cpp); GLib has no
// frame pointers, so only the slow unwinder sees that far. (Read only by sanitized builds.)
extern "C" const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0";
}

namespace {

using ds::test::DesktopSession;
using ds::test::SmbdServer;
using platform::ConnectionInfo;
using platform::WinError;

class DesktopSessionTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (!ds::test::inPrivateNetworkNamespace())
            return;
        server_ = SmbdServer::start(whyNot_);
        if (!server_)
            return;
        user_ = std::make_unique<ds::test::TempUserDirs>();
        user_->setEnv("DRIVESCOUT_SMB_PORT", std::to_string(server_->port()));
        user_->setEnv("DRIVESCOUT_GVFS", std::nullopt);
        user_->setEnv("DRIVESCOUT_CREDENTIAL_STORE", std::nullopt);
        user_->setEnv("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
        user_->setEnv("XDG_RUNTIME_DIR", std::nullopt);
        session_ = DesktopSession::start(user_->root() / "run-1", whyNot_);
        if (!session_)
            return;
        session_->join();
        // This process outlives the session in some tests; GLib must not end it with the bus.
        GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        if (bus) {
            g_dbus_connection_set_exit_on_close(bus, FALSE);
            g_object_unref(bus);
        }
    }
    static void TearDownTestSuite() {
        session_.reset();
        user_.reset();
        server_.reset();
    }

    void SetUp() override {
        DS_REQUIRE_PRIVATE_NETNS();
        if (!session_)
            GTEST_SKIP() << whyNot_;
    }

    static std::u16string share(std::u16string_view name) {
        return u"\\\\127.0.0.1\\" + std::u16string(name);
    }
    static std::string url(const std::string& share) {
        return "smb://127.0.0.1:" + std::to_string(server_->port()) + "/" + share + "/";
    }
    static std::string alicePassword() { return SmbdServer::passwordOf("alice"); }

    WinError map(platform::SmbNetworkProvider& provider, std::u16string local,
                 std::u16string remote, std::u16string user = {}, std::u16string password = {},
                 uint32_t flags = 0) {
        platform::NetResource resource;
        resource.localName = std::move(local);
        resource.remoteName = std::move(remote);
        return provider.addConnection(resource, password, user, flags);
    }

    static std::optional<ConnectionInfo> connection(platform::SmbNetworkProvider& provider,
                                                    std::u16string_view local) {
        for (ConnectionInfo& info : provider.listConnections()) {
            if (info.localName == local)
                return info;
        }
        return std::nullopt;
    }

    static inline std::unique_ptr<SmbdServer> server_;
    static inline std::unique_ptr<ds::test::TempUserDirs> user_;
    static inline std::unique_ptr<DesktopSession> session_;
    static inline std::string whyNot_;
};

// Watches every process's command line and environment for a text while it lives.
class ProcessWatch {
  public:
    explicit ProcessWatch(std::string text)
        : text_(std::move(text)), thread_([this] {
              while (!stop_) {
                  if (!ds::test::processesHolding(text_).empty())
                      seen_ = true;
                  std::this_thread::sleep_for(std::chrono::milliseconds(5));
              }
          }) {}
    ~ProcessWatch() { stopWatching(); }
    bool seen() {
        stopWatching();
        return seen_;
    }

  private:
    void stopWatching() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    std::string text_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> seen_{false};
    std::thread thread_;
};

std::string smbUser;
std::string smbPassword;

void giveCredentials(const char*, const char*, char*, int, char* user, int userSize, char* password,
                     int passwordSize) {
    std::snprintf(user, static_cast<size_t>(userSize), "%s", smbUser.c_str());
    std::snprintf(password, static_cast<size_t>(passwordSize), "%s", smbPassword.c_str());
}

// Reads a file straight from the server with libsmbclient, not through GVfs.
std::optional<std::string> readWithSmbclient(uint16_t port, const std::string& path,
                                             const std::string& user, const std::string& password) {
    smbUser = user;
    smbPassword = password;
    SMBCCTX* context = smbc_new_context();
    smbc_setFunctionAuthData(context, giveCredentials);
    smbc_setOptionUseKerberos(context, false);
    smbc_setOptionFallbackAfterKerberos(context, true);
    smbc_setPort(context, port);
    if (!smbc_init_context(context)) {
        smbc_free_context(context, 1);
        return std::nullopt;
    }
    std::optional<std::string> text;
    const std::string address = "smb://127.0.0.1/" + path;
    if (SMBCFILE* file = smbc_getFunctionOpen(context)(context, address.c_str(), O_RDONLY, 0)) {
        text.emplace();
        char buffer[512];
        ssize_t n = 0;
        while ((n = smbc_getFunctionRead(context)(context, file, buffer, sizeof buffer)) > 0)
            text->append(buffer, static_cast<size_t>(n));
        smbc_getFunctionClose(context)(context, file);
    }
    smbc_free_context(context, 1);
    return text;
}

// Writes through the mount: into the FUSE folder when there is one, as a terminal would, else
// through GIO.
bool writeThroughMount(const std::string& location, const std::string& name,
                       const std::string& text) {
    if (location.starts_with("/")) {
        std::ofstream out(location + "/" + name, std::ios::binary);
        out << text;
        return static_cast<bool>(out.flush());
    }
    GFile* file = g_file_new_for_uri((location + name).c_str());
    const gboolean written = g_file_replace_contents(file, text.data(), text.size(), nullptr, FALSE,
                                                     G_FILE_CREATE_NONE, nullptr, nullptr, nullptr);
    g_object_unref(file);
    return written;
}

bool fuseRuns(const DesktopSession& session) {
    std::ifstream mounts("/proc/self/mountinfo");
    const std::string text((std::istreambuf_iterator<char>(mounts)), {});
    return text.find(" " + (session.runtimeDir() / "gvfs").string() + " ") != std::string::npos;
}

TEST_F(DesktopSessionTest, GuestAndUserSharesAreMountedWhereProgramsCanOpenThem) {
    platform::SmbNetworkProvider provider;
    ProcessWatch watch(alicePassword());
    ASSERT_EQ(map(provider, u"Z:", share(u"Public")), 0u);
    ASSERT_EQ(
        map(provider, u"Y:", share(u"alice"), u"alice", platform::utf8ToUtf16(alicePassword())),
        0u);
    EXPECT_FALSE(watch.seen()) << "a process held the password in its command line or environment";

    // The server listens on a port of its own: the mounts must carry it.
    EXPECT_TRUE(platform::gvfsIsMounted(url("Public")));
    EXPECT_TRUE(platform::gvfsIsMounted(url("alice")));
    const std::optional<ConnectionInfo> alice = connection(provider, u"Y:");
    ASSERT_TRUE(alice);
    EXPECT_TRUE(alice->mounted);
    EXPECT_EQ(alice->userName, u"alice");
    if (fuseRuns(*session_))
        EXPECT_TRUE(alice->location.starts_with((session_->runtimeDir() / "gvfs").string()))
            << alice->location;
    else
        EXPECT_EQ(alice->location, url("alice"));

    ASSERT_TRUE(writeThroughMount(alice->location, "through-gvfs.txt", "written through GVfs"));
    EXPECT_EQ(
        readWithSmbclient(server_->port(), "alice/through-gvfs.txt", "alice", alicePassword()),
        "written through GVfs");

    EXPECT_EQ(provider.cancelConnection(u"Y:", true), 0u);
    EXPECT_FALSE(platform::gvfsIsMounted(url("alice")));
    EXPECT_EQ(provider.cancelConnection(u"Z:", true), 0u);
    EXPECT_FALSE(platform::gvfsIsMounted(url("Public")));
}

TEST_F(DesktopSessionTest, RefusedPasswordsMountNothing) {
    platform::SmbNetworkProvider provider;
    EXPECT_EQ(map(provider, u"Y:", share(u"alice"), u"alice", u"Queen-of-Hearts"), 1326u);
    EXPECT_EQ(map(provider, u"Y:", share(u"alice"), u"alice", u""), 86u);
    EXPECT_FALSE(platform::gvfsIsMounted(url("alice")));
    EXPECT_FALSE(connection(provider, u"Y:"));
}

TEST_F(DesktopSessionTest, AShareTheUserMountedBeforeStaysMounted) {
    ASSERT_EQ(platform::gvfsMount(url("Public"), {}).error, 0u);
    platform::SmbNetworkProvider provider;
    ASSERT_EQ(map(provider, u"Z:", share(u"Public")), 0u);
    ASSERT_EQ(provider.cancelConnection(u"Z:", true), 0u);
    EXPECT_TRUE(platform::gvfsIsMounted(url("Public")));
    EXPECT_EQ(platform::gvfsUnmount(url("Public")), 0u);
}

TEST_F(DesktopSessionTest, WhicheverProcessUnmapsUnmounts) {
    {
        platform::SmbNetworkProvider mapper;
        ASSERT_EQ(map(mapper, u"Y:", share(u"alice"), u"alice",
                      platform::utf8ToUtf16(alicePassword()), platform::kConnectUpdateProfile),
                  0u);
    }
    ASSERT_TRUE(platform::gvfsIsMounted(url("alice")));
    // A provider that shares nothing with the first, as in another process.
    platform::SmbNetworkProvider other;
    EXPECT_EQ(other.cancelConnection(u"Y:", true), 0u);
    EXPECT_FALSE(platform::gvfsIsMounted(url("alice")));
}

TEST_F(DesktopSessionTest, KeyringStoresReadsReplacesAndDeletes) {
    ASSERT_EQ(platform::credentialBackendName(), "secret-service");
    platform::Credential credential;
    credential.targetName = u"192.168.1.20";
    credential.userName = u"HOME\\alice";
    credential.blob = platform::passwordBlob(u"wonderland");
    ASSERT_EQ(platform::writeCredential(credential), 0u);
    platform::Credential read;
    ASSERT_EQ(
        platform::readCredential(platform::kCredentialTypeDomainPassword, u"192.168.1.20", read),
        0u);
    EXPECT_EQ(read.userName, u"HOME\\alice");
    EXPECT_EQ(read.blob, platform::passwordBlob(u"wonderland"));

    credential.userName = u"bob";
    credential.blob = platform::passwordBlob(u"builder");
    ASSERT_EQ(platform::writeCredential(credential), 0u);
    ASSERT_EQ(
        platform::readCredential(platform::kCredentialTypeDomainPassword, u"192.168.1.20", read),
        0u);
    EXPECT_EQ(read.userName, u"bob");
    EXPECT_EQ(read.blob, platform::passwordBlob(u"builder"));

    ASSERT_EQ(platform::deleteCredential(platform::kCredentialTypeDomainPassword, u"192.168.1.20"),
              0u);
    EXPECT_EQ(
        platform::readCredential(platform::kCredentialTypeDomainPassword, u"192.168.1.20", read),
        platform::kErrorFileNotFound);
    EXPECT_FALSE(std::filesystem::exists(user_->dataHome() / "drivescout" / "credentials"));
}

TEST_F(DesktopSessionTest, ASecretThatIsNotTextIsNoCredential) {
    // Another program may store bytes that are no text under our schema.
    const guchar bytes[] = {0xFF, 0x00, 0xFE};
    SecretValue* value = secret_value_new(reinterpret_cast<const gchar*>(bytes), sizeof bytes,
                                          "application/octet-stream");
    ASSERT_TRUE(secret_password_store_binary_sync(
        platform::credentialSecretSchema(), SECRET_COLLECTION_DEFAULT, "binary", value, nullptr,
        nullptr, "type", 2, "target", "nas", "user", "alice", nullptr));
    secret_value_unref(value);
    platform::Credential read;
    EXPECT_EQ(platform::readCredential(platform::kCredentialTypeDomainPassword, u"nas", read),
              platform::kErrorFileNotFound);
}

TEST_F(DesktopSessionTest, RememberedDrivesComeBackAtTheNextSignIn) {
    {
        auto previous =
            platform::setNetworkProvider(std::make_unique<platform::SmbNetworkProvider>());
        UPnPSessionBlock block{};
        int32_t code = -1;
        ASSERT_EQ(CUPnPSDK::MapSharedPath(&block, u"alice", LBString::FromUtf8(alicePassword()),
                                          share(u"alice").c_str(), u"Y:", 1, &code),
                  0);
        ASSERT_EQ(code, 0);
        ASSERT_EQ(
            CUPnPSDK::MapSharedPath(&block, u"", u"", share(u"Public").c_str(), u"Z:", 1, &code),
            0);
        ASSERT_EQ(code, 0);
        platform::setNetworkProvider(std::move(previous));
    }
    // The mapping stored alice's password in the keyring.
    platform::Credential stored;
    ASSERT_EQ(
        platform::readCredential(platform::kCredentialTypeDomainPassword, u"127.0.0.1", stored),
        0u);
    EXPECT_EQ(stored.blob, platform::passwordBlob(platform::utf8ToUtf16(alicePassword())));
    EXPECT_FALSE(std::filesystem::exists(user_->dataHome() / "drivescout" / "credentials"));

    // Two more remembered: bob's folder without a stored password, and a NAS that is gone.
    {
        std::unique_ptr<platform::UserStoreKey> key;
        const platform::UserStore store = platform::UserStore::forCurrentUser();
        ASSERT_EQ(store.createKey(u"Network\\X", key), 0u);
        key->setText(u"RemotePath", u"\\\\127.0.0.1\\bob");
        key->setText(u"UserName", u"bob");
        ASSERT_EQ(store.createKey(u"Network\\W", key), 0u);
        key->setText(u"RemotePath", u"\\\\127.0.0.9\\Public");
        key->setText(u"UserName", u"");
    }

    // The user signs out and in again: a new bus, keyring and GVfs, nothing mounted.
    session_.reset();
    std::string whyNot;
    std::unique_ptr<DesktopSession> next = DesktopSession::start(user_->root() / "run-2", whyNot);
    ASSERT_TRUE(next) << whyNot;
    std::string output;
    ASSERT_EQ(next->run({DRIVESCOUT_BINARY_DIR "/drivescout-drives", "list"}, output), 0);
    EXPECT_EQ(output.find("\tmounted\t"), std::string::npos) << output;

    EXPECT_EQ(next->run({DRIVESCOUT_BINARY_DIR "/drivescout-drives", "restore"}, output), 1)
        << "bob's folder and the absent NAS cannot be restored";
    ASSERT_EQ(next->run({DRIVESCOUT_BINARY_DIR "/drivescout-drives", "list"}, output), 0);
    const std::string port = std::to_string(server_->port());
    EXPECT_NE(output.find("Y:\t\\\\127.0.0.1\\alice\talice\tmounted\t"), std::string::npos)
        << output;
    EXPECT_NE(output.find("Z:\t\\\\127.0.0.1\\Public\t\tmounted\t"), std::string::npos) << output;
    EXPECT_NE(output.find("X:\t\\\\127.0.0.1\\bob\tbob\tremembered\t"), std::string::npos)
        << output;
    EXPECT_NE(output.find("W:\t\\\\127.0.0.9\\Public\t\tremembered\t"), std::string::npos)
        << output;
    // GVfs of the new session itself lists alice's folder.
    ASSERT_EQ(next->run({"gio", "mount", "-l"}, output), 0);
    EXPECT_NE(output.find("smb://127.0.0.1:" + port + "/alice/"), std::string::npos) << output;
}

}  // namespace
