#include "platform/memory_network_provider.h"

#include <gtest/gtest.h>

#include "platform/network_provider.h"

namespace platform {
namespace {

NetResource diskResource(std::u16string localName, std::u16string remoteName) {
    NetResource resource;
    resource.localName = std::move(localName);
    resource.remoteName = std::move(remoteName);
    return resource;
}

class MemoryNetworkProviderTest : public ::testing::Test {
  protected:
    MemoryNetworkProviderTest() {
        nas.addShare(u"192.168.1.20", u"Public", {.guest = true, .users = {}});
        nas.addShare(u"192.168.1.20", u"alice", {.guest = false, .users = {u"alice"}});
        nas.addShare(u"192.168.1.20", u"bob", {.guest = false, .users = {u"bob"}});
        nas.addShare(u"192.168.1.20", u"IPC$", {.guest = true, .users = {}});
        nas.addShare(u"192.168.1.20", u"admin$", {.guest = false, .users = {}});
        nas.addShare(u"192.168.1.20", u"laser", {.guest = true, .users = {}}, u"printer", 2);
        nas.addAccount(u"192.168.1.20", u"alice", u"wonderland");
        nas.addAccount(u"192.168.1.20", u"bob", u"builder");
        nas.setLocalDrives(u"ABCDE");
    }

    WinError add(std::u16string local, std::u16string remote, std::u16string user = {},
                 std::u16string password = {}, uint32_t flags = 0) {
        return nas.addConnection(diskResource(std::move(local), std::move(remote)), password, user,
                                 flags);
    }

    MemoryNetworkProvider nas;
};

struct AddCase {
    const char* what;
    std::u16string local;
    std::u16string remote;
    std::u16string user;
    std::u16string password;
    WinError expected;
};

TEST_F(MemoryNetworkProviderTest, AddConnectionAnswersLikeTheServer) {
    const AddCase cases[] = {
        {"guest on Public", u"Z:", u"\\\\192.168.1.20\\Public", u"", u"", 0},
        {"letter without colon", u"y", u"\\\\192.168.1.20\\Public", u"", u"", 0},
        {"no drive at all", u"", u"\\\\192.168.1.20\\Public", u"", u"", 0},
        {"subfolder of a share", u"X:", u"\\\\192.168.1.20\\Public\\photos", u"", u"", 0},
        {"unknown account (before any user holds the server)", u"U:", u"\\\\192.168.1.20\\alice",
         u"carol", u"x", 1326},
        {"owner on private share", u"W:", u"\\\\192.168.1.20\\alice", u"alice", u"wonderland", 0},
        {"user name case", u"V:", u"\\\\192.168.1.20\\ALICE", u"ALICE", u"wonderland", 0},
        {"wrong password", u"U:", u"\\\\192.168.1.20\\alice", u"alice", u"queen", 1326},
        {"empty password", u"U:", u"\\\\192.168.1.20\\alice", u"alice", u"", 86},
        {"guest on private share", u"U:", u"\\\\192.168.1.20\\alice", u"", u"", 5},
        {"unknown share", u"U:", u"\\\\192.168.1.20\\nothing", u"", u"", 67},
        {"unknown server", u"U:", u"\\\\192.168.1.99\\Public", u"", u"", 53},
        {"server name only", u"U:", u"\\\\192.168.1.20", u"", u"", 67},
        {"one backslash", u"U:", u"\\192.168.1.20\\Public", u"", u"", 67},
        {"forward slashes", u"U:", u"//192.168.1.20/Public", u"", u"", 67},
        {"empty remote", u"U:", u"", u"", u"", 67},
        {"local drive", u"C:", u"\\\\192.168.1.20\\Public", u"", u"", 85},
        {"letter in use", u"Z:", u"\\\\192.168.1.20\\Public", u"", u"", 85},
        {"two letters", u"ZZ", u"\\\\192.168.1.20\\Public", u"", u"", 1200},
        {"digit", u"1:", u"\\\\192.168.1.20\\Public", u"", u"", 1200},
        {"with backslash", u"T:\\", u"\\\\192.168.1.20\\Public", u"", u"", 1200},
    };
    for (const AddCase& c : cases)
        EXPECT_EQ(add(c.local, c.remote, c.user, c.password), c.expected) << c.what;
}

TEST_F(MemoryNetworkProviderTest, SecondNamedUserOnTheSameServerConflicts) {
    ASSERT_EQ(add(u"Z:", u"\\\\192.168.1.20\\Public"), 0u);
    ASSERT_EQ(add(u"Y:", u"\\\\192.168.1.20\\alice", u"alice", u"wonderland"), 0u);
    EXPECT_EQ(add(u"X:", u"\\\\192.168.1.20\\bob", u"bob", u"builder"), 1219u);
    ASSERT_EQ(nas.cancelConnection(u"Y:", true), 0u);
    EXPECT_EQ(add(u"X:", u"\\\\192.168.1.20\\bob", u"bob", u"builder"), 0u);
}

TEST_F(MemoryNetworkProviderTest, ConnectionsAreFoundByLetterAndCancelledByEitherName) {
    ASSERT_EQ(add(u"z", u"\\\\192.168.1.20\\Public", u"", u"", kConnectUpdateProfile), 0u);
    ASSERT_EQ(add(u"Y:", u"\\\\192.168.1.20\\Public"), 0u);
    std::u16string remote;
    EXPECT_EQ(nas.getConnection(u"Z:", remote), 0u);
    EXPECT_EQ(remote, u"\\\\192.168.1.20\\Public");
    EXPECT_EQ(nas.getConnection(u"X:", remote), 2250u);
    EXPECT_EQ(nas.getConnection(u"bad", remote), 1200u);
    EXPECT_TRUE(nas.connections().front().remembered);
    EXPECT_EQ(nas.connections().front().localName, u"Z:");

    // A remote name cancels only the connection without a drive, whatever the case and trailing
    // slash; drives go only by their letter.
    ASSERT_EQ(add(u"", u"\\\\192.168.1.20\\Public"), 0u);
    EXPECT_EQ(nas.cancelConnection(u"\\\\192.168.1.20\\PUBLIC\\", true), 0u);
    EXPECT_EQ(nas.connections().size(), 2u);
    EXPECT_EQ(nas.cancelConnection(u"\\\\192.168.1.20\\Public", true), 2250u);
    EXPECT_EQ(nas.cancelConnection(u"Z:", true), 0u);
    EXPECT_EQ(nas.cancelConnection(u"y", true), 0u);
    EXPECT_TRUE(nas.connections().empty());
    EXPECT_EQ(nas.cancelConnection(u"Z:", true), 2250u);
    EXPECT_EQ(nas.cancelConnection(u"", true), 2250u);
}

TEST_F(MemoryNetworkProviderTest, LogicalDrivesHoldLocalDrivesAndConnections) {
    nas.addRememberedConnection(u"M:", u"\\\\192.168.1.20\\alice", u"alice");
    ASSERT_EQ(add(u"Z:", u"\\\\192.168.1.20\\Public"), 0u);
    std::u16string buffer;
    const uint32_t count = nas.getLogicalDriveStrings(buffer);
    const std::u16string expected =
        std::u16string(u"A:\\\0B:\\\0C:\\\0D:\\\0E:\\\0M:\\\0Z:\\\0\0", 29);
    EXPECT_EQ(buffer, expected);
    EXPECT_EQ(count, 28u);
    // The remembered letter is taken until it is cancelled.
    EXPECT_EQ(add(u"M:", u"\\\\192.168.1.20\\Public"), 85u);
    EXPECT_EQ(nas.cancelConnection(u"m:", false), 0u);
    EXPECT_EQ(add(u"M:", u"\\\\192.168.1.20\\Public"), 0u);
}

TEST_F(MemoryNetworkProviderTest, NoDrivesGivesZeroAndAnEmptyList) {
    MemoryNetworkProvider empty;
    std::u16string buffer = u"junk";
    EXPECT_EQ(empty.getLogicalDriveStrings(buffer), 0u);
    EXPECT_EQ(buffer, std::u16string(1, u'\0'));
}

TEST_F(MemoryNetworkProviderTest, EnumerationListsDiskSharesOnlyInBatches) {
    NetResource server;
    server.remoteName = u"\\\\192.168.1.20";
    std::unique_ptr<NetEnumeration> enumeration;
    ASSERT_EQ(nas.openEnum(kResourceGlobalNet, kResourceTypeAny, 0, server, enumeration), 0u);
    std::vector<NetResource> entries;
    EXPECT_EQ(nas.enumResource(*enumeration, 2, entries), 0u);
    EXPECT_EQ(nas.enumResource(*enumeration, 0xFFFFFFFF, entries), 0u);
    EXPECT_EQ(nas.enumResource(*enumeration, 0xFFFFFFFF, entries), 259u);
    EXPECT_EQ(nas.closeEnum(std::move(enumeration)), 0u);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].remoteName, u"\\\\192.168.1.20\\Public");
    EXPECT_EQ(entries[1].remoteName, u"\\\\192.168.1.20\\alice");
    EXPECT_EQ(entries[2].remoteName, u"\\\\192.168.1.20\\bob");
    for (const NetResource& entry : entries) {
        EXPECT_EQ(entry.type, 1u);
        EXPECT_EQ(entry.usage & 2u, 0u) << "a share must not be a container";
    }

    server.remoteName = u"\\\\10.0.0.1";
    EXPECT_EQ(nas.openEnum(kResourceGlobalNet, kResourceTypeAny, 0, server, enumeration), 53u);
    server.remoteName = u"10.0.0.1";
    EXPECT_EQ(nas.openEnum(kResourceGlobalNet, kResourceTypeAny, 0, server, enumeration), 67u);
}

TEST_F(MemoryNetworkProviderTest, InjectedFailuresAndCallsAreRecorded) {
    nas.failNextAdd(1219);
    EXPECT_EQ(add(u"Z:", u"\\\\192.168.1.20\\Public", u"", u"", 1), 1219u);
    EXPECT_EQ(add(u"Z:", u"\\\\192.168.1.20\\Public", u"", u"", 1), 0u);
    nas.failNextCancel(2404);
    EXPECT_EQ(nas.cancelConnection(u"Z:", true), 2404u);
    const auto adds = nas.addCalls();
    ASSERT_EQ(adds.size(), 2u);
    EXPECT_EQ(adds[0].result, 1219u);
    EXPECT_EQ(adds[1].flags, 1u);
    ASSERT_EQ(nas.cancelCalls().size(), 1u);
    EXPECT_TRUE(nas.cancelCalls()[0].force);
    EXPECT_EQ(nas.connections().size(), 1u);
}

TEST(NetworkProviderSelection, InstalledProviderReplacesTheDefaultUntilRemoved) {
    auto memory = std::make_unique<MemoryNetworkProvider>();
    MemoryNetworkProvider* raw = memory.get();
    EXPECT_EQ(setNetworkProvider(std::move(memory)), nullptr);
    EXPECT_EQ(&networkProvider(), raw);
    auto previous = setNetworkProvider(nullptr);
    EXPECT_EQ(previous.get(), raw);
    EXPECT_NE(&networkProvider(), raw);
}

}  // namespace
}  // namespace platform
