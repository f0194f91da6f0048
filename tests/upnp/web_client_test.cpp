#include "upnp/web_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/upnp/chain_test_support.h"
#include "tests/upnp/socket_test_support.h"
#include "upnp/lifetime_monitor.h"

namespace upnp {
namespace {

using test::Fd;

struct Call {
    bool hasConnection;
    int code;
    int status;  // -1: no head
    std::string body;
    bool done;
    uint32_t localAddress = 0;
    uint16_t remotePort = 0;
};

// Records every delivery of one request; consumes what it is offered when told to. The record
// outlives the test's locals: a client ended with the chain still reports to its callbacks.
struct Recorder {
    struct State {
        std::vector<Call> calls;
        bool consume = false;
    };
    std::shared_ptr<State> state = std::make_shared<State>();
    std::vector<Call>& calls = state->calls;
    bool& consume = state->consume;

    WebResponseCallback callback() {
        return [state = state](ConnectionRecord* connection, int code, const HttpPacket* head,
                               std::string_view body, size_t& consumed, bool done, int&) {
            state->calls.push_back(Call{connection != nullptr, code, head ? head->statusCode : -1,
                                        std::string(body), done, head ? head->localAddress : 0u,
                                        head ? head->remotePort : uint16_t{0}});
            if (state->consume)
                consumed = body.size();
        };
    }
    bool finished() const { return !calls.empty() && calls.back().done; }
};

void makeNonBlocking(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// A scripted server on 127.0.0.1: the test accepts, reads and writes exact bytes between passes
// of the chain, so every piece arrives in a read of its own.
class ScriptedServer {
  public:
    // On 127.0.0.1, or on another loopback address (network byte order).
    explicit ScriptedServer(uint32_t address = test::loopbackAddress())
        : listener_(test::listenOnLoopback(8, address)), address_(address) {
        makeNonBlocking(listener_.get());
        port_ = test::boundPort(listener_.get());
    }
    uint16_t port() const { return port_; }
    uint32_t address() const { return address_; }

    // A connection that has arrived, or an empty Fd.
    Fd tryAccept() {
        Fd fd(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        return fd;
    }
    Fd acceptWhileRunning(Chain& chain) {
        Fd fd;
        test::runUntil(chain, [&] {
            fd = tryAccept();
            return fd.get() >= 0;
        });
        return fd;
    }

  private:
    Fd listener_;
    uint32_t address_ = 0;
    uint16_t port_ = 0;
};

// 127.0.3.`n`, network byte order.
uint32_t loopbackHost(int n) {
    return htonl(0x7F000300u + static_cast<uint32_t>(n));
}

// Reads one request head from `fd` (non-blocking) while the chain runs.
std::string readRequest(Chain& chain, int fd) {
    std::string got;
    test::runUntil(chain, [&] {
        char chunk[4096];
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n > 0)
            got.append(chunk, static_cast<size_t>(n));
        return got.find("\r\n\r\n") != std::string::npos;
    });
    return got;
}

// True once the client closed `fd` (reads end of stream) while the chain runs.
bool closedByClient(Chain& chain, int fd) {
    return test::runUntil(chain, [&] {
        char chunk[4096];
        return ::recv(fd, chunk, sizeof chunk, 0) == 0;
    });
}

void send(int fd, const std::string& bytes) {
    ASSERT_TRUE(test::writeAll(fd, bytes));
}

std::string getRequest(uint16_t port, std::string_view method = "GET") {
    return packetToString(*createRequestPacket("127.0.0.1", port, "/desc.xml", method));
}

class WebClientTest : public ::testing::Test {
  protected:
    RequestToken get(uint16_t port, Recorder& recorder, std::string_view method = "GET") {
        return webRequest(*client, test::loopbackAddress(), port,
                          SendBuffer::owned(getRequest(port, method)), SendBuffer::owned({}),
                          recorder.callback());
    }
    RequestToken get(const ScriptedServer& server, Recorder& recorder) {
        return webRequest(*client, server.address(), server.port(),
                          SendBuffer::owned(getRequest(server.port())), SendBuffer::owned({}),
                          recorder.callback());
    }
    // Advances the clock past a timer of `ms` and runs passes until `condition` holds.
    bool advanceUntil(int64_t ms, const std::function<bool()>& condition) {
        clock.advance(ms + 1);
        return test::runUntil(*chain, condition);
    }

    test::Watchdog watchdog{std::chrono::seconds(60)};
    ManualClock clock;
    std::unique_ptr<Chain> chain = createChain(clock);
    WebClient* client = &createWebClient(*chain, 5);
};

TEST_F(WebClientTest, ConnectionKeyForm) {
    EXPECT_EQ(connectionKey(test::loopbackAddress(), 8080), "127.0.0.1:8080:0");
    EXPECT_EQ(connectionKey(0xffffffffu, 65535), "255.255.255.255:65535:0");
}

TEST_F(WebClientTest, ContentLengthInThreeReads) {
    ScriptedServer server;
    Recorder recorder;
    get(server.port(), recorder);
    Fd peer = server.acceptWhileRunning(*chain);
    const std::string request = readRequest(*chain, peer.get());
    EXPECT_EQ(request.rfind("GET /desc.xml HTTP/1.1\r\n", 0), 0u) << request;

    send(peer.get(), "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + std::string(300, 'a'));
    ASSERT_TRUE(test::runUntil(*chain, [&] { return recorder.calls.size() == 1; }));
    send(peer.get(), std::string(350, 'b'));
    ASSERT_TRUE(test::runUntil(*chain, [&] { return recorder.calls.size() == 2; }));
    send(peer.get(), std::string(350, 'c'));
    ASSERT_TRUE(test::runUntil(*chain, [&] { return recorder.calls.size() == 3; }));

    const std::vector<std::pair<size_t, bool>> expected = {
        {300, false}, {650, false}, {1000, true}};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(recorder.calls[i].body.size(), expected[i].first) << i;
        EXPECT_EQ(recorder.calls[i].done, expected[i].second) << i;
        EXPECT_EQ(recorder.calls[i].status, 200);
        EXPECT_EQ(recorder.calls[i].code, kWebInterruptNone);
    }
    // The head carries both ends of the connection.
    EXPECT_EQ(recorder.calls[2].localAddress, test::loopbackAddress());
    EXPECT_EQ(recorder.calls[2].remotePort, server.port());
    EXPECT_EQ(recorder.calls[2].body,
              std::string(300, 'a') + std::string(350, 'b') + std::string(350, 'c'));
}

// Responses sent in pieces and the calls they produce.
TEST_F(WebClientTest, FramingCases) {
    struct Case {
        const char* name;
        std::vector<std::string> pieces;
        bool serverCloses;
        std::vector<std::pair<std::string, bool>> calls;  // body, done
        std::string_view method = "GET";
    };
    const Case cases[] = {
        {"1.1 without length", {"HTTP/1.1 200 OK\r\nServer: x\r\n\r\n"}, false, {{"", true}}},
        {"1.0 until close",
         {"HTTP/1.0 200 OK\r\n\r\nabc", "def"},
         true,
         {{"abc", false}, {"abcdef", false}, {"abcdef", true}}},
        {"100 Continue",
         {"HTTP/1.1 100 Continue\r\n\r\n", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"},
         false,
         {{"ok", true}}},
        {"two chunks, never consumed",
         {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n", "6\r\n world\r\n",
          "0\r\n\r\n"},
         false,
         {{"hello", false}, {"hello world", false}, {"hello world", true}}},
        {"204", {"HTTP/1.1 204 No Content\r\nContent-Length: 10\r\n\r\n"}, false, {{"", true}}},
        {"HEAD", {"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n"}, false, {{"", true}}, "HEAD"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        Recorder recorder;
        get(server.port(), recorder, c.method);
        Fd peer = server.acceptWhileRunning(*chain);
        readRequest(*chain, peer.get());
        for (const std::string& piece : c.pieces) {
            const size_t before = recorder.calls.size();
            send(peer.get(), piece);
            test::runUntil(
                *chain, [&] { return recorder.calls.size() > before || recorder.finished(); },
                std::chrono::milliseconds(300));
        }
        if (c.serverCloses)
            peer.reset();
        ASSERT_TRUE(test::runUntil(*chain, [&] { return recorder.finished(); }));
        ASSERT_EQ(recorder.calls.size(), c.calls.size());
        for (size_t i = 0; i < c.calls.size(); ++i) {
            EXPECT_EQ(recorder.calls[i].body, c.calls[i].first) << i;
            EXPECT_EQ(recorder.calls[i].done, c.calls[i].second) << i;
            EXPECT_EQ(recorder.calls[i].status, 200 + (std::string_view(c.name) == "204" ? 4 : 0));
        }
    }
}

TEST_F(WebClientTest, KeepAliveReuseThenNewConnectionAfterIdleTimeOut) {
    ScriptedServer server;
    Recorder first, second, third;
    get(server.port(), first);
    get(server.port(), second);
    Fd peer = server.acceptWhileRunning(*chain);
    readRequest(*chain, peer.get());
    send(peer.get(), "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n1");
    readRequest(*chain, peer.get());  // the second request on the same connection
    send(peer.get(), "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n2");
    ASSERT_TRUE(test::runUntil(*chain, [&] { return second.finished(); }));
    EXPECT_EQ(first.calls.back().body, "1");
    EXPECT_EQ(second.calls.back().body, "2");
    EXPECT_LT(server.tryAccept().get(), 0);  // no second connection
    EXPECT_EQ(client->connectsStarted(), 1u);

    // 4 s later: the idle connection was closed and the record parked.
    clock.advance(4000);
    EXPECT_TRUE(closedByClient(*chain, peer.get()));
    EXPECT_EQ(client->parkedCount(), 1u);

    webRequestPacket(*client, test::loopbackAddress(), server.port(),
                     createRequestPacket("127.0.0.1", server.port(), "/third.xml", "GET"),
                     third.callback());
    Fd again = server.acceptWhileRunning(*chain);
    ASSERT_GE(again.get(), 0);
    EXPECT_EQ(readRequest(*chain, again.get()).rfind("GET /third.xml HTTP/1.1\r\n", 0), 0u);
    send(again.get(), "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n3");
    ASSERT_TRUE(test::runUntil(*chain, [&] { return third.finished(); }));
    EXPECT_EQ(third.calls.back().body, "3");
    EXPECT_EQ(client->connectsStarted(), 2u);
    EXPECT_EQ(client->parkedCount(), 0u);
    EXPECT_EQ(client->connectionCount(), 1u);
}

TEST_F(WebClientTest, SixServersOnAPoolOfFive) {
    std::vector<std::unique_ptr<ScriptedServer>> servers;
    std::vector<Recorder> recorders(6);
    for (int i = 0; i < 6; ++i) {
        servers.push_back(std::make_unique<ScriptedServer>(loopbackHost(1 + i)));
        get(*servers.back(), recorders[static_cast<size_t>(i)]);
    }
    std::vector<Fd> peers;
    for (int i = 0; i < 5; ++i)
        peers.push_back(servers[static_cast<size_t>(i)]->acceptWhileRunning(*chain));
    test::runPasses(*chain, 5);
    EXPECT_EQ(client->connectsStarted(), 5u);
    EXPECT_EQ(client->backlogCount(), 1u);
    EXPECT_LT(servers[5]->tryAccept().get(), 0);

    // The first server answers; its connection idles out and frees a pool socket.
    readRequest(*chain, peers[0].get());
    send(peers[0].get(), "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    ASSERT_TRUE(test::runUntil(*chain, [&] { return recorders[0].finished(); }));
    clock.advance(WebClient::kIdleTimeoutMs + 1);
    Fd sixth = servers[5]->acceptWhileRunning(*chain);
    ASSERT_GE(sixth.get(), 0);
    readRequest(*chain, sixth.get());
    send(sixth.get(), "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n#6");
    ASSERT_TRUE(test::runUntil(*chain, [&] { return recorders[5].finished(); }));
    EXPECT_EQ(recorders[5].calls.back().body, "#6");
    EXPECT_EQ(client->connectsStarted(), 6u);
}

TEST_F(WebClientTest, RefusingServerGetsSixConnectsThenCodeFive) {
    uint16_t port = 0;
    {
        ScriptedServer closed;  // a port nobody listens on any more
        port = closed.port();
    }
    Recorder recorder;
    get(port, recorder);
    // Steps of 100 ms on the injected clock; note the clock at each connect.
    std::vector<int64_t> connectTimes;
    for (int step = 0; step < 400 && !recorder.finished(); ++step) {
        runOnePass(*chain, 2);
        while (connectTimes.size() < client->connectsStarted())
            connectTimes.push_back(clock.nowMs());
        clock.advance(100);
    }
    ASSERT_TRUE(recorder.finished());
    ASSERT_EQ(connectTimes.size(), 6u);
    const int64_t waits[] = {0, 1000, 2000, 4000, 8000};
    for (size_t i = 0; i < 5; ++i) {
        const int64_t gap = connectTimes[i + 1] - connectTimes[i];
        EXPECT_GE(gap, waits[i]) << i;
        EXPECT_LE(gap, waits[i] + 500) << i;
    }
    ASSERT_EQ(recorder.calls.size(), 1u);
    EXPECT_EQ(recorder.calls[0].code, kWebInterruptConnectFailed);
    EXPECT_EQ(recorder.calls[0].status, -1);
    EXPECT_EQ(client->connectionCount(), 0u);
}

TEST_F(WebClientTest, CancelInProgressClosesTheConnectionWithoutCallback) {
    ScriptedServer server;
    Recorder cancelled, next;
    const RequestToken token = get(server.port(), cancelled);
    get(server.port(), next);
    Fd peer = server.acceptWhileRunning(*chain);
    readRequest(*chain, peer.get());
    cancelRequest(token);
    clock.advance(1);
    EXPECT_TRUE(closedByClient(*chain, peer.get()));
    // The next request goes out on a new connection.
    Fd again = server.acceptWhileRunning(*chain);
    readRequest(*chain, again.get());
    send(again.get(), "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    ASSERT_TRUE(test::runUntil(*chain, [&] { return next.finished(); }));
    EXPECT_TRUE(cancelled.calls.empty());
}

TEST_F(WebClientTest, CancelQueuedRequestIsNeverSent) {
    ScriptedServer server;
    Recorder first, cancelled;
    get(server.port(), first);
    const RequestToken token = get(server.port(), cancelled);
    Fd peer = server.acceptWhileRunning(*chain);
    readRequest(*chain, peer.get());
    cancelRequest(token);
    clock.advance(1);
    test::runPasses(*chain, 3);
    send(peer.get(), "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    ASSERT_TRUE(test::runUntil(*chain, [&] { return first.finished(); }));
    test::runPasses(*chain, 3);
    char byte;
    EXPECT_LT(::recv(peer.get(), &byte, 1, MSG_DONTWAIT), 0);  // nothing more was sent
    EXPECT_TRUE(cancelled.calls.empty());
}

TEST_F(WebClientTest, DeleteRequestsReportsCodeSixAndCloses) {
    ScriptedServer server;
    Recorder a, b;
    get(server.port(), a);
    get(server.port(), b);
    Fd peer = server.acceptWhileRunning(*chain);
    readRequest(*chain, peer.get());
    deleteRequests(*client, "127.0.0.1", server.port());
    for (const Recorder* recorder : {&a, &b}) {
        ASSERT_EQ(recorder->calls.size(), 1u);
        EXPECT_EQ(recorder->calls[0].code, kWebInterruptDeleted);
        EXPECT_FALSE(recorder->calls[0].hasConnection);
        EXPECT_EQ(recorder->calls[0].status, -1);
        EXPECT_TRUE(recorder->calls[0].done);
    }
    EXPECT_TRUE(closedByClient(*chain, peer.get()));
}

// Bad responses fail their request (no head, done) and close the connection; the request
// queued behind goes out on a new connection.
TEST_F(WebClientTest, BadResponsesFailTheRequestAndCloseTheConnection) {
    client->setBodyLimit(1000);
    const std::string cases[] = {
        "HTTP/1.1 200 OK\r\nX-Long: " + std::string(17 * 1024, 'x'),
        "HTTP/1.1 200 OK\r\nContent-Length: 1001\r\n\r\n",
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n",
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n10000000000000000\r\n",
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3e9\r\n",
        "HTTP/1.0 200 OK\r\n\r\n" + std::string(1001, 'y'),
    };
    for (const std::string& response : cases) {
        SCOPED_TRACE(response.substr(0, 60));
        ScriptedServer server;
        Recorder failed, next;
        get(server.port(), failed);
        get(server.port(), next);
        Fd peer = server.acceptWhileRunning(*chain);
        readRequest(*chain, peer.get());
        send(peer.get(), response);
        ASSERT_TRUE(test::runUntil(*chain, [&] { return failed.finished(); }));
        EXPECT_EQ(failed.calls.back().status, -1);
        EXPECT_EQ(failed.calls.back().code, kWebInterruptNone);
        EXPECT_TRUE(closedByClient(*chain, peer.get()));
        Fd again = server.acceptWhileRunning(*chain);
        readRequest(*chain, again.get());
        send(again.get(), "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
        ASSERT_TRUE(test::runUntil(*chain, [&] { return next.finished(); }));
        EXPECT_EQ(next.calls.back().body, "ok");
    }
}

TEST_F(WebClientTest, PauseStopsDeliveriesUntilResumed) {
    ScriptedServer server;
    std::vector<std::string> bodies;
    ConnectionRecord* paused = nullptr;
    webRequest(*client, test::loopbackAddress(), server.port(),
               SendBuffer::owned(getRequest(server.port())), SendBuffer::owned({}),
               [&](ConnectionRecord* connection, int, const HttpPacket*, std::string_view body,
                   size_t&, bool, int& pause) {
                   bodies.emplace_back(body);
                   if (bodies.size() == 1) {
                       pause = 1;
                       paused = connection;
                   }
               });
    Fd peer = server.acceptWhileRunning(*chain);
    readRequest(*chain, peer.get());
    send(peer.get(), "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nab");
    ASSERT_TRUE(test::runUntil(*chain, [&] { return bodies.size() == 1; }));
    send(peer.get(), "cd");
    for (int i = 0; i < 10; ++i)
        runOnePass(*chain, 10);
    EXPECT_EQ(bodies.size(), 1u);
    ASSERT_NE(paused, nullptr);
    resumeConnection(*client, *paused);
    ASSERT_TRUE(test::runUntil(*chain, [&] { return bodies.size() == 2; }));
    EXPECT_EQ(bodies[1], "abcd");
}

TEST_F(WebClientTest, DeletedServerIsParkedAndServedAgain) {
    ScriptedServer server;
    Recorder dropped, later;
    get(server.port(), dropped);
    Fd peer = server.acceptWhileRunning(*chain);
    deleteRequests(*client, "127.0.0.1", server.port());
    EXPECT_EQ(client->parkedCount(), 1u);
    get(server.port(), later);
    EXPECT_EQ(client->parkedCount(), 0u);
    Fd again = server.acceptWhileRunning(*chain);
    readRequest(*chain, again.get());
    send(again.get(), "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    ASSERT_TRUE(test::runUntil(*chain, [&] { return later.finished(); }));
    EXPECT_EQ(client->connectionCount(), 1u);
}

TEST_F(WebClientTest, ConnectionLostMidResponseFailsOnlyThatRequest) {
    ScriptedServer server;
    Recorder first, second;
    first.consume = true;
    get(server.port(), first);
    get(server.port(), second);
    Fd peer = server.acceptWhileRunning(*chain);
    readRequest(*chain, peer.get());
    send(peer.get(), "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc");
    ASSERT_TRUE(test::runUntil(*chain, [&] { return !first.calls.empty(); }));
    peer.reset();
    ASSERT_TRUE(test::runUntil(*chain, [&] { return first.finished(); }));
    EXPECT_EQ(first.calls.back().status, -1);
    Fd again = server.acceptWhileRunning(*chain);
    readRequest(*chain, again.get());
    send(again.get(), "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    ASSERT_TRUE(test::runUntil(*chain, [&] { return second.finished(); }));
    EXPECT_EQ(second.calls.back().status, 200);
}

TEST_F(WebClientTest, RemovingTheClientWithARequestPendingReportsCodeFive) {
    ScriptedServer server;
    Recorder recorder;
    get(server.port(), recorder);
    Fd peer = server.acceptWhileRunning(*chain);
    readRequest(*chain, peer.get());
    removeFromChain(*chain, *client);
    ASSERT_EQ(recorder.calls.size(), 1u);
    EXPECT_EQ(recorder.calls[0].code, kWebInterruptConnectFailed);
    EXPECT_TRUE(recorder.calls[0].done);
    EXPECT_TRUE(closedByClient(*chain, peer.get()));
    // The pool sockets went with the client: further passes find nothing of it.
    test::runPasses(*chain, 3);
}

TEST_F(WebClientTest, EndingTheChainWithARequestPendingReportsCodeFive) {
    ScriptedServer server;
    Recorder recorder;
    get(server.port(), recorder);
    Fd peer = server.acceptWhileRunning(*chain);
    stopChain(*chain);
    startChain(*chain);  // runs no pass after the stop; destroys every object
    ASSERT_EQ(recorder.calls.size(), 1u);
    EXPECT_EQ(recorder.calls[0].code, kWebInterruptConnectFailed);
    chain.reset();
}

// Records of servers that answered are parked once idle; records of connections that failed
// (a response that cannot be read closes them) are parked the same way, not left in the table.
// Either way at most the parked bound stays.
TEST_F(WebClientTest, ParkedRecordsStayBounded) {
    const struct {
        const char* name;
        std::string answer;
        int64_t idleMs;
    } cases[] = {
        {"answered", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", WebClient::kIdleTimeoutMs + 1},
        {"failed", "this is no HTTP\r\n\r\n", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WebClient& fresh = createWebClient(*chain, 5);
        std::vector<std::unique_ptr<ScriptedServer>> servers;
        for (size_t i = 0; i < WebClient::kMaxParked + 3; ++i) {
            servers.push_back(std::make_unique<ScriptedServer>());
            Recorder recorder;
            webRequest(fresh, test::loopbackAddress(), servers.back()->port(),
                       SendBuffer::owned(getRequest(servers.back()->port())), SendBuffer::owned({}),
                       recorder.callback());
            Fd peer = servers.back()->acceptWhileRunning(*chain);
            readRequest(*chain, peer.get());
            send(peer.get(), c.answer);
            ASSERT_TRUE(test::runUntil(*chain, [&] { return recorder.finished(); }));
            clock.advance(c.idleMs);
            ASSERT_TRUE(closedByClient(*chain, peer.get()));
            test::runPasses(*chain, 3);
        }
        EXPECT_EQ(fresh.parkedCount(), WebClient::kMaxParked);
        EXPECT_EQ(fresh.connectionCount(), WebClient::kMaxParked);
        removeFromChain(*chain, fresh);
    }
}

// A server that accepts and never answers, or stops in the middle of the body, fails the request
// at the deadline on the chain's clock, and closes its connection.
TEST_F(WebClientTest, ResponseHeadDeadlineAndBodyIdleLimit) {
    struct Case {
        const char* name;
        std::string sent;  // before the server falls silent
        int64_t quietMs;   // nothing happens before this
    };
    const Case cases[] = {
        {"nothing at all", "", WebClient::kResponseHeadTimeoutMs},
        {"half a head", "HTTP/1.1 200 OK\r\nContent-Le", WebClient::kResponseHeadTimeoutMs},
        {"half a body", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc",
         WebClient::kResponseIdleTimeoutMs},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        Recorder recorder;
        get(server.port(), recorder);
        Fd peer = server.acceptWhileRunning(*chain);
        readRequest(*chain, peer.get());
        if (!c.sent.empty()) {
            send(peer.get(), c.sent);
            test::runPasses(*chain, 3);
        }
        clock.advance(c.quietMs - 1);
        test::runPasses(*chain, 3);
        EXPECT_FALSE(recorder.finished());
        ASSERT_TRUE(advanceUntil(1, [&] { return recorder.finished(); }));
        EXPECT_EQ(recorder.calls.back().status, -1);
        EXPECT_EQ(recorder.calls.back().code, kWebInterruptNone);
        EXPECT_TRUE(closedByClient(*chain, peer.get()));
    }
}

// A body that keeps coming, however slowly, is never cut off.
TEST_F(WebClientTest, ASlowBodyThatKeepsComingIsReadWhole) {
    ScriptedServer server;
    Recorder recorder;
    get(server.port(), recorder);
    Fd peer = server.acceptWhileRunning(*chain);
    readRequest(*chain, peer.get());
    send(peer.get(), "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n");
    for (char c : std::string("slow")) {
        clock.advance(WebClient::kResponseIdleTimeoutMs - 1);
        send(peer.get(), std::string(1, c));
        const size_t before = recorder.calls.size();
        ASSERT_TRUE(test::runUntil(*chain, [&] { return recorder.calls.size() > before; }));
    }
    send(peer.get(), "!");
    ASSERT_TRUE(test::runUntil(*chain, [&] { return recorder.finished(); }));
    EXPECT_EQ(recorder.calls.back().body, "slow!");
}

// Servers on one address that never answer hold at most their share of the pool: a server
// elsewhere is still served at once.
TEST_F(WebClientTest, ServersOnOneAddressHoldAtMostTwoPoolSockets) {
    std::vector<std::unique_ptr<ScriptedServer>> tarpits;
    std::vector<Recorder> stuck(5);
    for (size_t i = 0; i < stuck.size(); ++i) {
        tarpits.push_back(std::make_unique<ScriptedServer>(loopbackHost(10)));
        get(*tarpits.back(), stuck[i]);
    }
    ScriptedServer healthy(loopbackHost(11));
    Recorder served;
    get(healthy, served);
    Fd peer = healthy.acceptWhileRunning(*chain);
    ASSERT_GE(peer.get(), 0);
    readRequest(*chain, peer.get());
    send(peer.get(), "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    ASSERT_TRUE(test::runUntil(*chain, [&] { return served.finished(); }));
    EXPECT_EQ(served.calls.back().body, "ok");
    EXPECT_EQ(client->connectsStarted(),
              static_cast<uint64_t>(WebClient::kMaxConnectionsPerAddress) + 1);
    EXPECT_EQ(client->backlogCount(), stuck.size() - WebClient::kMaxConnectionsPerAddress);
}

// The server answers the first request and closes the connection, on which the second request
// has already been written: the second goes out again on a new connection instead of failing.
TEST_F(WebClientTest, AGetWrittenOnAConnectionTheServerClosesIsSentAgainOnce) {
    ScriptedServer server;
    Recorder first, second;
    get(server.port(), first);
    get(server.port(), second);
    Fd peer = server.acceptWhileRunning(*chain);
    readRequest(*chain, peer.get());
    send(peer.get(), "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n1");
    ASSERT_TRUE(test::runUntil(*chain, [&] { return first.finished(); }));
    readRequest(*chain, peer.get());  // the second request arrived on the closing connection
    peer.reset();
    Fd again = server.acceptWhileRunning(*chain);
    ASSERT_GE(again.get(), 0);
    readRequest(*chain, again.get());
    EXPECT_FALSE(second.finished());
    // Only once: a server that keeps closing without answering fails the request.
    again.reset();
    ASSERT_TRUE(test::runUntil(*chain, [&] { return second.finished(); }));
    EXPECT_EQ(second.calls.back().status, -1);
    EXPECT_EQ(client->connectsStarted(), 2u);
}

// The chain runs on a thread of its own; the request is made from the test's thread, which the
// client's lock and the chain's wake-up make safe.
TEST(WebClientThreads, RequestFromAnotherThread) {
    test::Watchdog watchdog(std::chrono::seconds(30));
    ManualClock clock;
    std::unique_ptr<Chain> chain = createChain(clock);
    WebClient& client = createWebClient(*chain, 5);
    Fd listener = test::listenOnLoopback();
    const uint16_t port = test::boundPort(listener.get());
    std::thread chainThread([&] { startChain(*chain); });

    std::atomic<int> status{0};
    std::atomic<bool> done{false};
    webRequest(client, test::loopbackAddress(), port, SendBuffer::owned(getRequest(port)),
               SendBuffer::owned({}),
               [&](ConnectionRecord*, int, const HttpPacket* head, std::string_view body, size_t&,
                   bool finished, int&) {
                   if (finished && head && body == "threads") {
                       status = head->statusCode;
                       done = true;
                   }
               });
    Fd peer = test::acceptPeer(listener.get());
    ASSERT_GE(peer.get(), 0);
    EXPECT_EQ(test::readBytes(peer.get(), getRequest(port).size()), getRequest(port));
    ASSERT_TRUE(test::writeAll(peer.get(), "HTTP/1.1 200 OK\r\nContent-Length: 7\r\n\r\nthreads"));
    while (!done)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    stopChain(*chain);
    chainThread.join();
    EXPECT_EQ(status.load(), 200);
}

}  // namespace
}  // namespace upnp
