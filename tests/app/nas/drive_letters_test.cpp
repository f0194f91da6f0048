// Drive letters for the NAS's folders, over the in-memory network provider.

#include "app/nas/drive_letters.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "drivescout/sdk.h"
#include "platform/memory_network_provider.h"
#include "platform/utf.h"
#include "sdk/upnp_sdk.h"
#include "support/temp_user_dirs.h"

namespace nas {
namespace {

using namespace std::string_literals;

constexpr std::u16string_view kAddress = u"192.168.1.20";
constexpr std::u16string_view kPublic = u"\\\\192.168.1.20\\Public";
constexpr std::u16string_view kAlice = u"\\\\192.168.1.20\\alice";

// A proof that must not be asked for: a new mapping proves the password itself.
PasswordProof NoProofAsked() {
    return [](const LBString&, const LBString&) {
        ADD_FAILURE() << "the password was proven although a mapping was made";
        return int32_t(platform::kErrorLogonFailure);
    };
}

std::string text(std::u16string_view value) {
    return platform::utf16ToUtf8(value);
}
std::string text(const LBString& value) {
    return value.ToUtf8();
}

// Forwards to the in-memory provider, with drive strings that can be made to fail or be given
// as they stand.
class DriveStringsProvider final : public platform::NetworkProvider {
  public:
    explicit DriveStringsProvider(platform::MemoryNetworkProvider& inner) : inner_(inner) {}
    bool fail = false;
    std::u16string fixed;  // used when not empty

    platform::WinError addConnection(const platform::NetResource& r, std::u16string_view p,
                                     std::u16string_view u, uint32_t f) override {
        return inner_.addConnection(r, p, u, f);
    }
    platform::WinError cancelConnection(std::u16string_view n, bool f) override {
        return inner_.cancelConnection(n, f);
    }
    platform::WinError getConnection(std::u16string_view l, std::u16string& r) override {
        return inner_.getConnection(l, r);
    }
    platform::WinError openEnum(uint32_t s, uint32_t t, uint32_t u, const platform::NetResource& c,
                                std::unique_ptr<platform::NetEnumeration>& e) override {
        return inner_.openEnum(s, t, u, c, e);
    }
    platform::WinError enumResource(platform::NetEnumeration& e, uint32_t m,
                                    std::vector<platform::NetResource>& out) override {
        return inner_.enumResource(e, m, out);
    }
    platform::WinError closeEnum(std::unique_ptr<platform::NetEnumeration> e) override {
        return inner_.closeEnum(std::move(e));
    }
    uint32_t getLogicalDriveStrings(std::u16string& buffer) override {
        if (fail)
            return 0;
        if (fixed.empty())
            return inner_.getLogicalDriveStrings(buffer);
        buffer = fixed;
        return static_cast<uint32_t>(fixed.size() - 1);
    }

  private:
    platform::MemoryNetworkProvider& inner_;
};

class DriveLettersTest : public ::testing::Test {
  protected:
    DriveLettersTest() {
        memory.addShare(kAddress, u"Public", {.guest = true, .users = {}});
        memory.addShare(kAddress, u"alice", {.guest = false, .users = {u"alice"}});
        memory.addShare(kAddress, u"bob", {.guest = false, .users = {u"bob"}});
        memory.addAccount(kAddress, u"alice", u"pw-alice");
        memory.addAccount(kAddress, u"bob", u"pw-bob");
        memory.addShare(u"192.168.1.21", u"Public", {.guest = true, .users = {}});
        memory.setLocalDrives(u"ABCDE");
        auto wrapper = std::make_unique<DriveStringsProvider>(memory);
        drives = wrapper.get();
        previous = platform::setNetworkProvider(std::move(wrapper));
        context.session = &sessionBlock;
        context.strAddress = LBString::FromUtf16(kAddress);
    }
    ~DriveLettersTest() override { platform::setNetworkProvider(std::move(previous)); }

    // A connection as an earlier session left it (remote name exactly as given).
    void connected(std::u16string_view drive, std::u16string_view remote) {
        memory.addRememberedConnection(drive, remote, u"");
    }
    // Names cancelled from the `from`th cancellation on.
    std::vector<std::string> cancelledNames(std::size_t from = 0) const {
        std::vector<std::string> names;
        const auto calls = memory.cancelCalls();
        for (std::size_t i = from; i < calls.size(); ++i)
            names.push_back(text(calls[i].name));
        return names;
    }

    // A remembered mapping with a password touches the user's settings and credentials.
    ds::test::TempUserDirs userDirs;
    platform::MemoryNetworkProvider memory;
    DriveStringsProvider* drives = nullptr;
    std::unique_ptr<platform::NetworkProvider> previous;
    UPnPSessionBlock sessionBlock{};
    NasContext context;
};

// --- MapPublicFolder

struct PublicCase {
    const char* name;
    std::u16string localDrives;
    std::vector<std::pair<std::u16string, std::u16string>> connections;
    int32_t result;
    std::string drive;
    bool mapped;  // a new connection was made
};

class MapPublicTest : public DriveLettersTest, public ::testing::WithParamInterface<PublicCase> {};

TEST_P(MapPublicTest, FindsOrMaps) {
    const PublicCase& c = GetParam();
    memory.setLocalDrives(c.localDrives);
    for (const auto& [drive, remote] : c.connections)
        connected(drive, remote);

    EXPECT_EQ(MapPublicFolder(context), c.result);
    EXPECT_EQ(text(context.strPublicPath), text(kPublic));
    EXPECT_EQ(text(context.strPublicDrive), c.drive);
    EXPECT_EQ(context.bPublicMapped, c.result == 0 ? 1 : 0);
    const auto adds = memory.addCalls();
    ASSERT_EQ(adds.size(), c.mapped ? 1u : 0u);
    if (c.mapped) {
        EXPECT_EQ(text(adds[0].resource.remoteName), text(kPublic));
        EXPECT_EQ(text(adds[0].resource.localName), c.drive);
        EXPECT_TRUE(adds[0].userName.empty());  // as guest
        EXPECT_TRUE(adds[0].password.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MapPublicTest,
    ::testing::Values(
        PublicCase{"HighestFreeLetter", u"ABCDE", {}, 0, "Z:", true},
        PublicCase{"ZTakenByLocalDrive", u"CZ", {}, 0, "Y:", true},
        PublicCase{"ReusedWithTrailingBackslash",
                   u"ABCDE",
                   {{u"X:", u"\\\\192.168.1.20\\Public\\"}},
                   0,
                   "X:",
                   false},
        PublicCase{
            "ReusedInOtherCase", u"ABCDE", {{u"X:", u"\\\\192.168.1.20\\PUBLIC"}}, 0, "X:", false},
        PublicCase{"ReusedWithTrailingWhiteSpace",
                   u"ABCDE",
                   {{u"X:", u"\\\\192.168.1.20\\public\\\\ \t"}},
                   0,
                   "X:",
                   false},
        PublicCase{
            "OtherNasNotReused", u"ABCDE", {{u"Z:", u"\\\\192.168.1.21\\Public"}}, 0, "Y:", true},
        PublicCase{"SubfolderNotReused",
                   u"ABCDE",
                   {{u"Z:", u"\\\\192.168.1.20\\Public\\Photos"}},
                   0,
                   "Y:",
                   true},
        // With all 26 letters in use the folder is connected without a letter.
        PublicCase{"NoFreeLetter", u"ABCDEFGHIJKLMNOPQRSTUVWXYZ", {}, 0, "", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DriveLettersTest, FailedPublicMappingReturnsItsCode) {
    memory.failNextAdd(platform::kErrorBadNetPath);
    memory.failNextCancel(platform::kErrorNotConnected);
    EXPECT_EQ(MapPublicFolder(context), static_cast<int32_t>(platform::kErrorBadNetPath));
    EXPECT_EQ(context.bPublicMapped, 0);
    EXPECT_TRUE(context.strPublicDrive.IsEmpty());
}

// A refused SDK call (no session) writes no code; it must not read as success.
TEST_F(DriveLettersTest, MappingWithoutSessionFails) {
    context.session = nullptr;
    EXPECT_NE(MapPublicFolder(context), 0);
    EXPECT_EQ(context.bPublicMapped, 0);
    EXPECT_NE(MapPrivateFolder(context, u"alice", u"pw-alice", NoProofAsked()), 0);
    EXPECT_EQ(context.bPrivateMapped, 0);
    context.strUserName = u"alice";
    context.strPrivateDrive = u"Y:";
    EXPECT_NE(SignOutPreviousUser(context), 0);
    EXPECT_TRUE(memory.addCalls().empty());
}

// --- MapPrivateFolder

TEST_F(DriveLettersTest, PublicGetsZThenPrivateGetsY) {
    ASSERT_EQ(MapPublicFolder(context), 0);
    EXPECT_EQ(text(context.strPublicDrive), "Z:");
    ASSERT_EQ(MapPrivateFolder(context, u"alice", u"pw-alice", NoProofAsked()), 0);
    EXPECT_EQ(context.bPrivateMapped, 1);
    EXPECT_EQ(text(context.strPrivateDrive), "Y:");
    EXPECT_EQ(text(context.strPrivatePath), text(kAlice));
    EXPECT_EQ(text(context.strUserName), "alice");
    EXPECT_EQ(text(context.strPassword), "pw-alice");

    const auto adds = memory.addCalls();
    ASSERT_EQ(adds.size(), 2u);
    EXPECT_EQ(text(adds[1].userName), "alice");
    EXPECT_EQ(text(adds[1].password), "pw-alice");
    EXPECT_EQ(adds[1].flags, platform::kConnectUpdateProfile);  // remembered
    const auto connections = memory.connections();
    ASSERT_EQ(connections.size(), 2u);
    EXPECT_EQ(text(connections[1].localName), "Y:");
}

// A drive already connected to the user's folder proves nothing about the password typed now:
// it is taken only when the proof accepts the password, and is then recorded as this user's even
// where FindPrivateMapping had recorded another user's drive.
TEST_F(DriveLettersTest, PrivateFolderAlreadyConnectedIsReusedOnlyWithAProvenPassword) {
    struct Case {
        const char* name;
        int32_t proof;
        int32_t expected;
    };
    const Case cases[] = {
        {"accepted", 0, 0},
        {"refused", int32_t(platform::kErrorLogonFailure), int32_t(platform::kErrorLogonFailure)},
        {"NAS silent", int32_t(platform::kErrorBadNetPath), int32_t(platform::kErrorBadNetPath)},
    };
    connected(u"W:", u"\\\\192.168.1.20\\ALICE\\");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NasContext fresh = context;
        fresh.strUserName = u"bob";  // as FindPrivateMapping left it: bob's drive X:
        fresh.strPrivateDrive = u"X:";
        fresh.strPrivatePath = u"\\\\192.168.1.20\\bob";
        fresh.strPassword = u"earlier";
        std::vector<std::string> asked;
        const int32_t code = MapPrivateFolder(
            fresh, u"alice", u"typed", [&](const LBString& user, const LBString& password) {
                asked.push_back(text(user) + "/" + text(password));
                return c.proof;
            });
        EXPECT_EQ(code, c.expected);
        EXPECT_EQ(asked, (std::vector<std::string>{"alice/typed"}));
        EXPECT_TRUE(memory.addCalls().empty());
        if (c.expected == 0) {
            EXPECT_EQ(fresh.bPrivateMapped, 1);
            EXPECT_EQ(text(fresh.strUserName), "alice");
            EXPECT_EQ(text(fresh.strPassword), "typed");
            EXPECT_EQ(text(fresh.strPrivateDrive), "W:");
            EXPECT_EQ(text(fresh.strPrivatePath), "\\\\192.168.1.20\\alice");
        } else {
            EXPECT_EQ(text(fresh.strUserName), "bob");
            EXPECT_EQ(text(fresh.strPassword), "earlier");
            EXPECT_EQ(text(fresh.strPrivateDrive), "X:");
        }
    }
    // Without a way to prove the password, a drive in place is no sign-in.
    EXPECT_EQ(MapPrivateFolder(context, u"alice", u"typed", nullptr),
              int32_t(platform::kErrorLogonFailure));
}

TEST_F(DriveLettersTest, WrongPasswordLeavesThePrivateFieldsAlone) {
    context.strPassword = u"earlier";
    const int32_t code = MapPrivateFolder(context, u"alice", u"wrong", NoProofAsked());
    EXPECT_EQ(code, static_cast<int32_t>(platform::kErrorLogonFailure));
    EXPECT_EQ(context.bPrivateMapped, 0);
    EXPECT_TRUE(context.strPrivateDrive.IsEmpty());
    EXPECT_TRUE(context.strUserName.IsEmpty());
    EXPECT_EQ(text(context.strPassword), "earlier");
}

// --- FindPrivateMapping

struct FindCase {
    const char* name;
    std::vector<std::pair<std::u16string, std::u16string>> connections;
    int32_t found;
    std::string drive;
    std::string path;
    std::string user;
};

class FindPrivateTest : public DriveLettersTest, public ::testing::WithParamInterface<FindCase> {};

TEST_P(FindPrivateTest, FindsAUsersFolder) {
    const FindCase& c = GetParam();
    for (const auto& [drive, remote] : c.connections)
        connected(drive, remote);
    EXPECT_EQ(FindPrivateMapping(context), c.found);
    EXPECT_EQ(context.bPrivateMapped, c.found);
    EXPECT_EQ(text(context.strPrivateDrive), c.drive);
    EXPECT_EQ(text(context.strPrivatePath), c.path);
    EXPECT_EQ(text(context.strUserName), c.user);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindPrivateTest,
    ::testing::Values(
        FindCase{"Nothing", {}, 0, "", "", ""},
        FindCase{"UsersFolder",
                 {{u"Y:", u"\\\\192.168.1.20\\alice\\"}},
                 1,
                 "Y:",
                 "\\\\192.168.1.20\\alice",
                 "alice"},
        FindCase{"PublicItself", {{u"X:", u"\\\\192.168.1.20\\Public"}}, 0, "", "", ""},
        FindCase{"PublicInOtherCase", {{u"X:", u"\\\\192.168.1.20\\PUBLIC\\"}}, 0, "", "", ""},
        FindCase{
            "SubfolderOfPublic", {{u"X:", u"\\\\192.168.1.20\\Public\\Photos"}}, 0, "", "", ""},
        FindCase{"SubfolderOfUsersFolder",
                 {{u"M:", u"\\\\192.168.1.20\\alice\\docs\\2024\\"}},
                 1,
                 "M:",
                 "\\\\192.168.1.20\\alice\\docs\\2024",
                 "alice\\docs\\2024"},
        FindCase{"TwoUsersHigherLetterWins",
                 {{u"P:", u"\\\\192.168.1.20\\alice"}, {u"T:", u"\\\\192.168.1.20\\bob"}},
                 1,
                 "T:",
                 "\\\\192.168.1.20\\bob",
                 "bob"},
        FindCase{"PublicSkippedForLowerUser",
                 {{u"V:", u"\\\\192.168.1.20\\Public"}, {u"K:", u"\\\\192.168.1.20\\alice"}},
                 1,
                 "K:",
                 "\\\\192.168.1.20\\alice",
                 "alice"},
        FindCase{"OtherNas", {{u"Y:", u"\\\\192.168.1.21\\carol"}}, 0, "", "", ""},
        FindCase{"LongerAddress", {{u"Y:", u"\\\\192.168.1.200\\dave"}}, 0, "", "", ""},
        FindCase{"ServerOnly", {{u"Y:", u"\\\\192.168.1.20\\"}}, 0, "", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DriveLettersTest, EarlierFindIsKept) {
    context.bPrivateMapped = 1;
    EXPECT_EQ(FindPrivateMapping(context), 1);
}

// --- SignOutPreviousUser

TEST_F(DriveLettersTest, SignOutWithoutUserCancelsOnlyPublic) {
    ASSERT_EQ(MapPublicFolder(context), 0);
    connected(u"Y:", kAlice);
    const std::size_t before = memory.cancelCalls().size();
    EXPECT_EQ(SignOutPreviousUser(context), 0);
    EXPECT_EQ(cancelledNames(before), std::vector<std::string>{"Z:"});
    ASSERT_EQ(memory.connections().size(), 1u);
    EXPECT_EQ(text(memory.connections()[0].localName), "Y:");
}

TEST_F(DriveLettersTest, SignOutCancelsPrivateThenPublic) {
    connected(u"Y:", kAlice);
    ASSERT_EQ(FindPrivateMapping(context), 1);
    ASSERT_EQ(MapPublicFolder(context), 0);
    ASSERT_EQ(text(context.strPublicDrive), "Z:");
    const std::size_t before = memory.cancelCalls().size();
    EXPECT_EQ(SignOutPreviousUser(context), 0);
    EXPECT_EQ(cancelledNames(before), (std::vector<std::string>{"Y:", "Z:"}));
    EXPECT_TRUE(memory.connections().empty());
    // The record keeps what it held.
    EXPECT_EQ(text(context.strUserName), "alice");
    EXPECT_EQ(text(context.strPrivateDrive), "Y:");
}

TEST_F(DriveLettersTest, SignOutStopsAtTheFirstFailedCancellation) {
    context.strUserName = u"alice";
    context.strPrivateDrive = u"Y:";  // not connected
    context.strPublicDrive = u"Z:";
    EXPECT_EQ(SignOutPreviousUser(context), static_cast<int32_t>(platform::kErrorNotConnected));
    EXPECT_EQ(cancelledNames(), std::vector<std::string>{"Y:"});
}

// A folder connected without a letter (all 26 were in use) is cancelled by its path; cancelling
// an empty name would fail and leave the connection.
TEST_F(DriveLettersTest, SignOutOfConnectionsWithoutLetters) {
    memory.setLocalDrives(u"ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    ASSERT_EQ(MapPublicFolder(context), 0);
    ASSERT_EQ(MapPrivateFolder(context, u"alice", u"pw-alice", NoProofAsked()), 0);
    EXPECT_TRUE(context.strPrivateDrive.IsEmpty());
    ASSERT_EQ(memory.connections().size(), 2u);
    const std::size_t before = memory.cancelCalls().size();
    EXPECT_EQ(SignOutPreviousUser(context), 0);
    EXPECT_EQ(cancelledNames(before), (std::vector<std::string>{text(kAlice), text(kPublic)}));
    EXPECT_TRUE(memory.connections().empty());
}

// --- Letters in use

TEST_F(DriveLettersTest, UsedLettersFromTheDriveStrings) {
    drives->fixed = u" c:\\\0D:\\ \0\tz:\\\0 \0\0"s;
    std::set<char16_t> used{u'Q'};
    ASSERT_EQ(GetUsedDriveLetters(used), 1);
    EXPECT_EQ(used, (std::set<char16_t>{u'C', u'D', u'Z'}));
    LBString drive;
    ASSERT_EQ(PickFreeDrive(drive), 1);
    EXPECT_EQ(text(drive), "Y:");
}

TEST_F(DriveLettersTest, UnreadableDrivesLeaveTheDriveUntouched) {
    drives->fail = true;
    std::set<char16_t> used{u'Q'};
    EXPECT_EQ(GetUsedDriveLetters(used), 0);
    EXPECT_TRUE(used.empty());
    LBString drive = u"K:";
    EXPECT_EQ(PickFreeDrive(drive), 0);
    EXPECT_EQ(text(drive), "K:");
}

// With no drive in use at all the provider writes only the closing zero: every letter is free.
TEST_F(DriveLettersTest, NoDriveInUse) {
    drives->fixed = u"\0"s;
    std::set<char16_t> used{u'Q'};
    EXPECT_EQ(GetUsedDriveLetters(used), 1);
    EXPECT_TRUE(used.empty());
    LBString drive;
    ASSERT_EQ(PickFreeDrive(drive), 1);
    EXPECT_EQ(text(drive), "Z:");
    memory.setLocalDrives(u"");
    ASSERT_EQ(MapPublicFolder(context), 0);
    EXPECT_EQ(text(context.strPublicDrive), "Z:");
}

TEST_F(DriveLettersTest, AllLettersInUse) {
    memory.setLocalDrives(u"ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    LBString drive = u"K:";
    EXPECT_EQ(PickFreeDrive(drive), 0);
    EXPECT_EQ(text(drive), "K:");
}

TEST_F(DriveLettersTest, FindMappedDriveTakesTheHighestMatch) {
    connected(u"D:", u"\\\\192.168.1.20\\bob");
    connected(u"R:", u"\\\\192.168.1.20\\BOB\\\\");
    EXPECT_EQ(text(FindMappedDrive(u"\\\\192.168.1.20\\bob")), "R:");
    EXPECT_EQ(text(FindMappedDrive(u"\\\\192.168.1.20\\carol")), "");
}

}  // namespace
}  // namespace nas
