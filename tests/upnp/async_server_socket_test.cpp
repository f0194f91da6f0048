#include "upnp/async_server_socket.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <string>
#include <vector>

#include "chain_test_support.h"
#include "platform/trace.h"
#include "socket_test_support.h"
#include "upnp/random_port.h"

namespace upnp {
namespace {

using test::connectPeer;
using test::Fd;
using test::listenOnLoopback;
using test::loopbackAddress;
using test::readBytes;
using test::runPasses;
using test::runUntil;
using test::Watchdog;
using test::writeAll;

class AsyncServerSocketTest : public ::testing::Test {
  protected:
    Watchdog watchdog;
    ManualClock clock;
    // Declared before the chain: the chain's end still reports into them.
    std::vector<size_t> connected;  // session index per accepted connection
    std::vector<size_t> disconnected;
    std::vector<size_t> interrupted;
    std::vector<uint16_t> peerPorts;
    std::unique_ptr<Chain> chain = createChain(clock);

    AsyncServerSocket& makeServer(size_t sessions, uint16_t port = 0) {
        AsyncServerSocket::Callbacks callbacks;
        callbacks.onConnect = [this](AsyncServerSocket& server, AsyncSocket& session) {
            connected.push_back(server.sessionIndex(session));
            EXPECT_EQ(session.remoteAddress(), loopbackAddress());
            peerPorts.push_back(session.remotePort());
        };
        callbacks.onDisconnect = [this](AsyncServerSocket& server, AsyncSocket& session) {
            disconnected.push_back(server.sessionIndex(session));
        };
        callbacks.onInterrupt = [this](AsyncServerSocket& server, AsyncSocket& session) {
            interrupted.push_back(server.sessionIndex(session));
        };
        // Echoes every complete line back.
        callbacks.onReceive = [](AsyncServerSocket&, AsyncSocket& session, std::string_view bytes,
                                 size_t& consumed, int&) {
            const size_t end = bytes.find('\n');
            if (end == std::string_view::npos)
                return;
            consumed = end + 1;
            EXPECT_EQ(sendOnSocket(session, SendBuffer::copied(bytes.substr(0, consumed))),
                      kSendDone);
        };
        return createAsyncServerSocket(*chain, sessions, port, 1024, callbacks, loopbackAddress());
    }
};

TEST_F(AsyncServerSocketTest, PortZeroBindsARandomPortOfTheRange) {
    AsyncServerSocket& server = makeServer(2);
    EXPECT_GE(server.port(), kRandomPortLowest);
    EXPECT_LT(server.port(), kRandomPortHighest);
    EXPECT_EQ(server.maxConnections(), 2u);
}

TEST_F(AsyncServerSocketTest, AGivenPortThatIsTakenIsRecordedAsZero) {
    Fd taken = listenOnLoopback();
    AsyncServerSocket& server = makeServer(1, test::boundPort(taken.get()));
    EXPECT_EQ(server.port(), 0);
    runPasses(*chain, 2);
    EXPECT_TRUE(connected.empty());
}

TEST_F(AsyncServerSocketTest, SessionsServeTheirOwnConnections) {
    AsyncServerSocket& server = makeServer(2);
    runPasses(*chain, 1);  // starts listening
    Fd first = connectPeer(server.port());
    Fd second = connectPeer(server.port());
    ASSERT_TRUE(runUntil(*chain, [&] { return connected.size() == 2; }));
    EXPECT_EQ(connected, (std::vector<size_t>{0, 1}));
    EXPECT_EQ(peerPorts[0], test::boundPort(first.get()));

    ASSERT_TRUE(writeAll(second.get(), "to two\n"));
    ASSERT_TRUE(writeAll(first.get(), "to one\n"));
    ASSERT_TRUE(runUntil(*chain, [&] {
        return server.session(0).bytesSent() == 7 && server.session(1).bytesSent() == 7;
    }));
    EXPECT_EQ(readBytes(first.get(), 7), "to one\n");
    EXPECT_EQ(readBytes(second.get(), 7), "to two\n");
}

TEST_F(AsyncServerSocketTest, ConnectionsBeyondThePoolWaitUntilASessionIsFree) {
    AsyncServerSocket& server = makeServer(2);
    runPasses(*chain, 1);
    Fd first = connectPeer(server.port());
    Fd second = connectPeer(server.port());
    Fd third = connectPeer(server.port());  // completes in the backlog
    ASSERT_GE(third.get(), 0);
    ASSERT_TRUE(runUntil(*chain, [&] { return connected.size() == 2; }));
    for (int i = 0; i < 5; ++i)
        runOnePass(*chain, 20);
    EXPECT_EQ(connected.size(), 2u);

    first.reset();
    ASSERT_TRUE(runUntil(*chain, [&] { return connected.size() == 3; }));
    EXPECT_EQ(disconnected, std::vector<size_t>{0});
    EXPECT_EQ(connected[2], 0u);  // the freed session takes the waiting connection
    EXPECT_EQ(peerPorts[2], test::boundPort(third.get()));
}

// Lowers the process's descriptor limit to the lowest free descriptor number while it lives, so
// that the next descriptor the process asks for is refused with EMFILE.
class NoFreeDescriptors {
  public:
    NoFreeDescriptors() {
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        const int lowestFree = ::dup(0);
        ::close(lowestFree);
        rlimit tight = saved_;
        tight.rlim_cur = static_cast<rlim_t>(lowestFree);
        ::setrlimit(RLIMIT_NOFILE, &tight);
    }
    ~NoFreeDescriptors() { ::setrlimit(RLIMIT_NOFILE, &saved_); }

  private:
    rlimit saved_{};
};

TEST_F(AsyncServerSocketTest, AcceptWithoutFreeDescriptorsBacksOffInsteadOfSpinning) {
    // The waiting connection keeps the listening socket readable; waiting on it again at once
    // turned every pass into a busy loop.
    platform::TraceCapture trace;
    AsyncServerSocket& server = makeServer(2);
    runPasses(*chain, 1);  // starts listening
    Fd peer = connectPeer(server.port());
    ASSERT_GE(peer.get(), 0);

    std::vector<int> waits;
    {
        // The undefined-behaviour checker of sanitized builds opens a pipe the first time it
        // checks a call on each type: make the loop's calls once while descriptors are free.
        SocketSets warmSets;
        int warmWaitMs = Chain::kWaitBudgetMs;
        server.preSelect(warmSets, warmWaitMs);
        clock.advance(0);
        NoFreeDescriptors limit;
        for (int round = 0; round < 6; ++round) {
            runOnePass(*chain, 1000);  // the listener is readable: accept fails
            SocketSets sets;
            int waitMs = Chain::kWaitBudgetMs;
            server.preSelect(sets, waitMs);
            EXPECT_TRUE(sets.read.empty());
            waits.push_back(waitMs);
            EXPECT_EQ(runOnePass(*chain, 0), 0);  // nothing is waited on, nothing is ready
            clock.advance(waitMs);
        }
    }
    EXPECT_EQ(waits, (std::vector<int>{100, 200, 400, 800, 1000, 1000}));
    EXPECT_TRUE(connected.empty());
    size_t traced = 0;
    for (const std::string& line : trace.lines())
        traced += line.find("AsyncServerSocket::accept") != std::string::npos ? 1 : 0;
    EXPECT_EQ(traced, 1u);

    // Descriptors are back: the connection that waited is accepted.
    ASSERT_TRUE(runUntil(*chain, [&] { return connected.size() == 1; }));
    EXPECT_EQ(peerPorts[0], test::boundPort(peer.get()));
}

TEST_F(AsyncServerSocketTest, AListenThatFailsLeavesTheServerQuiet) {
    // Another socket takes the port between our bind and our listen (both bound with address
    // reuse, which Linux allows while neither listens): our listen fails and the server gives up
    // its socket instead of waiting on a handle that can never be readable.
    Fd rival(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int on = 1;
    ::setsockopt(rival.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = loopbackAddress();
    ASSERT_EQ(::bind(rival.get(), reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    const uint16_t port = test::boundPort(rival.get());
    AsyncServerSocket& server = makeServer(1, port);
    ASSERT_EQ(server.port(), port);
    ASSERT_EQ(::listen(rival.get(), 4), 0);

    runPasses(*chain, 2);
    SocketSets sets;
    int waitMs = Chain::kWaitBudgetMs;
    server.preSelect(sets, waitMs);
    EXPECT_TRUE(sets.read.empty());
    Fd peer = connectPeer(port);  // reaches the rival
    ASSERT_GE(peer.get(), 0);
    runPasses(*chain, 3);
    EXPECT_TRUE(connected.empty());
}

TEST_F(AsyncServerSocketTest, TheEndOfTheChainInterruptsOpenSessions) {
    AsyncServerSocket& server = makeServer(3);
    runPasses(*chain, 1);
    Fd first = connectPeer(server.port());
    ASSERT_TRUE(runUntil(*chain, [&] { return connected.size() == 1; }));

    stopChain(*chain);
    startChain(*chain);

    EXPECT_EQ(interrupted, std::vector<size_t>{0});
    EXPECT_TRUE(disconnected.empty());
    EXPECT_EQ(readBytes(first.get(), 1), "");
}

}  // namespace
}  // namespace upnp
