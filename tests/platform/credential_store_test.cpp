#include "platform/credential_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "platform/secret_service.h"
#include "platform/trace.h"
#include "support/temp_user_dirs.h"

namespace platform {
namespace {

Credential domainCredential(std::u16string target, std::u16string user,
                            std::u16string_view password) {
    Credential credential;
    credential.targetName = std::move(target);
    credential.userName = std::move(user);
    credential.blob = passwordBlob(password);
    return credential;
}

TEST(PasswordBlob, IsLittleEndianUtf16WithoutTerminator) {
    EXPECT_EQ(passwordBlob(u"A\u00e9\u20ac"),
              (std::vector<uint8_t>{0x41, 0x00, 0xE9, 0x00, 0xAC, 0x20}));
    EXPECT_TRUE(passwordBlob(u"").empty());
    EXPECT_EQ(passwordFromBlob(passwordBlob(u"p\U0001F600")), u"p\U0001F600");
    EXPECT_EQ(passwordFromBlob({0x41}), std::nullopt);
}

TEST(SecretText, OnlyTextIsAPassword) {
    EXPECT_EQ(passwordOfSecretText("wonderland"), u"wonderland");
    EXPECT_EQ(passwordOfSecretText("\xC3\xA9t\xC3\xA9"), u"\u00e9t\u00e9");
    EXPECT_EQ(passwordOfSecretText(""), u"");
    EXPECT_EQ(passwordOfSecretText(nullptr), std::nullopt);  // the secret is not text
    EXPECT_EQ(passwordOfSecretText("\xFF\xFE"), std::nullopt);
}

class CredentialFileTest : public ::testing::Test {
  protected:
    ds::test::TempUserDirs user;
    std::filesystem::path file() const { return user.dataHome() / "drivescout" / "credentials"; }
};

TEST_F(CredentialFileTest, StoresAndReadsBackEveryField) {
    EXPECT_EQ(credentialBackendName(), "file");
    Credential credential = domainCredential(u"192.168.1.20", u"HOME\\alice", u"wonderland");
    credential.comment = u"note";
    ASSERT_EQ(writeCredential(credential), 0u);

    Credential read;
    ASSERT_EQ(readCredential(kCredentialTypeDomainPassword, u"192.168.1.20", read), 0u);
    EXPECT_EQ(read.type, 2u);
    EXPECT_EQ(read.flags, 0u);
    EXPECT_EQ(read.persist, 3u);
    EXPECT_EQ(read.targetName, u"192.168.1.20");
    EXPECT_EQ(read.userName, u"HOME\\alice");
    EXPECT_EQ(read.comment, u"note");
    EXPECT_EQ(read.blob, passwordBlob(u"wonderland"));

    struct stat info {};
    ASSERT_EQ(::stat(file().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(CredentialFileTest, ReplacesTheCredentialOfTheSameTarget) {
    ASSERT_EQ(writeCredential(domainCredential(u"nas", u"alice", u"one")), 0u);
    ASSERT_EQ(writeCredential(domainCredential(u"NAS", u"bob", u"two")), 0u);
    Credential read;
    ASSERT_EQ(readCredential(kCredentialTypeDomainPassword, u"nas", read), 0u);
    EXPECT_EQ(read.userName, u"bob");
    EXPECT_EQ(read.blob, passwordBlob(u"two"));
    ASSERT_EQ(deleteCredential(kCredentialTypeDomainPassword, u"nas"), 0u);
    EXPECT_EQ(readCredential(kCredentialTypeDomainPassword, u"nas", read), kErrorFileNotFound);
}

TEST_F(CredentialFileTest, TargetsWithBackslashesOrPercentStayApart) {
    ASSERT_EQ(writeCredential(domainCredential(u"a\\b", u"u1", u"p1")), 0u);
    ASSERT_EQ(writeCredential(domainCredential(u"a%5Cb", u"u2", u"p2")), 0u);
    Credential read;
    ASSERT_EQ(readCredential(kCredentialTypeDomainPassword, u"a\\b", read), 0u);
    EXPECT_EQ(read.userName, u"u1");
    ASSERT_EQ(readCredential(kCredentialTypeDomainPassword, u"a%5Cb", read), 0u);
    EXPECT_EQ(read.userName, u"u2");
}

TEST_F(CredentialFileTest, RefusesAnEmptyTargetOrAnOddBlob) {
    EXPECT_EQ(writeCredential(domainCredential(u"", u"alice", u"x")), kErrorInvalidParameter);
    Credential odd = domainCredential(u"nas", u"alice", u"x");
    odd.blob.push_back(0);
    EXPECT_EQ(writeCredential(odd), kErrorInvalidParameter);
    EXPECT_FALSE(std::filesystem::exists(file()));
}

TEST_F(CredentialFileTest, PasswordNeverReachesATraceLine) {
    TraceCapture capture;
    // Damage the file first so that the store has something to report.
    std::filesystem::create_directories(file().parent_path());
    std::ofstream(file()) << "garbage\n";
    ASSERT_EQ(writeCredential(domainCredential(u"nas", u"alice", u"s3cret-pa55")), 0u);
    std::ofstream(file(), std::ios::app) << "garbage\n";
    Credential read;
    readCredential(kCredentialTypeDomainPassword, u"nas", read);
    ASSERT_FALSE(capture.lines().empty());
    for (const std::string& line : capture.lines())
        EXPECT_EQ(line.find("s3cret"), std::string::npos) << line;
}

TEST_F(CredentialFileTest, WithoutSessionBusTheFileIsChosen) {
    user.setEnv("DRIVESCOUT_CREDENTIAL_STORE", std::nullopt);
    user.setEnv("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
    EXPECT_EQ(credentialBackendName(), "file");
    // A bus address where nothing listens answers quickly and also falls back to the file.
    user.setEnv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (user.root() / "no-such-bus").string());
    EXPECT_EQ(credentialBackendName(), "file");
    ASSERT_EQ(writeCredential(domainCredential(u"nas", u"alice", u"x")), 0u);
    EXPECT_TRUE(std::filesystem::exists(file()));
}

}  // namespace
}  // namespace platform
