#include "platform/user_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <thread>

#include "platform/trace.h"
#include "platform/user_store_file.h"
#include "support/temp_user_dirs.h"

namespace platform {
namespace {

class UserStoreTest : public ::testing::Test {
  protected:
    ds::test::TempUserDirs user;
    UserStore store = UserStore::forCurrentUser();

    std::unique_ptr<UserStoreKey> create(std::u16string_view path) {
        std::unique_ptr<UserStoreKey> key;
        EXPECT_EQ(store.createKey(path, key), 0u);
        return key;
    }
};

TEST_F(UserStoreTest, LivesInTheConfigFolderReadableOnlyByTheUser) {
    EXPECT_EQ(store.file(), user.configHome() / "drivescout" / "user-store");
    auto key = create(u"Network\\Z");
    ASSERT_EQ(key->setNumber(u"DeferFlags", 1), 0u);
    struct stat info {};
    ASSERT_EQ(::stat(store.file().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(store.file().parent_path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(UserStoreTest, WithoutAnAbsoluteConfigFolderTheHomeIsUsed) {
    user.setEnv("XDG_CONFIG_HOME", "relative/config");
    EXPECT_EQ(UserStore::forCurrentUser().file(),
              user.root() / ".config" / "drivescout" / "user-store");
    user.setEnv("XDG_CONFIG_HOME", std::nullopt);
    EXPECT_EQ(UserStore::forCurrentUser().file(),
              user.root() / ".config" / "drivescout" / "user-store");
    EXPECT_EQ(userHomeDirectory(), user.root());
}

TEST_F(UserStoreTest, MissingKeysAndValuesAnswerFileNotFound) {
    std::unique_ptr<UserStoreKey> key;
    EXPECT_EQ(store.openKey(u"Network\\Z", key), kErrorFileNotFound);
    EXPECT_EQ(key, nullptr);
    key = create(u"Network\\Z");
    uint32_t number = 7;
    std::u16string text;
    EXPECT_EQ(key->queryNumber(u"DeferFlags", number), kErrorFileNotFound);
    EXPECT_EQ(number, 7u);
    EXPECT_EQ(key->queryText(u"RemotePath", text), kErrorFileNotFound);
    EXPECT_EQ(key->deleteValue(u"RemotePath"), kErrorFileNotFound);
    EXPECT_EQ(store.deleteKey(u"Network\\Y"), kErrorFileNotFound);
    EXPECT_EQ(closeKey(std::move(key)), 0u);
    EXPECT_EQ(closeKey(nullptr), kErrorInvalidParameter);
}

TEST_F(UserStoreTest, ValuesKeepTheirTypeAndIgnoreCase) {
    auto key = create(u"Network\\Z");
    ASSERT_EQ(key->setNumber(u"DeferFlags", 0xFFFFFFFF), 0u);
    ASSERT_EQ(key->setText(u"RemotePath", u"\\\\192.168.1.20\\alice smith %20\n\u00e9\U0001F600"),
              0u);
    ASSERT_EQ(key->setText(u"Empty", u""), 0u);

    std::unique_ptr<UserStoreKey> again;
    ASSERT_EQ(store.openKey(u"network\\z\\", again), 0u);
    uint32_t number = 0;
    std::u16string text;
    EXPECT_EQ(again->queryNumber(u"deferflags", number), 0u);
    EXPECT_EQ(number, 0xFFFFFFFFu);
    EXPECT_EQ(again->queryText(u"REMOTEPATH", text), 0u);
    EXPECT_EQ(text, u"\\\\192.168.1.20\\alice smith %20\n\u00e9\U0001F600");
    EXPECT_EQ(again->queryText(u"Empty", text), 0u);
    EXPECT_EQ(text, u"");
    EXPECT_EQ(again->queryText(u"DeferFlags", text), kErrorInvalidData);
    EXPECT_EQ(again->queryNumber(u"RemotePath", number), kErrorInvalidData);

    // Rewriting a value changes its type in place.
    ASSERT_EQ(again->setText(u"DEFERFLAGS", u"four"), 0u);
    EXPECT_EQ(key->queryText(u"DeferFlags", text), 0u);
    EXPECT_EQ(text, u"four");
}

TEST_F(UserStoreTest, ParentsExistAndSubkeysAreListedOnce) {
    create(u"Network\\Z");
    create(u"Network\\y");
    create(u"Network\\Y\\Deeper");
    create(u"Software\\DriveScout");
    std::unique_ptr<UserStoreKey> network;
    ASSERT_EQ(store.openKey(u"Network", network), 0u);
    std::vector<std::u16string> names;
    ASSERT_EQ(network->subkeys(names), 0u);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"y", u"Z"}));
    std::unique_ptr<UserStoreKey> root;
    ASSERT_EQ(store.openKey(u"", root), 0u);
    ASSERT_EQ(root->subkeys(names), 0u);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"Network", u"Software"}));
}

TEST_F(UserStoreTest, DeletingAKeyTakesItsSubkeysAndLeavesOpenHandlesFailing) {
    auto z = create(u"Network\\Z");
    create(u"Network\\Z\\Sub");
    create(u"Network\\Y");
    ASSERT_EQ(store.deleteKey(u"network\\z"), 0u);
    std::unique_ptr<UserStoreKey> key;
    EXPECT_EQ(store.openKey(u"Network\\Z\\Sub", key), kErrorFileNotFound);
    EXPECT_EQ(store.openKey(u"Network\\Y", key), 0u);
    EXPECT_EQ(z->setNumber(u"DeferFlags", 4), kErrorFileNotFound);
    EXPECT_EQ(store.deleteKey(u""), kErrorInvalidParameter);
    EXPECT_EQ(store.createKey(u"a\\\\b", key), kErrorInvalidParameter);
}

TEST_F(UserStoreTest, DamagedFileIsTracedReadAsEmptyAndMovedAsideOnTheNextChange) {
    std::filesystem::create_directories(store.file().parent_path());
    {
        std::ofstream out(store.file());
        out << "drivescout-user-store 1\nkey Network%5CZ\nnumber DeferFlags 99999999999\n";
    }
    TraceCapture capture;
    std::unique_ptr<UserStoreKey> key;
    EXPECT_EQ(store.openKey(u"Network\\Z", key), kErrorFileNotFound);
    ASSERT_FALSE(capture.lines().empty());
    EXPECT_NE(capture.lines()[0].find("damaged at line 3"), std::string::npos);

    key = create(u"Network\\Y");
    EXPECT_TRUE(std::filesystem::exists(store.file().string() + ".damaged"));
    EXPECT_EQ(store.openKey(u"Network\\Y", key), 0u);
}

TEST_F(UserStoreTest, ConcurrentWritersLoseNoValue) {
    // Each change re-reads the file under the lock; without it, writers would overwrite each
    // other's values.
    create(u"Counters");
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([this, t] {
            std::unique_ptr<UserStoreKey> key;
            ASSERT_EQ(store.openKey(u"Counters", key), 0u);
            for (uint32_t i = 0; i < 10; ++i) {
                const std::u16string name = u"w" + std::u16string(1, u'0' + t) +
                                            std::u16string(1, u'0' + static_cast<char16_t>(i));
                ASSERT_EQ(key->setNumber(name, i), 0u);
            }
        });
    }
    for (std::thread& writer : writers)
        writer.join();
    const ParsedStore parsed = [&] {
        std::ifstream in(store.file());
        return parseStoreFile(std::string(std::istreambuf_iterator<char>(in), {}));
    }();
    ASSERT_FALSE(parsed.damaged);
    EXPECT_EQ(parsed.contents.at(u"COUNTERS").values.size(), 40u);
}

struct FileCase {
    const char* what;
    std::string text;
    bool damaged;
};

TEST(UserStoreFile, ParsesOnlyWellFormedFiles) {
    const FileCase cases[] = {
        {"empty file", "", false},
        {"header only", "drivescout-user-store 1\n", false},
        {"root key", "drivescout-user-store 1\nkey \ntext  x\n", false},
        {"full", "drivescout-user-store 1\nkey A%5CB\nnumber N 4\ntext T a%20b\n", false},
        {"wrong header", "drivescout-user-store 2\n", true},
        {"no final newline", "drivescout-user-store 1\nkey A", true},
        {"value before key", "drivescout-user-store 1\nnumber N 4\n", true},
        {"negative", "drivescout-user-store 1\nkey A\nnumber N -4\n", true},
        {"plus sign", "drivescout-user-store 1\nkey A\nnumber N +4\n", true},
        {"too large", "drivescout-user-store 1\nkey A\nnumber N 4294967296\n", true},
        {"not a number", "drivescout-user-store 1\nkey A\nnumber N 4x\n", true},
        {"bad escape", "drivescout-user-store 1\nkey A%G0\n", true},
        {"cut escape", "drivescout-user-store 1\nkey A%2\n", true},
        {"raw tab", "drivescout-user-store 1\nkey A\ttab\n", true},
        {"empty component", "drivescout-user-store 1\nkey A%5C%5CB\n", true},
        {"extra field", "drivescout-user-store 1\nkey A\ntext N a b\n", true},
        {"unknown line", "drivescout-user-store 1\nkey A\nblob N 00\n", true},
    };
    for (const FileCase& c : cases) {
        const ParsedStore parsed = parseStoreFile(c.text);
        EXPECT_EQ(parsed.damaged, c.damaged) << c.what;
        if (parsed.damaged) {
            EXPECT_TRUE(parsed.contents.empty()) << c.what;
        }
    }
}

TEST(UserStoreFile, FormatAndParseRoundTrip) {
    StoreContents contents;
    contents[u"NETWORK\\Z"] =
        StoredKey{u"Network\\Z",
                  {{u"DeferFlags", true, 1, {}}, {u"Remote Path", false, 0, u"%\r\n\t \u00e9 \\"}}};
    const std::string text = formatStoreFile(contents);
    const ParsedStore parsed = parseStoreFile(text);
    ASSERT_FALSE(parsed.damaged);
    EXPECT_EQ(formatStoreFile(parsed.contents), text);
    EXPECT_EQ(parsed.contents.at(u"NETWORK\\Z").values[1].text, u"%\r\n\t \u00e9 \\");
}

}  // namespace
}  // namespace platform
