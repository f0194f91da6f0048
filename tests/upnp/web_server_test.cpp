#include "upnp/web_server.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <memory>
#include <string>
#include <vector>

#include "chain_test_support.h"
#include "socket_test_support.h"

namespace upnp {
namespace {

using test::connectPeer;
using test::Fd;
using test::runPasses;
using test::runUntil;
using test::Watchdog;
using test::writeAll;

struct Seen {
    std::string method;
    std::string uri;
    std::optional<std::string> fullUri;
    std::string body;
};

class WebServerTest : public ::testing::Test {
  protected:
    Watchdog watchdog;
    ManualClock clock;
    std::unique_ptr<Chain> chain = createChain(clock);
    std::vector<Seen> requests;
    std::vector<std::shared_ptr<WebSession>> sessions;
    int disconnects = 0;

    ~WebServerTest() override {
        stopChain(*chain);
        startChain(*chain);
    }

    // A server whose upper layer records each request (and answers none by itself).
    WebServer& recordingServer(size_t maxSessions = 5) {
        return createWebServer(
            *chain, maxSessions, 0, [this](const std::shared_ptr<WebSession>& session) {
                sessions.push_back(session);
                session->setReceiveHandler(
                    [this](WebSession&, const HttpPacket& request, std::string_view body) {
                        requests.push_back(
                            {request.method, request.uri, request.fullUri, std::string(body)});
                    });
                session->setDisconnectHandler([this](WebSession&) { ++disconnects; });
            });
    }

    Fd connectTo(WebServer& server) {
        runPasses(*chain, 1);  // the server listens from its first pass on
        const size_t before = server.openSessions();
        Fd peer = connectPeer(server.port());
        EXPECT_GE(peer.get(), 0);
        EXPECT_TRUE(runUntil(*chain, [&] { return server.openSessions() > before; }));
        return peer;
    }

    // Moves the clock on and lets the timers run.
    void advance(int64_t ms) {
        clock.advance(ms);
        runPasses(*chain, 3);
    }

    // True when the peer saw the server close (end of stream), after running the chain a bit.
    bool peerClosed(int fd) {
        bool closed = false;
        runUntil(
            *chain,
            [&] {
                char byte;
                const ssize_t n = ::recv(fd, &byte, 1, MSG_DONTWAIT | MSG_PEEK);
                closed = n == 0;
                return closed;
            },
            std::chrono::milliseconds(300));
        return closed;
    }

    std::string available(int fd) {
        runPasses(*chain, 3);
        std::string got;
        char buffer[4096];
        ssize_t n;
        while ((n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0)
            got.append(buffer, static_cast<size_t>(n));
        return got;
    }
};

TEST_F(WebServerTest, ListensOnARandomPortWithFiveSessions) {
    WebServer& server = createWebServer(*chain, 5, 0);
    EXPECT_GE(server.port(), 50000);
    EXPECT_LT(server.port(), 65000);
    EXPECT_EQ(server.maxSessions(), 5u);
}

TEST_F(WebServerTest, SilentConnectionIsClosedAfter3Seconds) {
    WebServer& server = createWebServer(*chain, 5, 0);
    Fd peer = connectTo(server);
    advance(2999);
    EXPECT_EQ(server.openSessions(), 1u);
    EXPECT_FALSE(peerClosed(peer.get()));
    advance(2);
    EXPECT_TRUE(peerClosed(peer.get()));
    EXPECT_EQ(server.openSessions(), 0u);
}

TEST_F(WebServerTest, Http11RequestWithoutHostGets400AndStaysOpen3Seconds) {
    WebServer& server = createWebServer(*chain, 5, 0);
    Fd peer = connectTo(server);
    ASSERT_TRUE(writeAll(peer.get(), "GET /desc.xml HTTP/1.1\r\nUser-Agent: t\r\n\r\n"));
    std::string got;
    ASSERT_TRUE(runUntil(*chain, [&] {
        got += available(peer.get());
        return got.size() >= kMissingHostResponse.size();
    }));
    EXPECT_EQ(got, "HTTP/1.1 400 Bad Request (Missing Host Field)\r\n\r\n");
    advance(2999);
    EXPECT_FALSE(peerClosed(peer.get()));
    advance(2);
    EXPECT_TRUE(peerClosed(peer.get()));
}

// Without an upper layer a complete request is never answered, and a body may never complete:
// either way the session is closed once its connection has been silent for the stall limit, so
// that no peer holds one of the few sessions for ever.
TEST_F(WebServerTest, ARequestThatStallsIsClosedAfterTheStallLimit) {
    const struct {
        const char* name;
        std::string sent;
    } cases[] = {
        {"HTTP/1.0 with Host, unanswered", "GET / HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n"},
        {"body that never completes",
         "POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 100\r\n\r\n0123456789"},
    };
    WebServer& server = createWebServer(*chain, 5, 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fd peer = connectTo(server);
        ASSERT_TRUE(writeAll(peer.get(), c.sent));
        runPasses(*chain, 5);
        EXPECT_EQ(available(peer.get()), "");
        advance(kWebSessionStallMs - 1);
        EXPECT_FALSE(peerClosed(peer.get()));
        EXPECT_EQ(server.openSessions(), 1u);
        advance(2);
        EXPECT_TRUE(peerClosed(peer.get()));
        EXPECT_EQ(server.openSessions(), 0u);
    }
}

// A body that keeps coming keeps its session.
TEST_F(WebServerTest, ABodyThatKeepsComingKeepsItsSession) {
    WebServer& server = createWebServer(*chain, 5, 0);
    Fd peer = connectTo(server);
    ASSERT_TRUE(writeAll(peer.get(), "POST / HTTP/1.1\r\nHost: h\r\nContent-Length: 4\r\n\r\n"));
    runPasses(*chain, 3);
    for (const char* piece : {"a", "b", "c"}) {
        advance(kWebSessionStallMs - 1);
        ASSERT_TRUE(writeAll(peer.get(), piece));
        runPasses(*chain, 3);
        EXPECT_FALSE(peerClosed(peer.get()));
    }
    EXPECT_EQ(server.openSessions(), 1u);
}

TEST_F(WebServerTest, HeadInPiecesWaitsForItsEndAndTheIdleTimerStillRuns) {
    WebServer& server = recordingServer();
    Fd peer = connectTo(server);
    ASSERT_TRUE(writeAll(peer.get(), "GET / HTTP/1.1\r\nHo"));
    runPasses(*chain, 3);
    EXPECT_TRUE(requests.empty());
    ASSERT_TRUE(writeAll(peer.get(), "st: a\r\n\r\n"));
    ASSERT_TRUE(runUntil(*chain, [&] { return requests.size() == 1; }));
    EXPECT_EQ(requests[0].uri, "/");

    Fd slow = connectTo(server);
    ASSERT_TRUE(writeAll(slow.get(), "GET / HTTP/1.1\r\n"));
    advance(3001);
    EXPECT_TRUE(peerClosed(slow.get()));
}

// Two requests sent at once on one connection: the second is read only after the first one's
// response is finished, and the connection is kept for it.
TEST_F(WebServerTest, KeptConnectionReadsTheNextRequestOnlyAfterTheResponse) {
    WebServer& server = recordingServer();
    Fd peer = connectTo(server);
    ASSERT_TRUE(writeAll(peer.get(),
                         "GET /one HTTP/1.1\r\nHost: a\r\n\r\n"
                         "GET /two HTTP/1.1\r\nHost: a\r\n\r\n"));
    ASSERT_TRUE(runUntil(*chain, [&] { return requests.size() == 1; }));
    runPasses(*chain, 5);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(sessions[0]->isPaused());

    const std::string answer = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
    EXPECT_GE(sendWebResponse(*sessions[0], SendBuffer::copied(answer), true), 0);
    ASSERT_TRUE(runUntil(*chain, [&] { return requests.size() == 2; }));
    EXPECT_EQ(requests[1].uri, "/two");
    EXPECT_GE(sendWebResponse(*sessions[0], SendBuffer::owned(answer), true), 0);
    EXPECT_EQ(available(peer.get()), answer + answer);
    EXPECT_FALSE(peerClosed(peer.get()));
}

TEST_F(WebServerTest, ResponseClosesTheConnectionUnlessItIsKept) {
    const struct {
        const char* request;
        bool kept;
    } cases[] = {
        {"GET / HTTP/1.1\r\nHost: a\r\n\r\n", true},
        {"GET / HTTP/1.1\r\nHost: a\r\nConnection: CLOSE\r\n\r\n", false},
        {"GET / HTTP/1.1\r\nHost: a\r\nConnection: keep-alive\r\n\r\n", true},
        {"GET / HTTP/1.0\r\nHost: a\r\n\r\n", false},
        {"GET / HTTP/1.0\r\n\r\n", false},
    };
    WebServer& server = recordingServer();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request);
        requests.clear();
        sessions.clear();
        Fd peer = connectTo(server);
        ASSERT_TRUE(writeAll(peer.get(), c.request));
        ASSERT_TRUE(runUntil(*chain, [&] { return requests.size() == 1; }));
        EXPECT_GE(sendWebResponse(*sessions[0],
                                  SendBuffer::copied("HTTP/1.1 204 No Content\r\n\r\n"), true),
                  0);
        EXPECT_EQ(available(peer.get()), "HTTP/1.1 204 No Content\r\n\r\n");
        EXPECT_EQ(peerClosed(peer.get()), !c.kept);
        peer.reset();
        ASSERT_TRUE(runUntil(*chain, [&] { return server.openSessions() == 0; }));
        // A closed session refuses further sends.
        EXPECT_EQ(sendWebResponse(*sessions[0], SendBuffer::copied("x"), true), kWebSessionClosed);
    }
}

TEST_F(WebServerTest, BodiesByLengthAndChunkedCoding) {
    const struct {
        const char* name;
        std::vector<std::string> pieces;
        std::string body;
    } cases[] = {
        {"length in three reads",
         {"POST /c HTTP/1.1\r\nHost: a\r\nConnection: close\r\nContent-Length: 10\r\n\r\n01",
          "2345", "6789"},
         "0123456789"},
        {"chunked in pieces",
         {"POST /c HTTP/1.1\r\nHost: a\r\nConnection: close\r\nTransfer-Encoding: "
          "chunked\r\n\r\n4\r\nab",
          "cd\r\n6;x=y\r", "\nefghij\r\n0\r\nTrailer: t\r\n\r\n"},
         "abcdefghij"},
        {"no length: empty body", {"POST /c HTTP/1.1\r\nHost: a\r\nConnection: close\r\n\r\n"}, ""},
    };
    WebServer& server = recordingServer();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        requests.clear();
        Fd peer = connectTo(server);
        for (const std::string& piece : c.pieces) {
            ASSERT_TRUE(writeAll(peer.get(), piece));
            runPasses(*chain, 3);
        }
        ASSERT_TRUE(runUntil(*chain, [&] { return requests.size() == 1; }));
        EXPECT_EQ(requests[0].method, "POST");
        EXPECT_EQ(requests[0].body, c.body);
        EXPECT_GE(
            sendWebResponse(*sessions.back(), SendBuffer::copied("HTTP/1.1 204 -\r\n\r\n"), true),
            0);
        ASSERT_TRUE(runUntil(*chain, [&] { return server.openSessions() == 0; }));
    }
}

TEST_F(WebServerTest, BadInputClosesTheConnection) {
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"head longer than 16 KiB", "GET / HTTP/1.1\r\nX: " + std::string(17 * 1024, 'a')},
        {"not a request", "HTTP/1.1 200 OK\r\n\r\n"},
        {"empty start line", "\r\n\r\n"},
        {"chunk size not hexadecimal",
         "POST / HTTP/1.1\r\nHost: a\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n"},
        {"chunk size overflowing",
         "POST / HTTP/1.1\r\nHost: a\r\nTransfer-Encoding: chunked\r\n\r\n"
         "10000000000000000\r\n"},
        {"chunk larger than the body limit",
         "POST / HTTP/1.1\r\nHost: a\r\nTransfer-Encoding: chunked\r\n\r\n1000000\r\n"},
        {"chunk data without its line end",
         "POST / HTTP/1.1\r\nHost: a\r\nTransfer-Encoding: chunked\r\n\r\n1\r\nab\r\n"},
        {"length larger than the body limit",
         "POST / HTTP/1.1\r\nHost: a\r\nContent-Length: 4194305\r\n\r\n"},
        {"length beyond int", "POST / HTTP/1.1\r\nHost: a\r\nContent-Length: 99999999999\r\n\r\n"},
    };
    WebServer& server = recordingServer();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        requests.clear();
        Fd peer = connectTo(server);
        ASSERT_TRUE(writeAll(peer.get(), c.bytes));
        EXPECT_TRUE(peerClosed(peer.get()));
        EXPECT_TRUE(requests.empty());
        ASSERT_TRUE(runUntil(*chain, [&] { return server.openSessions() == 0; }));
    }
}

TEST_F(WebServerTest, AbsoluteTargetNamingThisServerIsReducedToItsPath) {
    WebServer& server = recordingServer();
    const std::string own = "http://127.0.0.1:" + std::to_string(server.port()) + "/desc.xml";
    Fd peer = connectTo(server);
    ASSERT_TRUE(writeAll(peer.get(), "GET " + own + " HTTP/1.1\r\nHost: a\r\n\r\n"));
    ASSERT_TRUE(runUntil(*chain, [&] { return requests.size() == 1; }));
    EXPECT_EQ(requests[0].uri, "/desc.xml");
    EXPECT_EQ(requests[0].fullUri, own);

    requests.clear();
    Fd other = connectTo(server);
    const std::string foreign = "http://127.0.0.2:" + std::to_string(server.port()) + "/d";
    ASSERT_TRUE(writeAll(other.get(), "GET " + foreign + " HTTP/1.1\r\nHost: a\r\n\r\n"));
    ASSERT_TRUE(runUntil(*chain, [&] { return requests.size() == 1; }));
    EXPECT_EQ(requests[0].uri, foreign);
    EXPECT_FALSE(requests[0].fullUri);
}

// Six clients on five sessions: the sixth waits in the backlog until a session closes.
TEST_F(WebServerTest, SixthConnectionWaitsForAFreeSession) {
    WebServer& server = recordingServer();
    std::vector<Fd> peers;
    for (int i = 0; i < 5; ++i)
        peers.push_back(connectTo(server));
    peers.push_back(connectPeer(server.port()));  // accepted by the system, waits in the backlog
    ASSERT_GE(peers.back().get(), 0);
    runPasses(*chain, 5);
    EXPECT_EQ(sessions.size(), 5u);
    peers[0].reset();
    ASSERT_TRUE(runUntil(*chain, [&] { return sessions.size() == 6; }));
    EXPECT_EQ(disconnects, 1);
    EXPECT_EQ(server.openSessions(), 5u);
}

TEST_F(WebServerTest, ChainEndClosesOpenSessionsWithoutCallingTheUpperLayer) {
    WebServer& server = recordingServer();
    Fd peer = connectTo(server);
    ASSERT_TRUE(writeAll(peer.get(), "GET / HTTP/1.1\r\nHost: a\r\n\r\n"));
    ASSERT_TRUE(runUntil(*chain, [&] { return requests.size() == 1; }));
    stopChain(*chain);
    startChain(*chain);
    ASSERT_EQ(sessions.size(), 1u);
    EXPECT_TRUE(sessions[0]->isClosed());
    EXPECT_EQ(disconnects, 0);
    EXPECT_EQ(sendWebResponse(*sessions[0], SendBuffer::copied("x"), true), kWebSessionClosed);
    EXPECT_EQ(test::readBytes(peer.get(), 1), "");
}

}  // namespace
}  // namespace upnp
