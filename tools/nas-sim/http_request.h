#pragma once

// HTTP/1.x requests as the simulated devices read them from a TCP stream: a head, then a body of
// Content-Length bytes. Request bodies in chunks are not needed by any client of a NAS and are
// refused. Limits bound the memory a client can make the device hold.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nassim {

inline constexpr size_t kMaxRequestHead = 16 * 1024;
inline constexpr size_t kMaxRequestBody = 64 * 1024;

struct HttpRequest {
    std::string method;
    std::string target;   // as sent: "/index.php/mv_global/get_users"
    std::string version;  // "HTTP/1.1"
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    // The first header of that name (case ignored), or an empty view.
    std::string_view header(std::string_view name) const;
    bool hasHeader(std::string_view name) const;
    // HTTP/1.1 without "Connection: close", or HTTP/1.0 with "Connection: keep-alive".
    bool keepAlive() const;
    // The target without its query.
    std::string_view path() const;
};

// Collects bytes of one connection and cuts them into requests. Single-threaded.
class HttpRequestParser {
  public:
    enum class Status { NeedMore, Complete, Invalid };

    void append(std::string_view bytes) { buffer_.append(bytes); }

    // Complete: `out` holds the next request and its bytes are consumed. Invalid: `errorStatus`
    // is the HTTP status to answer with (400, 411, 413, 431, 501, 505), and the connection
    // should close after it.
    [[nodiscard]] Status next(HttpRequest& out, int& errorStatus);

    size_t buffered() const { return buffer_.size(); }

    // True once, when the head of the request being read asks for "Expect: 100-continue" and
    // its body has not come yet: the client waits for an interim 100 answer before sending it.
    [[nodiscard]] bool takeContinue();

  private:
    std::string buffer_;
    bool continueDue_ = false;
    bool continueSent_ = false;
};

}  // namespace nassim
