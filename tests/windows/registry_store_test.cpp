// The per-user store on Wine's real registry: the current user's store is HKEY_CURRENT_USER
// itself, and a store made for a path of its own stays apart from it.

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/user_store.h"

namespace {

using platform::UserStore;
using platform::UserStoreKey;

TEST(RegistryStore, ValuesGoToTheCurrentUsersKeyAndComeBack) {
    const UserStore store = UserStore::forCurrentUser();
    std::unique_ptr<UserStoreKey> key;
    ASSERT_EQ(store.createKey(u"Network\\Q", key), platform::kNoError);
    ASSERT_EQ(key->setNumber(u"DeferFlags", 4), platform::kNoError);
    ASSERT_EQ(key->setText(u"RemotePath", u"\\\\nas\\Public"), platform::kNoError);
    ASSERT_EQ(platform::closeKey(std::move(key)), platform::kNoError);

    // Read back through the system's own calls: the value is where Windows keeps it.
    DWORD flags = 0;
    DWORD size = sizeof flags;
    ASSERT_EQ(::RegGetValueW(HKEY_CURRENT_USER, L"Network\\Q", L"DeferFlags", RRF_RT_REG_DWORD,
                             nullptr, &flags, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(flags, 4u);

    ASSERT_EQ(store.openKey(u"network\\q", key), platform::kNoError);
    uint32_t number = 0;
    std::u16string text;
    EXPECT_EQ(key->queryNumber(u"deferflags", number), platform::kNoError);
    EXPECT_EQ(number, 4u);
    EXPECT_EQ(key->queryText(u"REMOTEPATH", text), platform::kNoError);
    EXPECT_EQ(text, u"\\\\nas\\Public");
    EXPECT_EQ(key->queryNumber(u"RemotePath", number), platform::kErrorInvalidData);
    EXPECT_EQ(key->queryText(u"Missing", text), platform::kErrorFileNotFound);
    EXPECT_EQ(key->deleteValue(u"DeferFlags"), platform::kNoError);
    EXPECT_EQ(key->queryNumber(u"DeferFlags", number), platform::kErrorFileNotFound);

    EXPECT_EQ(store.deleteKey(u"Network\\Q"), platform::kNoError);
    EXPECT_EQ(store.openKey(u"Network\\Q", key), platform::kErrorFileNotFound);
    EXPECT_EQ(store.deleteKey(u"Network\\Q"), platform::kErrorFileNotFound);
}

TEST(RegistryStore, DeletingAKeyTakesItsSubkeysAndAnOpenKeyThenFindsNothing) {
    const UserStore store(std::filesystem::path("registry-store-test"));
    std::unique_ptr<UserStoreKey> parent, child;
    ASSERT_EQ(store.createKey(u"\\Outer\\", parent), platform::kNoError);
    ASSERT_EQ(store.createKey(u"Outer\\beta", child), platform::kNoError);
    ASSERT_EQ(store.createKey(u"Outer\\Alpha\\Deep", child), platform::kNoError);
    std::vector<std::u16string> names;
    ASSERT_EQ(parent->subkeys(names), platform::kNoError);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"Alpha", u"beta"}));

    // Kept apart from the current user's own keys.
    std::unique_ptr<UserStoreKey> elsewhere;
    EXPECT_EQ(UserStore::forCurrentUser().openKey(u"Outer", elsewhere),
              platform::kErrorFileNotFound);

    EXPECT_EQ(store.deleteKey(u"Outer"), platform::kNoError);
    uint32_t number = 0;
    EXPECT_EQ(child->queryNumber(u"Any", number), platform::kErrorFileNotFound);
    EXPECT_EQ(parent->subkeys(names), platform::kErrorFileNotFound);
}

TEST(RegistryStore, MalformedPathsAreRefused) {
    const UserStore store = UserStore::forCurrentUser();
    std::unique_ptr<UserStoreKey> key;
    EXPECT_EQ(store.createKey(u"Network\\\\Q", key), platform::kErrorInvalidParameter);
    EXPECT_EQ(store.deleteKey(u""), platform::kErrorInvalidParameter);
}

}  // namespace
