#include "platform/workstation.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include "platform/user_store.h"
#include "platform/utf.h"
#include "support/temp_user_dirs.h"

namespace platform {
namespace {

TEST(Workstation, UserNameIsTheSystemAccountAndDomainEmptyByDefault) {
    ds::test::TempUserDirs user;
    WorkstationUser info;
    ASSERT_EQ(workstationUser(info), 0u);
    const passwd* account = ::getpwuid(::geteuid());
    ASSERT_NE(account, nullptr);
    EXPECT_EQ(info.userName, utf8ToUtf16(account->pw_name));
    EXPECT_EQ(info.logonDomain, u"");
}

TEST(Workstation, DomainComesFromTheStoreUnlessTheEnvironmentSetsOne) {
    ds::test::TempUserDirs user;
    std::unique_ptr<UserStoreKey> key;
    ASSERT_EQ(UserStore::forCurrentUser().createKey(kWorkstationKey, key), 0u);
    ASSERT_EQ(key->setText(u"LogonDomain", u"HOME"), 0u);
    WorkstationUser info;
    ASSERT_EQ(workstationUser(info), 0u);
    EXPECT_EQ(info.logonDomain, u"HOME");
    user.setEnv("DRIVESCOUT_LOGON_DOMAIN", "OFFICE");
    ASSERT_EQ(workstationUser(info), 0u);
    EXPECT_EQ(info.logonDomain, u"OFFICE");
}

}  // namespace
}  // namespace platform
