#include "app/nas/http_request.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <memory>
#include <mutex>
#include <thread>

#include "app/nas/curl_library.h"

namespace nas {
namespace {

using Clock = std::chrono::steady_clock;

// The NAS sees the application's name, as it always has.
constexpr char kUserAgent[] = "Drive Scout";
using std::chrono::milliseconds;

// The library, once performHttpRequest has found it loaded.
const CurlLibrary& curl() {
    return *curlLibrary();
}

void initialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl().curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct EasyDeleter {
    void operator()(CURL* easy) const { curl().curl_easy_cleanup(easy); }
};
struct HeaderListDeleter {
    void operator()(curl_slist* list) const { curl().curl_slist_free_all(list); }
};
struct UrlDeleter {
    void operator()(CURLU* url) const { curl().curl_url_cleanup(url); }
};
struct CurlTextDeleter {
    void operator()(char* text) const { curl().curl_free(text); }
};

struct BodySink {
    std::string* body;
    std::size_t limit;
    bool overflowed = false;
};

size_t appendBody(char* data, size_t size, size_t count, void* user) {
    auto& sink = *static_cast<BodySink*>(user);
    const size_t bytes = size * count;
    if (sink.body->size() + bytes > sink.limit) {
        sink.overflowed = true;
        return 0;  // makes libcurl end the transfer with a write error
    }
    sink.body->append(data, bytes);
    return bytes;
}

std::string hostOf(const std::string& url) {
    std::unique_ptr<CURLU, UrlDeleter> parsed(curl().curl_url());
    if (!parsed || curl().curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK)
        return {};
    char* host = nullptr;
    if (curl().curl_url_get(parsed.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK)
        return {};
    std::unique_ptr<char, CurlTextDeleter> owned(host);
    std::string text = host;
    // "[fe80::1]" → "fe80::1"
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']')
        text = text.substr(1, text.size() - 2);
    return text;
}

bool isConnectFailure(CURLcode code, CURL* easy) {
    if (code == CURLE_COULDNT_CONNECT || code == CURLE_COULDNT_RESOLVE_HOST)
        return true;
    if (code != CURLE_OPERATION_TIMEDOUT)
        return false;
    curl_off_t connectTime = 0;
    curl().curl_easy_getinfo(easy, CURLINFO_CONNECT_TIME_T, &connectTime);
    return connectTime == 0;
}

struct Attempt {
    CURLcode code = CURLE_OK;
    bool connectFailed = false;
};

Attempt runAttempt(const HttpRequest& request, const HttpLimits& limits, milliseconds remaining,
                   HttpResponse& response) {
    Attempt attempt;
    std::unique_ptr<CURL, EasyDeleter> easy(curl().curl_easy_init());
    if (!easy) {
        attempt.code = CURLE_FAILED_INIT;
        return attempt;
    }
    CURL* h = easy.get();

    std::unique_ptr<curl_slist, HeaderListDeleter> headers;
    auto addHeader = [&headers](const std::string& line) {
        curl_slist* grown = curl().curl_slist_append(headers.get(), line.c_str());
        if (grown) {
            headers.release();
            headers.reset(grown);
        }
    };
    for (const std::string& line : request.headers)
        addHeader(line);
    if (request.bypassCache) {
        addHeader("Cache-Control: no-cache");
        addHeader("Pragma: no-cache");
    }
    // The body is small; waiting for "100 Continue" would only add a round trip.
    addHeader("Expect:");

    response.body.clear();
    BodySink sink{&response.body, limits.maxBodyBytes};

    curl().curl_easy_setopt(h, CURLOPT_URL, request.url.c_str());
    curl().curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http");
    curl().curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl().curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl().curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl().curl_easy_setopt(h, CURLOPT_USERAGENT, kUserAgent);
    curl().curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    curl().curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, appendBody);
    curl().curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
    curl().curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(remaining.count()));
    curl().curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS,
                            static_cast<long>(std::min(limits.connect, remaining).count()));
    if (isLocalNetworkHost(hostOf(request.url)))
        curl().curl_easy_setopt(h, CURLOPT_NOPROXY, "*");
    if (request.method == "POST") {
        curl().curl_easy_setopt(h, CURLOPT_POST, 1L);
        curl().curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE, static_cast<long>(request.body.size()));
        curl().curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.body.data());
    } else {
        curl().curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    }

    attempt.code = curl().curl_easy_perform(h);
    long status = 0;
    curl().curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    response.status = status;
    attempt.connectFailed = status == 0 && isConnectFailure(attempt.code, h);
    if (sink.overflowed)
        response.error = "answer larger than " + std::to_string(limits.maxBodyBytes) + " bytes";
    else if (attempt.code != CURLE_OK)
        response.error = curl().curl_easy_strerror(attempt.code);
    return attempt;
}

}  // namespace

bool isLocalNetworkHost(std::string_view host) {
    if (host.empty())
        return false;
    const std::string text(host);
    std::array<unsigned char, 16> bytes{};
    if (inet_pton(AF_INET, text.c_str(), bytes.data()) == 1) {
        const unsigned a = bytes[0], b = bytes[1];
        return a == 127 || a == 10 || (a == 172 && (b & 0xF0) == 16) || (a == 192 && b == 168) ||
               (a == 169 && b == 254);
    }
    if (inet_pton(AF_INET6, text.c_str(), bytes.data()) == 1) {
        static constexpr std::array<unsigned char, 16> loopback{0, 0, 0, 0, 0, 0, 0, 0,
                                                                0, 0, 0, 0, 0, 0, 0, 1};
        return bytes == loopback || (bytes[0] == 0xFE && (bytes[1] & 0xC0) == 0x80) ||
               (bytes[0] & 0xFE) == 0xFC;
    }
    // A name without a dot ("nas", "localhost") can only be resolved on the local network.
    return text.find('.') == std::string::npos;
}

HttpResponse performHttpRequest(const HttpRequest& request, const HttpLimits& limits,
                                const RetryWait& wait) {
    HttpResponse response;
    if (curlLibrary() == nullptr) {
        // No exchange is possible: as a NAS that cannot be reached, never a crash.
        response.error = "libcurl could not be loaded";
        return response;
    }
    initialiseCurlOnce();
    const auto deadline = Clock::now() + limits.total;
    auto remaining = [&deadline] {
        return std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
    };

    for (int attemptsLeft = 1 + std::max(0, limits.connectRetries);;) {
        milliseconds left = remaining();
        if (left <= milliseconds{0}) {
            if (response.error.empty())
                response.error = "time limit reached";
            return response;
        }
        ++response.attempts;
        --attemptsLeft;
        response.error.clear();
        const Attempt attempt = runAttempt(request, limits, left, response);
        if (attempt.code == CURLE_OK) {
            response.completed = true;
            return response;
        }
        if (!attempt.connectFailed || attemptsLeft == 0)
            return response;
        if (remaining() <= limits.retryDelay)
            return response;
        if (wait)
            wait(limits.retryDelay);
        else
            std::this_thread::sleep_for(limits.retryDelay);
    }
}

}  // namespace nas
