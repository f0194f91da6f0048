#include "upnp/local_addresses.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "support/netns.h"

namespace upnp {
namespace {

uint32_t ip(const char* text) {
    return inet_addr(text);
}

TEST(LocalAddressesTest, UpInterfacesWithoutLoopbackThenLoopbackLast) {
    struct Case {
        const char* name;
        std::vector<InterfaceAddress> interfaces;
        std::vector<uint32_t> expected;
    };
    const std::vector<Case> cases = {
        {"no interface", {}, {ip("127.0.0.1")}},
        {"only loopback", {{"lo", ip("127.0.0.1"), true, true}}, {ip("127.0.0.1")}},
        {"one up, one down",
         {{"lo", ip("127.0.0.1"), true, true},
          {"eth0", ip("192.168.1.5"), true, false},
          {"eth1", ip("10.0.0.5"), false, false}},
         {ip("192.168.1.5"), ip("127.0.0.1")}},
        {"more than seven, in system order",
         {{"a", ip("10.0.0.1"), true, false},
          {"b", ip("10.0.0.2"), true, false},
          {"c", ip("10.0.0.3"), true, false},
          {"d", ip("10.0.0.4"), true, false},
          {"e", ip("10.0.0.5"), true, false},
          {"f", ip("10.0.0.6"), true, false},
          {"g", ip("10.0.0.7"), true, false},
          {"h", ip("10.0.0.8"), true, false},
          {"lo", ip("127.0.0.1"), true, true}},
         {ip("10.0.0.1"), ip("10.0.0.2"), ip("10.0.0.3"), ip("10.0.0.4"), ip("10.0.0.5"),
          ip("10.0.0.6"), ip("10.0.0.7"), ip("10.0.0.8"), ip("127.0.0.1")}},
        {"second address on a loopback interface",
         {{"lo", ip("127.0.0.2"), true, true}, {"wlan0", ip("172.16.0.9"), true, false}},
         {ip("172.16.0.9"), ip("127.0.0.1")}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(selectLocalAddresses(c.interfaces), c.expected) << c.name;
}

TEST(LocalAddressesTest, TheHostListEndsWithLoopback) {
    const std::vector<uint32_t> addresses = getLocalAddressList();
    ASSERT_FALSE(addresses.empty());
    EXPECT_EQ(addresses.back(), ip("127.0.0.1"));
}

TEST(LocalAddressesTest, AHostWithOnlyLoopbackListsJustLoopback) {
    DS_REQUIRE_PRIVATE_NETNS();
    EXPECT_EQ(getLocalAddressList(), std::vector<uint32_t>{ip("127.0.0.1")});
}

}  // namespace
}  // namespace upnp
