#include "upnp/http_response_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace upnp {
namespace {

struct Call {
    int status;  // -1: no head
    std::string body;
    bool done;
};

struct FeedResult {
    std::vector<Call> calls;
    HttpResponseReader::Status status = HttpResponseReader::Status::NeedMore;
    std::string leftover;  // bytes the reader did not consume
};

// Offers the pieces one after another the way an asynchronous socket does: every unconsumed
// byte, again at once while the reader keeps consuming. `consume`: whether the callback uses
// what it is offered.
FeedResult feedPieces(const std::vector<std::string>& pieces, bool consume,
                      bool headRequest = false,
                      uint64_t limit = HttpResponseReader::kDefaultBodyLimit) {
    HttpResponseReader reader(limit);
    reader.start(headRequest, 0x0100007f, 80, 0x0100007f);
    FeedResult run;
    auto deliver = [&](const HttpPacket* head, std::string_view body, size_t& consumed, bool done) {
        run.calls.push_back(Call{head ? head->statusCode : -1, std::string(body), done});
        if (consume)
            consumed = body.size();
    };
    for (const std::string& piece : pieces) {
        run.leftover += piece;
        for (;;) {
            size_t consumed = 0;
            run.status = reader.feed(run.leftover, consumed, deliver);
            run.leftover.erase(0, consumed);
            if (run.status != HttpResponseReader::Status::NeedMore || consumed == 0)
                break;
        }
        if (run.status != HttpResponseReader::Status::NeedMore)
            break;
    }
    return run;
}

TEST(HttpResponseReader, ContentLengthInThreeReads) {
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n";
    const FeedResult run = feedPieces(
        {head + std::string(300, 'a'), std::string(350, 'b'), std::string(350, 'c')}, false);
    ASSERT_EQ(run.calls.size(), 3u);
    EXPECT_EQ(run.calls[0].body.size(), 300u);
    EXPECT_FALSE(run.calls[0].done);
    EXPECT_EQ(run.calls[1].body.size(), 650u);
    EXPECT_FALSE(run.calls[1].done);
    EXPECT_EQ(run.calls[2].body.size(), 1000u);
    EXPECT_TRUE(run.calls[2].done);
    EXPECT_EQ(run.calls[2].body,
              std::string(300, 'a') + std::string(350, 'b') + std::string(350, 'c'));
    EXPECT_EQ(run.status, HttpResponseReader::Status::Finished);
}

TEST(HttpResponseReader, ConsumingCallbackIsOfferedOnlyNewBytes) {
    const FeedResult run =
        feedPieces({"HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nab", "cd", "ef"}, true);
    ASSERT_EQ(run.calls.size(), 3u);
    EXPECT_EQ(run.calls[0].body, "ab");
    EXPECT_EQ(run.calls[1].body, "cd");
    EXPECT_EQ(run.calls[2].body, "ef");
    EXPECT_TRUE(run.calls[2].done);
}

TEST(HttpResponseReader, BytesAfterTheBodyStayForTheNextResponse) {
    const FeedResult run =
        feedPieces({"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nabHTTP/1.1"}, true);
    EXPECT_EQ(run.status, HttpResponseReader::Status::Finished);
    EXPECT_EQ(run.leftover, "HTTP/1.1");
}

TEST(HttpResponseReader, ResponsesWithoutBody) {
    struct Case {
        std::string response;
        bool headRequest;
    };
    const Case cases[] = {
        {"HTTP/1.1 200 OK\r\nServer: x\r\n\r\n", false},  // 1.1 without length
        {"HTTP/1.1 204 No Content\r\n\r\n", false},
        {"HTTP/1.0 304 Not Modified\r\n\r\n", false},
        {"HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\n", true},  // answer to HEAD
        {"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", false},
    };
    for (const Case& c : cases) {
        const FeedResult run = feedPieces({c.response}, false, c.headRequest);
        ASSERT_EQ(run.calls.size(), 1u) << c.response;
        EXPECT_TRUE(run.calls[0].done);
        EXPECT_TRUE(run.calls[0].body.empty());
        EXPECT_NE(run.calls[0].status, -1);
        EXPECT_EQ(run.status, HttpResponseReader::Status::Finished);
    }
}

TEST(HttpResponseReader, InterimHeadIsSkipped) {
    const FeedResult run = feedPieces(
        {"HTTP/1.1 100 Continue\r\n\r\n", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"}, false);
    ASSERT_EQ(run.calls.size(), 1u);
    EXPECT_EQ(run.calls[0].status, 200);
    EXPECT_EQ(run.calls[0].body, "ok");
    EXPECT_TRUE(run.calls[0].done);
}

TEST(HttpResponseReader, UntilCloseEndsAtClose) {
    HttpResponseReader reader;
    reader.start(false, 0, 0, 0);
    std::vector<Call> calls;
    auto deliver = [&](const HttpPacket* head, std::string_view body, size_t&, bool done) {
        calls.push_back(Call{head ? head->statusCode : -1, std::string(body), done});
    };
    size_t consumed = 0;
    const std::string first = "HTTP/1.0 200 OK\r\n\r\nabc";
    EXPECT_EQ(reader.feed(first, consumed, deliver), HttpResponseReader::Status::NeedMore);
    EXPECT_EQ(consumed, first.size());
    EXPECT_EQ(reader.feed("def", consumed, deliver), HttpResponseReader::Status::NeedMore);
    EXPECT_TRUE(reader.finishOnClose(deliver));
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[2].body, "abcdef");
    EXPECT_TRUE(calls[2].done);
    EXPECT_FALSE(reader.finishOnClose(deliver));
}

TEST(HttpResponseReader, ChunksToACallbackThatNeverConsumes) {
    const FeedResult run = feedPieces({"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                       "5\r\nhello\r\n",
                                       "6\r\n world\r\n", "0\r\n\r\n"},
                                      false);
    ASSERT_EQ(run.calls.size(), 3u);
    EXPECT_EQ(run.calls[0].body, "hello");
    EXPECT_FALSE(run.calls[0].done);
    EXPECT_EQ(run.calls[1].body, "hello world");
    EXPECT_FALSE(run.calls[1].done);
    EXPECT_EQ(run.calls[2].body, "hello world");
    EXPECT_TRUE(run.calls[2].done);
}

TEST(HttpResponseReader, FailuresWithoutDoneCall) {
    const std::string longHead =
        "HTTP/1.1 200 OK\r\nX-Long: " + std::string(HttpResponseReader::kMaxHeadLength, 'x');
    const std::vector<std::string> cases[] = {
        {longHead},                                          // head too long
        {"GARBAGE\r\n\r\n"},                                 // not a response
        {"HTTP/1.1 200 OK\r\nContent-Length: 12x\r\n\r\n"},  // bad length
        {"HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\n"},
        {"HTTP/1.1 200 OK\r\nContent-Length: 5000000\r\n\r\n"},            // over 4 MiB
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nxyz\r\n"},  // bad chunk size
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", "ffffffff\r\n"},
    };
    for (const auto& pieces : cases) {
        const FeedResult run = feedPieces(pieces, true);
        EXPECT_EQ(run.status, HttpResponseReader::Status::Failed) << pieces[0].substr(0, 60);
        for (const Call& call : run.calls)
            EXPECT_FALSE(call.done);
    }
}

TEST(HttpResponseReader, HeadJustUnderTheLimitIsAccepted) {
    std::string head = "HTTP/1.1 200 OK\r\nX-Long: ";
    head += std::string(HttpResponseReader::kMaxHeadLength - head.size() - 4, 'x');
    head += "\r\n\r\n";
    ASSERT_EQ(head.size(), HttpResponseReader::kMaxHeadLength);
    const FeedResult run = feedPieces({head.substr(0, 5000), head.substr(5000)}, true);
    EXPECT_EQ(run.status, HttpResponseReader::Status::Finished);
}

TEST(HttpResponseReader, UntilCloseBodyOverTheLimitFails) {
    const FeedResult run = feedPieces(
        {"HTTP/1.0 200 OK\r\n\r\n", std::string(60, 'a'), std::string(60, 'b')}, true, false, 100);
    EXPECT_EQ(run.status, HttpResponseReader::Status::Failed);
}

}  // namespace
}  // namespace upnp
