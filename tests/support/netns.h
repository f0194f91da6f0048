#pragma once

// Tests that open sockets beyond plain loopback TCP (multicast, SSDP searches, extra addresses)
// run only inside a private network namespace, so nothing they send can leave the machine.
// scripts/test runs ctest in one when it runs as root; elsewhere such tests skip.

#include <gtest/gtest.h>

namespace ds::test {

// True when this process's network namespace is not the one of process 1.
bool inPrivateNetworkNamespace();

}  // namespace ds::test

#define DS_REQUIRE_PRIVATE_NETNS()                                                         \
    do {                                                                                   \
        if (!::ds::test::inPrivateNetworkNamespace())                                      \
            GTEST_SKIP() << "needs a private network namespace: run scripts/test as root"; \
    } while (0)
