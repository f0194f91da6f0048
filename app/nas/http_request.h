#pragma once

// One blocking HTTP exchange with the NAS over libcurl, standing in for the platform's internet
// client. The caller's thread waits until the answer is complete, the limits end it or the
// connection fails; no request outlives `HttpLimits::total`.
//
// Proxies: the proxy settings of the environment (http_proxy, no_proxy ...) apply as libcurl
// applies them, except that a host on the local network (loopback, private, link-local and
// unique-local addresses, single-label names) is always reached directly, as the NAS sits on the
// user's LAN.
//
// Threads: any thread may call; calls share nothing but libcurl's one-time global set-up.

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace nas {

struct HttpLimits {
    // Time to open the TCP connection, per attempt.
    std::chrono::milliseconds connect{20000};
    // Extra attempts after a connection that could not be opened, each after `retryDelay`.
    int connectRetries = 0;
    std::chrono::milliseconds retryDelay{1000};
    // Whole exchange, every attempt and wait included, so a silent server cannot hold the caller.
    std::chrono::milliseconds total{60000};
    // Larger answers fail instead of growing without bound.
    std::size_t maxBodyBytes = std::size_t{1} << 20;
};

struct HttpRequest {
    std::string method = "GET";        // "GET" or "POST"
    std::string url;                   // "http://host[:port]/path"
    std::vector<std::string> headers;  // "Name: value" lines added to the client's own
    std::string body;                  // sent with POST
    bool bypassCache = false;          // ask every cache on the way for a fresh answer
};

struct HttpResponse {
    // True when a complete answer arrived (any status).
    bool completed = false;
    // Status of the answer's head, 0 when none arrived (it can be set while `completed` is
    // false: the body then failed).
    long status = 0;
    // The body bytes as received, up to the failure when `completed` is false.
    std::string body;
    // What went wrong, for diagnostics; empty when completed.
    std::string error;
    // Connection attempts made (1 + the retries used).
    int attempts = 0;
};

// Waits between connection attempts; tests replace it to observe the wait without sleeping.
using RetryWait = std::function<void(std::chrono::milliseconds)>;

HttpResponse performHttpRequest(const HttpRequest& request, const HttpLimits& limits,
                                const RetryWait& wait = {});

// True when `host` (an address or a name, without port) lies on the local network, so no proxy
// is used for it.
bool isLocalNetworkHost(std::string_view host);

}  // namespace nas
