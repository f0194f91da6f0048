#pragma once

// A scripted HTTP server on a loopback address for tests. It listens on `address`:`port` (port 0
// picks a free one), takes one connection at a time, reads one request from it (head and a
// Content-Length body), records it and answers with the next scripted reply (or the default
// one), then closes the connection.
//
// A reply can be sent in chosen pieces with pauses between them, or not at all ("silent": the
// connection is held open, unanswered, until the client gives up or the fixture stops).
//
// Threads: the server runs on its own thread, started by the constructor and joined by the
// destructor (which never waits for a pause or a silent reply to end). Every public member may be
// called from any thread.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace ds::test {

struct HttpReply {
    int status = 200;
    std::string reason = "OK";
    std::vector<std::pair<std::string, std::string>> headers;  // added after the status line
    std::string body;
    // Adds "Content-Length"; without it the body ends when the connection closes.
    bool contentLength = true;
    // Sends exactly these bytes instead of a composed answer.
    std::string raw;
    // Sizes of the pieces the answer is cut into (the rest goes last), with `pause` before each
    // piece after the first.
    std::vector<std::size_t> pieces;
    std::chrono::milliseconds pause{0};
    // Reads the request, records it, never answers.
    bool silent = false;

    static HttpReply withBody(int status, std::string body) {
        HttpReply reply;
        reply.status = status;
        reply.body = std::move(body);
        return reply;
    }
};

struct RecordedRequest {
    std::string method;
    std::string target;   // "/index.php/..." or, through a proxy, the absolute URL
    std::string version;  // "HTTP/1.1"
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    // Value of the first header of that name (compared without regard to case), or empty.
    std::string header(std::string_view name) const;
    bool hasHeader(std::string_view name) const;
};

class HttpFixture {
  public:
    // Throws std::runtime_error when the address cannot be bound.
    explicit HttpFixture(std::string address = "127.0.0.1", uint16_t port = 0);
    ~HttpFixture();
    HttpFixture(const HttpFixture&) = delete;
    HttpFixture& operator=(const HttpFixture&) = delete;

    const std::string& address() const { return address_; }
    uint16_t port() const { return port_; }
    // "address:port"
    std::string hostPort() const;

    // The answer to every request that finds no scripted reply queued.
    void setDefaultReply(HttpReply reply);
    // Answers the next request (replies are used in the order queued).
    void queueReply(HttpReply reply);

    std::vector<RecordedRequest> requests() const;
    std::size_t connectionCount() const;
    // Waits until `count` requests have been recorded; false when `timeout` passes first.
    bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;

  private:
    void run();
    void serve(int connection);
    bool readRequest(int connection, RecordedRequest& request);
    // Waits up to `timeout` for `fd` to become readable or the fixture to stop; false on stop.
    bool waitReadable(int fd, std::chrono::milliseconds timeout);
    bool stopping() const;

    std::string address_;
    uint16_t port_ = 0;
    int listenFd_ = -1;
    int stopFd_ = -1;  // eventfd, readable once the destructor runs

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    HttpReply defaultReply_;
    std::deque<HttpReply> queued_;
    std::vector<RecordedRequest> requests_;
    std::size_t connections_ = 0;

    std::thread thread_;
};

}  // namespace ds::test
