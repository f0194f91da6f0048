#include "upnp/keyed_table.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace upnp {
namespace {

std::vector<std::string> keysInOrder(const KeyedTable<int>& table) {
    std::vector<std::string> keys;
    for (const auto& entry : table)
        keys.push_back(entry.key);
    return keys;
}

TEST(KeyedTable, AddAppendsInInsertionOrder) {
    KeyedTable<int> table;
    EXPECT_TRUE(table.add("zeta", 1));
    EXPECT_TRUE(table.add("alpha", 2));
    EXPECT_TRUE(table.add("mu", 3));
    EXPECT_EQ(keysInOrder(table), (std::vector<std::string>{"zeta", "alpha", "mu"}));
    EXPECT_EQ(table.size(), 3u);
}

TEST(KeyedTable, AddOnExistingKeyReplacesInPlace) {
    KeyedTable<int> table;
    table.add("a", 1);
    table.add("b", 2);
    table.add("c", 3);
    table.add("a", 10);
    EXPECT_EQ(keysInOrder(table), (std::vector<std::string>{"a", "b", "c"}));
    ASSERT_NE(table.get("a"), nullptr);
    EXPECT_EQ(*table.get("a"), 10);
    EXPECT_EQ(table.size(), 3u);
}

struct CaseRow {
    KeyCase keyCase;
    const char* stored;
    const char* looked;
    bool found;
};

class KeyedTableCase : public ::testing::TestWithParam<CaseRow> {};

TEST_P(KeyedTableCase, LookupFollowsTheCaseRule) {
    const CaseRow& row = GetParam();
    KeyedTable<int> table(row.keyCase);
    table.add(row.stored, 7);
    EXPECT_EQ(table.has(row.looked), row.found);
    EXPECT_EQ(table.get(row.looked) != nullptr, row.found);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, KeyedTableCase,
    ::testing::Values(CaseRow{KeyCase::Insensitive, "Content-Length", "content-length", true},
                      CaseRow{KeyCase::Insensitive, "Content-Length", "CONTENT-LENGTH", true},
                      CaseRow{KeyCase::Insensitive, "Content-Length", "Content-Lengt", false},
                      CaseRow{KeyCase::Sensitive, "Content-Length", "content-length", false},
                      CaseRow{KeyCase::Sensitive, "Content-Length", "Content-Length", true},
                      // Only A-Z fold: bytes above 0x7F are compared as they are.
                      CaseRow{KeyCase::Insensitive, "\xC3\x84x", "\xC3\xA4x", false},
                      CaseRow{KeyCase::Insensitive, "[", "{", false}));

TEST(KeyedTable, CaseInsensitiveKeepsFirstSpelling) {
    KeyedTable<int> table(KeyCase::Insensitive);
    table.add("Content-Length", 1);
    table.add("content-length", 2);
    EXPECT_EQ(table.size(), 1u);
    EXPECT_EQ(keysInOrder(table), (std::vector<std::string>{"Content-Length"}));
    EXPECT_EQ(table.storedKey("CONTENT-LENGTH"), "Content-Length");
    EXPECT_EQ(*table.get("CoNtEnT-LeNgTh"), 2);
}

TEST(KeyedTable, ZeroLengthKeyIsNeverStoredOrFound) {
    KeyedTable<int> table;
    EXPECT_FALSE(table.add("", 1));
    EXPECT_FALSE(table.has(""));
    EXPECT_EQ(table.get(""), nullptr);
    EXPECT_FALSE(table.remove(""));
    EXPECT_TRUE(table.empty());
}

TEST(KeyedTable, KeysMayHoldAnyBytes) {
    KeyedTable<int> table;
    const std::string withNul("a\0b", 3);
    const std::string otherNul("a\0c", 3);
    table.add(withNul, 1);
    table.add(otherNul, 2);
    EXPECT_EQ(*table.get(withNul), 1);
    EXPECT_EQ(*table.get(otherNul), 2);
    EXPECT_FALSE(table.has("a"));
    EXPECT_EQ(table.begin()->key.size(), 3u);
}

TEST(KeyedTable, RemoveKeepsTheOrderOfTheRest) {
    KeyedTable<int> table(KeyCase::Insensitive);
    table.add("one", 1);
    table.add("two", 2);
    table.add("three", 3);
    EXPECT_TRUE(table.remove("TWO"));
    EXPECT_FALSE(table.remove("two"));
    EXPECT_EQ(keysInOrder(table), (std::vector<std::string>{"one", "three"}));
    // A key added again after removal goes to the end with its new spelling.
    table.add("Two", 22);
    EXPECT_EQ(keysInOrder(table), (std::vector<std::string>{"one", "three", "Two"}));
}

TEST(KeyedTable, ValuesArePointersTheTableDoesNotOwn) {
    int device = 5;
    KeyedTable<int*> table;
    table.add("uuid:1", &device);
    table.add("uuid:2", nullptr);  // a device whose description is still being fetched
    EXPECT_TRUE(table.has("uuid:2"));
    ASSERT_NE(table.get("uuid:2"), nullptr);
    EXPECT_EQ(*table.get("uuid:2"), nullptr);
    EXPECT_EQ(*table.get("uuid:1"), &device);
    table.clear();
    EXPECT_TRUE(table.empty());
    EXPECT_EQ(device, 5);
}

TEST(KeyedTable, MovedTableKeepsEntriesAndIndex) {
    KeyedTable<int> source(KeyCase::Insensitive);
    source.add("Host", 1);
    source.add("NT", 2);
    KeyedTable<int> moved(std::move(source));
    EXPECT_EQ(moved.keyCase(), KeyCase::Insensitive);
    EXPECT_EQ(*moved.get("nt"), 2);
    moved.add("host", 3);
    EXPECT_EQ(keysInOrder(moved), (std::vector<std::string>{"Host", "NT"}));
    EXPECT_TRUE(moved.remove("HOST"));
    EXPECT_EQ(moved.size(), 1u);
}

TEST(KeyedTable, ManyEntriesStayConsistent) {
    KeyedTable<int> table(KeyCase::Insensitive);
    for (int i = 0; i < 2000; ++i)
        table.add("Key-" + std::to_string(i), i);
    for (int i = 0; i < 2000; i += 2)
        EXPECT_TRUE(table.remove("KEY-" + std::to_string(i)));
    EXPECT_EQ(table.size(), 1000u);
    int expected = 1;
    for (const auto& entry : table) {
        EXPECT_EQ(entry.value, expected);
        expected += 2;
    }
}

TEST(KeyedTable, LockSerialisesCallersOnTwoThreads) {
    KeyedTable<int> table;
    auto worker = [&table](const std::string& prefix) {
        for (int i = 0; i < 500; ++i) {
            std::lock_guard guard(table);
            table.add(prefix + std::to_string(i), i);
        }
    };
    std::thread first(worker, "a");
    std::thread second(worker, "b");
    first.join();
    second.join();
    std::lock_guard guard(table);
    EXPECT_EQ(table.size(), 1000u);
}

TEST(EqualsIgnoreAsciiCase, Table) {
    EXPECT_TRUE(equalsIgnoreAsciiCase("LOCATION", "Location"));
    EXPECT_FALSE(equalsIgnoreAsciiCase("LOCATION", "Locatio"));
    EXPECT_FALSE(equalsIgnoreAsciiCase("@", "`"));
    EXPECT_TRUE(equalsIgnoreAsciiCase("", ""));
}

}  // namespace
}  // namespace upnp
