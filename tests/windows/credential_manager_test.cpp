// The credential store on Wine's credential manager: a domain-password credential is written,
// read back whole, replaced and deleted.

#include <gtest/gtest.h>

#include "platform/credential_store.h"

namespace {

platform::Credential nasCredential(std::u16string_view password) {
    platform::Credential credential;
    credential.targetName = u"127.0.1.1";
    credential.userName = u"alice";
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
    EXPECT_EQ(read.userName, u"alice");
    EXPECT_EQ(read.persist, platform::kCredentialPersistEnterprise);
    EXPECT_EQ(platform::passwordFromBlob(read.blob), u"looking-glass");

    EXPECT_EQ(platform::deleteCredential(platform::kCredentialTypeDomainPassword, u"127.0.1.1"),
              platform::kNoError);
    EXPECT_EQ(platform::readCredential(platform::kCredentialTypeDomainPassword, u"127.0.1.1", read),
              platform::kErrorFileNotFound);
    EXPECT_EQ(platform::deleteCredential(platform::kCredentialTypeDomainPassword, u"127.0.1.1"),
              platform::kErrorFileNotFound);
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
