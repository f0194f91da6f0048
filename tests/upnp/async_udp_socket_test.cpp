#include "upnp/async_udp_socket.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chain_test_support.h"
#include "socket_test_support.h"
#include "support/netns.h"

namespace upnp {
namespace {

using test::Fd;
using test::loopbackAddress;
using test::runPasses;
using test::runUntil;
using test::Watchdog;

struct Datagram {
    std::string bytes;
    uint32_t address;
    uint16_t port;
};

class AsyncUdpSocketTest : public ::testing::Test {
  protected:
    Watchdog watchdog;
    ManualClock clock;
    std::vector<Datagram> received;
    std::unique_ptr<Chain> chain = createChain(clock);

    AsyncUdpSocket::OnDatagram collect() {
        return
            [this](AsyncUdpSocket&, std::string_view bytes, uint32_t address, uint16_t port, int&) {
                received.push_back({std::string(bytes), address, port});
            };
    }
    AsyncUdpSocket* bindLoopback(uint16_t lowest = 50000, uint16_t highest = 65500) {
        return createAsyncUdpSocket(*chain, 4096, loopbackAddress(), lowest, highest, false,
                                    collect());
    }
};

TEST_F(AsyncUdpSocketTest, BindsARandomPortInItsRange) {
    for (int i = 0; i < 5; ++i) {
        AsyncUdpSocket* socket = bindLoopback(50000, 65500);
        ASSERT_NE(socket, nullptr);
        EXPECT_GE(socket->boundPort(), 50000);
        EXPECT_LT(socket->boundPort(), 65500);
        EXPECT_FALSE(socket->isFree());
    }
}

TEST_F(AsyncUdpSocketTest, ASinglePortThatIsTakenGivesNoSocket) {
    Fd taken(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_in local{AF_INET, 0, {loopbackAddress()}, {}};
    ASSERT_EQ(::bind(taken.get(), reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    const uint16_t port = test::boundPort(taken.get());

    EXPECT_EQ(bindLoopback(port, port), nullptr);
}

TEST_F(AsyncUdpSocketTest, EveryQueuedDatagramIsReadInOnePassWithItsSender) {
    AsyncUdpSocket* receiver = bindLoopback();
    AsyncUdpSocket* sender = bindLoopback();
    ASSERT_TRUE(receiver && sender);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(sendOnSocket(*sender, SendBuffer::owned("datagram " + std::to_string(i)),
                               loopbackAddress(), receiver->boundPort()),
                  kSendDone);
    }
    // Loopback delivery is immediate: all fifty wait in the queue before the pass.
    runOnePass(*chain, 1000);

    ASSERT_EQ(received.size(), 50u);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(received[i].bytes, "datagram " + std::to_string(i));
        EXPECT_EQ(received[i].address, loopbackAddress());
        EXPECT_EQ(received[i].port, sender->boundPort());
    }
}

TEST_F(AsyncUdpSocketTest, AnEmptyDatagramDoesNotEndReception) {
    AsyncUdpSocket* receiver = bindLoopback();
    AsyncUdpSocket* sender = bindLoopback();
    ASSERT_TRUE(receiver && sender);
    EXPECT_EQ(
        sendOnSocket(*sender, SendBuffer::copied(""), loopbackAddress(), receiver->boundPort()),
        kSendDone);
    runPasses(*chain, 2);
    EXPECT_EQ(sendOnSocket(*sender, SendBuffer::copied("after"), loopbackAddress(),
                           receiver->boundPort()),
              kSendDone);
    ASSERT_TRUE(runUntil(*chain, [&] { return !received.empty(); }));

    EXPECT_FALSE(receiver->isFree());
    EXPECT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].bytes, "after");
}

TEST_F(AsyncUdpSocketTest, AFailedDatagramIsDroppedWithoutClosingTheSocket) {
    AsyncUdpSocket* sender = bindLoopback();
    ASSERT_NE(sender, nullptr);
    // Port 0 is refused by the system before anything is sent.
    const int result = sendOnSocket(*sender, SendBuffer::copied("nowhere"), loopbackAddress(), 0);
    EXPECT_EQ(result, kSendClosed);
    runPasses(*chain, 2);
    EXPECT_FALSE(sender->isFree());
}

TEST_F(AsyncUdpSocketTest, AnOversizedDatagramIsCutToTheBufferAndTheNextOneArrivesWhole) {
    AsyncUdpSocket* receiver = bindLoopback();
    AsyncUdpSocket* sender = bindLoopback();
    ASSERT_TRUE(receiver && sender);
    const std::string oversized(3 * 4096, 'o');
    EXPECT_EQ(sendOnSocket(*sender, SendBuffer::copied(oversized), loopbackAddress(),
                           receiver->boundPort()),
              kSendDone);
    EXPECT_EQ(
        sendOnSocket(*sender, SendBuffer::copied("next"), loopbackAddress(), receiver->boundPort()),
        kSendDone);
    ASSERT_TRUE(runUntil(*chain, [&] { return received.size() == 2; }));

    EXPECT_EQ(received[0].bytes, oversized.substr(0, 4096));  // the rest is discarded
    EXPECT_EQ(received[1].bytes, "next");
    EXPECT_FALSE(receiver->isFree());
}

TEST_F(AsyncUdpSocketTest, TheReceiveQueueCanBeEnlarged) {
    AsyncUdpSocket* socket = bindLoopback();
    ASSERT_NE(socket, nullptr);
    const int granted = setReceiveBufferSize(*socket, 2 << 20);
    EXPECT_GT(granted, 0);
    // Where the process may pass the system's limit (root in the test namespace) it gets it all.
    if (ds::test::inPrivateNetworkNamespace()) {
        EXPECT_GE(granted, 2 << 20);
    }
}

TEST_F(AsyncUdpSocketTest, MulticastJoinAndSendOnLoopback) {
    DS_REQUIRE_PRIVATE_NETNS();
    const uint32_t group = inet_addr("239.255.255.250");
    // A port of our own, so that other searches in the namespace do not reach this test.
    AsyncUdpSocket* listener = createAsyncUdpSocket(*chain, 4096, 0, 50000, 65500, true, collect());
    AsyncUdpSocket* sender = bindLoopback();
    ASSERT_TRUE(listener && sender);

    EXPECT_EQ(joinGroup(*listener, loopbackAddress(), group), 0);
    EXPECT_EQ(listener->localAddress(), loopbackAddress());
    EXPECT_EQ(setMulticastInterface(*sender, loopbackAddress()), 0);
    EXPECT_EQ(setMulticastTtl(*sender, 4), 0);
    EXPECT_EQ(sendOnSocket(*sender, SendBuffer::copied("M-SEARCH"), group, listener->boundPort()),
              kSendDone);
    ASSERT_TRUE(runUntil(*chain, [&] { return !received.empty(); }));
    EXPECT_EQ(received[0].bytes, "M-SEARCH");
    EXPECT_EQ(received[0].address, loopbackAddress());
    EXPECT_EQ(received[0].port, sender->boundPort());

    // A second join on the same interface fails and forgets the interface.
    EXPECT_EQ(joinGroup(*listener, loopbackAddress(), group), -1);
    EXPECT_EQ(listener->localAddress(), 0u);
}

TEST_F(AsyncUdpSocketTest, SelectingAnInterfaceThatIsNotLocalFails) {
    DS_REQUIRE_PRIVATE_NETNS();
    AsyncUdpSocket* sender = bindLoopback();
    ASSERT_NE(sender, nullptr);
    EXPECT_EQ(setMulticastInterface(*sender, inet_addr("10.255.0.1")), -1);
}

}  // namespace
}  // namespace upnp
