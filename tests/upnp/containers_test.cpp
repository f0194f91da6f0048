#include <gtest/gtest.h>

#include <mutex>
#include <string>

#include "upnp/linked_list.h"
#include "upnp/pointer_stack.h"
#include "upnp/random_port.h"

namespace upnp {
namespace {

TEST(LinkedListTest, KeepsInsertionOrderAndRemovesByValue) {
    LinkedList<std::string> list;
    std::lock_guard lock(list);
    EXPECT_TRUE(list.isEmpty());
    EXPECT_EQ(list.peekFront(), nullptr);
    EXPECT_FALSE(list.popFront().has_value());

    list.addTail("b");
    list.addTail("x");
    list.addTail("c");
    list.addTail("x");
    list.insertBefore(list.first(), "a");
    EXPECT_EQ(list.removeAll("x"), 2u);

    std::string walked;
    for (auto node = list.first(); node != list.end(); node = list.next(node))
        walked += LinkedList<std::string>::data(node);
    EXPECT_EQ(walked, "abc");

    auto afterA = list.remove(list.first());
    EXPECT_EQ(*afterA, "b");
    EXPECT_EQ(*list.peekFront(), "b");
    EXPECT_EQ(list.popFront(), "b");
    EXPECT_EQ(list.size(), 1u);
}

TEST(PointerStackTest, LastInFirstOut) {
    PointerStack<int> stack;
    EXPECT_EQ(stack.peek(), nullptr);
    EXPECT_FALSE(stack.pop().has_value());
    stack.push(1);
    stack.push(2);
    EXPECT_EQ(*stack.peek(), 2);
    EXPECT_EQ(stack.pop(), 2);
    EXPECT_EQ(stack.pop(), 1);
    stack.push(3);
    stack.clear();
    EXPECT_TRUE(stack.empty());
}

TEST(RandomPortTest, StaysInItsHalfOpenRange) {
    bool sawLowest = false;
    for (int i = 0; i < 2000; ++i) {
        const uint16_t port = randomPort(50000, 50004);
        EXPECT_GE(port, 50000);
        EXPECT_LT(port, 50004);
        sawLowest |= port == 50000;
    }
    EXPECT_TRUE(sawLowest);
    EXPECT_EQ(randomPort(1900, 1900), 1900);
}

}  // namespace
}  // namespace upnp
