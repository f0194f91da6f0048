// The credential store on Wine's credential manager: a domain-password credential is written,
// read back whole, replaced and deleted.

#include <gtest/gtest.h>

#include "platform/credential_store.h"

namespace {

platform::Credential nasCredential(std::u16string_view password) {
    platform::Credential credential;
    credential.targetName = u"127.0.1.1";
    credential.userName = u"HOMEVAULT\\alice";
    credential.comment = u"Drive Scout";
    credential.blob = platform::passwordBlob(password);
    return credential;
}

TEST(CredentialManager, ADomainPasswordIsWrittenReadReplacedAndDeleted) {
    EXPECT_EQ(platform::credentialBackendName(), "credential-manager");
    ASSERT_EQ(platform::writeCredential(nasCredential(u"wonderland")), platform::kNoError);
    ASSERT_EQ(platform::writeCredential(nasCredential(u"looking-glass")), platform::kNoError);

    platform::Credential read;
    ASSERT_EQ(platform::readCredential(platform::kCredentialTypeDomainPassword, u"127.0.1.1", read),
              platform::kNoError);
    EXPECT_EQ(read.type, platform::kCredentialTypeDomainPassword);
    EXPECT_EQ(read.targetName, u"127.0.1.1");
    EXPECT_EQ(read.userName, u"HOMEVAULT\\alice");
    EXPECT_EQ(read.persist, platform::kCredentialPersistEnterprise);
    EXPECT_EQ(platform::passwordFromBlob(read.blob), u"looking-glass");

    EXPECT_EQ(platform::deleteCredential(platform::kCredentialTypeDomainPassword, u"127.0.1.1"),
              platform::kNoError);
    EXPECT_EQ(platform::readCredential(platform::kCredentialTypeDomainPassword, u"127.0.1.1", read),
              platform::kErrorFileNotFound);
    EXPECT_EQ(platform::deleteCredential(platform::kCredentialTypeDomainPassword, u"127.0.1.1"),
              platform::kErrorFileNotFound);
}

TEST(CredentialManager, ADomainPasswordWithoutDomainInItsUserNameIsRefusedByTheSystem) {
    // The SDK writes "domain\user" when the workstation knows its logon domain; the credential
    // manager takes nothing else for a domain password, and its answer comes back as the code.
    platform::Credential plain = nasCredential(u"wonderland");
    plain.userName = u"alice";
    EXPECT_EQ(platform::writeCredential(plain), 2202u);  // ERROR_BAD_USERNAME
}

TEST(CredentialManager, AnOddSizedBlobOrAnEmptyTargetIsRefused) {
    platform::Credential odd = nasCredential(u"x");
    odd.blob.push_back(0);
    EXPECT_EQ(platform::writeCredential(odd), platform::kErrorInvalidParameter);
    platform::Credential untargeted = nasCredential(u"x");
    untargeted.targetName.clear();
    EXPECT_EQ(platform::writeCredential(untargeted), platform::kErrorInvalidParameter);
}

}  // namespace
