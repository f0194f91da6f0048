#pragma once

// Helpers of the SSDP client tests: a child process in a network namespace of its own (so that
// holding port 1900 or adding interfaces disturbs no other test), and plain UDP peers that play
// devices.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "chain_test_support.h"
#include "socket_test_support.h"

namespace upnp::test {

// A child body that cannot run here (for example without virtual Ethernet pairs) ends with this
// code, and the test is skipped.
inline constexpr int kSkipExitCode = 77;

// Runs `body` in a forked child inside a fresh network namespace with only loopback up, carrying
// multicast, and the multicast range routed to it. The child's gtest failures are printed by the
// child and fail the test through its exit code. The body makes its own watchdog (threads of the
// parent do not exist in the child); the parent's watchdog covers a child that never ends.
inline void runInFreshNetwork(const std::function<void()>& body) {
    // The parent's watchdog thread starts only after the fork: a thread that holds an allocator
    // lock at the moment of the fork leaves that lock held for ever in the child.
    std::fflush(nullptr);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::unshare(CLONE_NEWNET) != 0) {
            std::perror("unshare");
            std::_Exit(90);
        }
        if (std::system("ip link set lo up && ip link set lo multicast on && "
                        "ip route add 224.0.0.0/4 dev lo") != 0)
            std::_Exit(91);
        body();
        std::fflush(nullptr);
        std::_Exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    Watchdog parentWatchdog(std::chrono::seconds(120));
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "child ended by signal " << WTERMSIG(status);
    if (WEXITSTATUS(status) == kSkipExitCode)
        GTEST_SKIP() << "the child found the system without what the test needs";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "child failed (90/91: namespace not made)";
}

inline uint32_t ipv4(const char* dotted) {
    in_addr address{};
    ::inet_pton(AF_INET, dotted, &address);
    return address.s_addr;
}

// A UDP socket bound to `address` (network byte order) on an ephemeral port.
inline Fd udpPeer(uint32_t address) {
    Fd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = address;
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
        fd.reset();
    return fd;
}

inline bool sendDatagram(int fd, const std::string& bytes, uint32_t address, uint16_t port) {
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = address;
    target.sin_port = htons(port);
    return ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&target),
                    sizeof target) == static_cast<ssize_t>(bytes.size());
}

}  // namespace upnp::test
