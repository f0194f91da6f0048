#include "upnp/async_socket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "chain_test_support.h"
#include "socket_test_support.h"
#include "upnp/lifetime_monitor.h"
#include "upnp/random_port.h"

namespace upnp {
namespace {

using test::acceptPeer;
using test::Fd;
using test::listenOnLoopback;
using test::loopbackAddress;
using test::readBytes;
using test::runPasses;
using test::runUntil;
using test::Watchdog;
using test::writeAll;

// Records the callbacks of one socket; `consume` decides how much of each offer is used.
struct Recorder {
    std::vector<std::string> offers;
    std::vector<bool> connects;
    int disconnects = 0;
    int sendOKs = 0;
    int interrupts = 0;
    std::string received;
    std::function<size_t(AsyncSocket&, std::string_view, int&)> consume =
        [](AsyncSocket&, std::string_view bytes, int&) { return bytes.size(); };

    AsyncSocket::Callbacks callbacks() {
        return {
            .onData =
                [this](AsyncSocket& socket, std::string_view bytes, size_t& consumed, int& pause) {
                    offers.emplace_back(bytes);
                    consumed = consume(socket, bytes, pause);
                    received.append(bytes.substr(0, consumed));
                },
            .onConnect = [this](AsyncSocket&, bool success) { connects.push_back(success); },
            .onDisconnect = [this](AsyncSocket&) { ++disconnects; },
            .onSendOK = [this](AsyncSocket&) { ++sendOKs; },
        };
    }
    AsyncSocket::OnEvent interrupt() {
        return [this](AsyncSocket&) { ++interrupts; };
    }
};

class AsyncSocketTest : public ::testing::Test {
  protected:
    Watchdog watchdog;
    ManualClock clock;
    Recorder recorder;
    std::unique_ptr<Chain> chain = createChain(clock);
    AsyncSocket& socket = createAsyncSocket(*chain, 1024, recorder.callbacks());
    Fd listener = listenOnLoopback();
    Fd peer;

    // Connects `socket` to the listener and accepts the peer end.
    void connectToPeer() {
        connectSocket(socket, 0, loopbackAddress(), test::boundPort(listener.get()),
                      recorder.interrupt());
        ASSERT_TRUE(runUntil(*chain, [&] { return !recorder.connects.empty(); }));
        ASSERT_EQ(recorder.connects, std::vector<bool>{true});
        peer = acceptPeer(listener.get());
        ASSERT_GE(peer.get(), 0);
    }
};

TEST_F(AsyncSocketTest, ConnectsFromARandomPortOfTheOutgoingRange) {
    connectToPeer();
    EXPECT_FALSE(socket.isFree());
    EXPECT_EQ(socket.localAddress(), loopbackAddress());
    const uint16_t localPort = test::boundPort(socket.handle());
    EXPECT_GE(localPort, kRandomPortLowest);
    EXPECT_LT(localPort, kRandomPortHighest);
    EXPECT_EQ(socket.remoteAddress(), loopbackAddress());
    EXPECT_EQ(socket.remotePort(), test::boundPort(listener.get()));
}

TEST_F(AsyncSocketTest, ARefusedConnectIsReportedAsFailure) {
    const uint16_t closedPort = test::boundPort(listener.get());
    listener.reset();
    connectSocket(socket, 0, loopbackAddress(), closedPort);
    ASSERT_TRUE(runUntil(*chain, [&] { return !recorder.connects.empty(); }));
    EXPECT_EQ(recorder.connects, std::vector<bool>{false});
    EXPECT_TRUE(socket.isFree());
    EXPECT_EQ(recorder.disconnects, 0);
}

// A connect to a listener whose backlog is full is never answered: its SYNs are dropped.
TEST_F(AsyncSocketTest, AConnectThatIsNeverAnsweredTimesOutAfter30Seconds) {
    Fd full = listenOnLoopback(0);
    const uint16_t port = test::boundPort(full.get());
    std::vector<Fd> fillers;
    for (int i = 0; i < 2; ++i) {
        Fd filler(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        sockaddr_in target{AF_INET, htons(port), {loopbackAddress()}, {}};
        ::connect(filler.get(), reinterpret_cast<sockaddr*>(&target), sizeof target);
        fillers.push_back(std::move(filler));
    }
    connectSocket(socket, 0, loopbackAddress(), port);
    for (int i = 0; i < 10; ++i)
        runOnePass(*chain, 20);
    clock.advance(AsyncSocket::kConnectTimeoutMs);
    runPasses(*chain, 3);
    EXPECT_TRUE(recorder.connects.empty());  // due at 30 000 ms, fires once the clock is past

    clock.advance(1);
    runPasses(*chain, 1);
    EXPECT_EQ(recorder.connects, std::vector<bool>{false});
    EXPECT_TRUE(socket.isFree());
    runPasses(*chain, 3);
    EXPECT_EQ(recorder.connects.size(), 1u);
}

TEST_F(AsyncSocketTest, ASuccessfulConnectCancelsTheTimeOut) {
    connectToPeer();
    clock.advance(AsyncSocket::kConnectTimeoutMs + 1);
    runPasses(*chain, 2);
    EXPECT_EQ(recorder.connects, std::vector<bool>{true});
    EXPECT_FALSE(socket.isFree());
}

TEST_F(AsyncSocketTest, SendingOnAnIdleConnectionGoesOutAtOnceWithoutCallback) {
    connectToPeer();
    EXPECT_EQ(sendOnSocket(socket, SendBuffer::copied("0123456789")), kSendDone);
    runPasses(*chain, 3);
    EXPECT_EQ(recorder.sendOKs, 0);
    EXPECT_EQ(readBytes(peer.get(), 10), "0123456789");
    EXPECT_EQ(socket.bytesSent(), 10u);
    EXPECT_EQ(socket.pendingBytes(), 0u);
}

TEST_F(AsyncSocketTest, QueuedSendsGoOutInOrderAndEndWithOnSendOK) {
    connectToPeer();
    int small = 4096;
    ::setsockopt(socket.handle(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);

    // Fill the connection until a send has to be queued, then queue one more behind it.
    // Borrowed chunks (SendStatic) stay alive here until the queue has moved past them.
    std::string expected;
    std::vector<std::string> chunks;
    chunks.reserve(200);
    int result = kSendDone;
    for (int i = 0; i < 200 && result == kSendDone; ++i) {
        std::string& chunk = chunks.emplace_back(65536, '\0');
        for (size_t j = 0; j < chunk.size(); ++j)
            chunk[j] = static_cast<char>('a' + (i + j) % 26);
        expected += chunk;
        result = sendOnSocket(socket, SendBuffer::borrowed(chunk));
    }
    ASSERT_EQ(result, kSendQueued);
    std::string last = "tail of the queue";
    expected += last;
    EXPECT_EQ(sendOnSocket(socket, SendBuffer::copied(last)), kSendQueued);
    last.assign(last.size(), '#');  // SendCopy: the queued bytes are the socket's own copy
    EXPECT_GT(socket.pendingBytes(), 0u);
    EXPECT_EQ(recorder.sendOKs, 0);

    std::string got;
    std::thread reader([&] { got = readBytes(peer.get(), expected.size()); });
    const bool sentAll = runUntil(*chain, [&] { return recorder.sendOKs > 0; });
    reader.join();
    ASSERT_TRUE(sentAll);
    EXPECT_EQ(recorder.sendOKs, 1);
    EXPECT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected);
    EXPECT_EQ(socket.pendingBytes(), 0u);
    EXPECT_EQ(socket.bytesSent(), expected.size());
}

TEST_F(AsyncSocketTest, OwnedBuffersAreMovedIn) {
    connectToPeer();
    std::string bytes = "owned by the socket";
    EXPECT_EQ(sendOnSocket(socket, SendBuffer::owned(std::move(bytes))), kSendDone);
    EXPECT_EQ(readBytes(peer.get(), 19), "owned by the socket");
}

TEST_F(AsyncSocketTest, SendingOnAFreeSocketReportsClosed) {
    EXPECT_EQ(sendOnSocket(socket, SendBuffer::copied("x")), kSendClosed);
    EXPECT_EQ(sendOnSocket(socket, SendBuffer::owned("x")), kSendClosed);
}

TEST_F(AsyncSocketTest, UnconsumedBytesAreOfferedAgainFollowedByNewOnes) {
    connectToPeer();
    recorder.consume = [](AsyncSocket&, std::string_view bytes, int&) {
        return bytes.size() >= 6 ? bytes.size() : 0;  // waits for six bytes
    };
    ASSERT_TRUE(writeAll(peer.get(), "abc"));
    ASSERT_TRUE(runUntil(*chain, [&] { return recorder.offers.size() == 1; }));
    ASSERT_TRUE(writeAll(peer.get(), "def"));
    ASSERT_TRUE(runUntil(*chain, [&] { return recorder.offers.size() == 2; }));

    EXPECT_EQ(recorder.offers, (std::vector<std::string>{"abc", "abcdef"}));
    EXPECT_EQ(recorder.received, "abcdef");
}

TEST_F(AsyncSocketTest, TwoMessagesInOneReadAreOfferedOneAfterTheOther) {
    connectToPeer();
    // Consumes one line per call.
    recorder.consume = [](AsyncSocket&, std::string_view bytes, int&) {
        const size_t end = bytes.find('\n');
        return end == std::string_view::npos ? 0 : end + 1;
    };
    ASSERT_TRUE(writeAll(peer.get(), "one\ntwo\nthr"));
    ASSERT_TRUE(runUntil(*chain, [&] { return recorder.offers.size() >= 3; }));

    EXPECT_EQ(recorder.offers, (std::vector<std::string>{"one\ntwo\nthr", "two\nthr", "thr"}));
    EXPECT_EQ(recorder.received, "one\ntwo\n");
}

TEST_F(AsyncSocketTest, APausedSocketDeliversNothingUntilResumed) {
    connectToPeer();
    recorder.consume = [](AsyncSocket&, std::string_view, int& pause) {
        pause = 1;
        return size_t{0};
    };
    ASSERT_TRUE(writeAll(peer.get(), "held"));
    ASSERT_TRUE(runUntil(*chain, [&] { return recorder.offers.size() == 1; }));
    ASSERT_TRUE(writeAll(peer.get(), " back"));
    for (int i = 0; i < 5; ++i)
        runOnePass(*chain, 20);
    EXPECT_EQ(recorder.offers.size(), 1u);
    EXPECT_EQ(socket.pauseFlag(), 1);

    // The resumed pass offers the buffered bytes again without reading; the next read adds
    // the rest.
    recorder.consume = [](AsyncSocket&, std::string_view bytes, int&) { return bytes.size(); };
    resumeSocket(socket);
    runOnePass(*chain, 0);
    ASSERT_EQ(recorder.offers.size(), 2u);
    EXPECT_EQ(recorder.offers[1], "held");
    ASSERT_TRUE(runUntil(*chain, [&] { return recorder.received == "held back"; }));
    EXPECT_EQ(socket.pauseFlag(), 0);
}

TEST_F(AsyncSocketTest, ResumingAConnectingSocketChangesNothingUntilItIsConnected) {
    // Resuming used to make every pass skip its wait until the connect ended: a busy loop for
    // up to the whole connect time-out.
    connectSocket(socket, 0, loopbackAddress(), test::boundPort(listener.get()));
    resumeSocket(socket);
    SocketSets sets;
    int waitMs = 1000;
    socket.preSelect(sets, waitMs);
    EXPECT_EQ(waitMs, 1000);
    EXPECT_EQ(socket.pauseFlag(), 0);

    ASSERT_TRUE(runUntil(*chain, [&] { return !recorder.connects.empty(); }));
    EXPECT_EQ(recorder.connects, std::vector<bool>{true});
    EXPECT_EQ(socket.pauseFlag(), 0);
}

TEST_F(AsyncSocketTest, ANewConnectionNeverTakesTheReadinessOfASocketClosedInTheSamePass) {
    // The first socket's connect completes; its callback closes it and starts a connect on the
    // second socket, which gets the same descriptor number. That number was reported writable
    // for the first socket: the second one must judge its own connect in a later pass, and it
    // still has its time-out.
    const uint16_t port = test::boundPort(listener.get());
    Recorder second;
    AsyncSocket* next = nullptr;
    int firstNumber = -1;
    int secondNumber = -1;
    bool handedOver = false;
    AsyncSocket::Callbacks callbacks;
    callbacks.onConnect = [&](AsyncSocket& self, bool success) {
        ASSERT_TRUE(success);
        firstNumber = self.handle();
        disconnectSocket(self);
        connectSocket(*next, 0, loopbackAddress(), port);
        secondNumber = next->handle();
        handedOver = true;
    };
    AsyncSocket& first = createAsyncSocket(*chain, 1024, callbacks);
    next = &createAsyncSocket(*chain, 1024, second.callbacks());
    connectSocket(first, 0, loopbackAddress(), port);

    ASSERT_TRUE(runUntil(*chain, [&] { return handedOver; }));
    ASSERT_EQ(secondNumber, firstNumber);
    EXPECT_TRUE(second.connects.empty());  // not in the pass that closed the first socket
    EXPECT_EQ(chain->lifetimeMonitor().pendingCount(), 1u);  // the second one's time-out

    ASSERT_TRUE(runUntil(*chain, [&] { return !second.connects.empty(); }));
    EXPECT_EQ(second.connects, std::vector<bool>{true});
}

// Makes the peer end the connection with a reset instead of an orderly close.
void resetConnection(Fd& peer) {
    const linger abort{1, 0};
    ::setsockopt(peer.get(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    peer.reset();
}

TEST_F(AsyncSocketTest, AFailedSendClosesTheConnectionInTheNextPass) {
    connectToPeer();
    resetConnection(peer);
    EXPECT_EQ(sendOnSocket(socket, SendBuffer::copied("into a reset")), kSendClosed);
    EXPECT_EQ(recorder.disconnects, 0);  // never from inside the send

    clock.advance(1);
    ASSERT_TRUE(runUntil(*chain, [&] { return recorder.disconnects > 0; }));
    runPasses(*chain, 3);
    EXPECT_EQ(recorder.disconnects, 1);
    EXPECT_TRUE(socket.isFree());
}

TEST_F(AsyncSocketTest, AResetConnectionIsReportedOnceAsDisconnected) {
    // The reset sets an error on the socket (POLLERR, with POLLHUP).
    connectToPeer();
    resetConnection(peer);
    ASSERT_TRUE(runUntil(*chain, [&] { return recorder.disconnects > 0; }));
    runPasses(*chain, 3);
    EXPECT_EQ(recorder.disconnects, 1);
    EXPECT_TRUE(recorder.offers.empty());
    EXPECT_TRUE(socket.isFree());
    EXPECT_EQ(sendOnSocket(socket, SendBuffer::copied("x")), kSendClosed);
}

TEST_F(AsyncSocketTest, ASendBeforeTheConnectCompletesGoesOutOnceConnected) {
    connectSocket(socket, 0, loopbackAddress(), test::boundPort(listener.get()));
    EXPECT_EQ(sendOnSocket(socket, SendBuffer::copied("early bytes")), kSendQueued);
    EXPECT_EQ(socket.pendingBytes(), 11u);

    ASSERT_TRUE(runUntil(*chain, [&] { return recorder.sendOKs > 0; }));
    EXPECT_EQ(recorder.connects, std::vector<bool>{true});
    peer = acceptPeer(listener.get());
    EXPECT_EQ(readBytes(peer.get(), 11), "early bytes");
    EXPECT_EQ(socket.pendingBytes(), 0u);
    EXPECT_EQ(socket.bytesSent(), 11u);
}

TEST_F(AsyncSocketTest, AConnectWhoseLocalBindFailsIsReportedInALaterPass) {
    // 192.0.2.1 (a documentation address) is no address of this host: the bind is refused.
    connectSocket(socket, inet_addr("192.0.2.1"), loopbackAddress(),
                  test::boundPort(listener.get()));
    EXPECT_TRUE(recorder.connects.empty());  // never from inside connectSocket
    EXPECT_TRUE(socket.isFree());

    clock.advance(1);
    runPasses(*chain, 2);
    EXPECT_EQ(recorder.connects, std::vector<bool>{false});
    EXPECT_EQ(recorder.disconnects, 0);
    clock.advance(AsyncSocket::kConnectTimeoutMs + 1);
    runPasses(*chain, 2);
    EXPECT_EQ(recorder.connects.size(), 1u);
}

TEST_F(AsyncSocketTest, APeerThatClosesIsReportedOnce) {
    connectToPeer();
    peer.reset();
    ASSERT_TRUE(runUntil(*chain, [&] { return recorder.disconnects > 0; }));
    runPasses(*chain, 3);
    EXPECT_EQ(recorder.disconnects, 1);
    EXPECT_TRUE(socket.isFree());
}

TEST_F(AsyncSocketTest, DisconnectClosesAndReportsOnceOnly) {
    connectToPeer();
    disconnectSocket(socket);
    disconnectSocket(socket);
    EXPECT_EQ(recorder.disconnects, 1);
    EXPECT_TRUE(socket.isFree());
    EXPECT_EQ(readBytes(peer.get(), 1), "");  // the peer sees the end of the connection
}

TEST_F(AsyncSocketTest, ACallbackMayDisconnectItsOwnSocket) {
    connectToPeer();
    recorder.consume = [](AsyncSocket& self, std::string_view, int&) {
        disconnectSocket(self);
        return size_t{1};
    };
    ASSERT_TRUE(writeAll(peer.get(), "first\nsecond\n"));
    ASSERT_TRUE(runUntil(*chain, [&] { return recorder.disconnects > 0; }));
    runPasses(*chain, 3);

    EXPECT_EQ(recorder.offers.size(), 1u);  // nothing is offered after the close
    EXPECT_EQ(recorder.disconnects, 1);
    EXPECT_TRUE(socket.isFree());
}

TEST_F(AsyncSocketTest, ACallbackMayReconnectItsOwnSocket) {
    connectToPeer();
    const uint16_t port = test::boundPort(listener.get());
    recorder.consume = [&](AsyncSocket& self, std::string_view bytes, int&) {
        disconnectSocket(self);
        connectSocket(self, 0, loopbackAddress(), port);
        return bytes.size();
    };
    ASSERT_TRUE(writeAll(peer.get(), "again"));
    ASSERT_TRUE(runUntil(*chain, [&] { return recorder.connects.size() == 2; }));
    EXPECT_EQ(recorder.connects, (std::vector<bool>{true, true}));
    EXPECT_EQ(recorder.disconnects, 1);
    Fd second = acceptPeer(listener.get());
    EXPECT_EQ(sendOnSocket(socket, SendBuffer::copied("new")), kSendDone);
    EXPECT_EQ(readBytes(second.get(), 3), "new");
}

TEST_F(AsyncSocketTest, ACallbackMayRemoveItsOwnSocketFromTheChain) {
    connectToPeer();
    recorder.consume = [&](AsyncSocket& self, std::string_view bytes, int&) {
        removeFromChain(*chain, self);
        return bytes.size();
    };
    ASSERT_TRUE(writeAll(peer.get(), "bye"));
    ASSERT_TRUE(runUntil(*chain, [&] { return !recorder.offers.empty(); }));
    runPasses(*chain, 3);
    // Destroyed at the end of that pass while still open.
    EXPECT_EQ(recorder.interrupts, 1);
    EXPECT_EQ(readBytes(peer.get(), 1), "");
}

TEST_F(AsyncSocketTest, APeerThatOverrunsTheBufferCapIsDisconnected) {
    socket.setMaxBufferSize(8192);
    connectToPeer();
    size_t largestOffer = 0;
    recorder.consume = [&](AsyncSocket&, std::string_view bytes, int&) {
        largestOffer = std::max(largestOffer, bytes.size());
        return size_t{0};  // a consumer that never finds the end of its message
    };
    const int peerFd = peer.get();
    std::thread writer([peerFd] { writeAll(peerFd, std::string(65536, 'x')); });
    const bool closed = runUntil(*chain, [&] { return recorder.disconnects > 0; });
    ::shutdown(peerFd, SHUT_RDWR);  // lets the writer finish
    writer.join();
    ASSERT_TRUE(closed);
    EXPECT_EQ(recorder.disconnects, 1);
    EXPECT_EQ(largestOffer, 8192u);
    EXPECT_TRUE(socket.isFree());
}

TEST_F(AsyncSocketTest, TheBufferGrowsInStepsWhileBytesStayUnconsumed) {
    connectToPeer();
    recorder.consume = [](AsyncSocket&, std::string_view bytes, int&) {
        return bytes.size() >= 10000 ? bytes.size() : 0;
    };
    ASSERT_TRUE(writeAll(peer.get(), std::string(10000, 'y')));
    ASSERT_TRUE(runUntil(*chain, [&] { return recorder.received.size() == 10000; }));
    EXPECT_GE(socket.bufferSize(), 10000u);
    EXPECT_EQ((socket.bufferSize() - 1024) % AsyncSocket::kBufferStep, 0u);
}

TEST_F(AsyncSocketTest, TheEndOfTheChainInterruptsOpenSockets) {
    connectToPeer();
    stopChain(*chain);
    startChain(*chain);
    EXPECT_EQ(recorder.interrupts, 1);
    EXPECT_EQ(recorder.disconnects, 0);
}

TEST_F(AsyncSocketTest, DisconnectFromAnotherThreadIsReportedOnTheChainThread) {
    connectToPeer();
    std::thread::id reportedOn;
    AsyncSocket::Callbacks callbacks;
    callbacks.onDisconnect = [&](AsyncSocket&) { reportedOn = std::this_thread::get_id(); };
    AsyncSocket& other = createAsyncSocket(*chain, 1024, callbacks);
    connectSocket(other, 0, loopbackAddress(), test::boundPort(listener.get()));
    ASSERT_TRUE(runUntil(*chain, [&] { return other.localAddress() != 0 && !other.isFree(); }));
    runPasses(*chain, 2);

    std::thread([&] { disconnectSocket(other); }).join();
    clock.advance(1);
    ASSERT_TRUE(runUntil(*chain, [&] { return other.isFree(); }));
    EXPECT_EQ(reportedOn, std::this_thread::get_id());
}

}  // namespace
}  // namespace upnp
