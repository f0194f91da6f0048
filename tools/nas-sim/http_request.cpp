#include "tools/nas-sim/http_request.h"

#include <charconv>

#include "tools/nas-sim/text.h"

namespace nassim {

std::string_view HttpRequest::header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (equalsIgnoringCase(key, name))
            return value;
    }
    return {};
}

bool HttpRequest::hasHeader(std::string_view name) const {
    for (const auto& entry : headers) {
        if (equalsIgnoringCase(entry.first, name))
            return true;
    }
    return false;
}

bool HttpRequest::keepAlive() const {
    const std::string_view connection = header("Connection");
    if (version == "HTTP/1.1")
        return !equalsIgnoringCase(connection, "close");
    return equalsIgnoringCase(connection, "keep-alive");
}

std::string_view HttpRequest::path() const {
    const std::string_view target_view = target;
    return target_view.substr(0, target_view.find('?'));
}

bool HttpRequestParser::takeContinue() {
    if (!continueDue_)
        return false;
    continueDue_ = false;
    continueSent_ = true;
    return true;
}

HttpRequestParser::Status HttpRequestParser::next(HttpRequest& out, int& errorStatus) {
    auto invalid = [&errorStatus](int status) {
        errorStatus = status;
        return Status::Invalid;
    };
    // Blank lines before a request line are allowed (RFC 9112 2.2).
    size_t start = 0;
    while (start + 1 < buffer_.size() && buffer_[start] == '\r' && buffer_[start + 1] == '\n')
        start += 2;
    while (start < buffer_.size() && buffer_[start] == '\n')
        ++start;

    size_t headEnd = buffer_.find("\r\n\r\n", start);
    size_t separator = 4;
    const size_t bareEnd = buffer_.find("\n\n", start);
    if (bareEnd != std::string::npos && (headEnd == std::string::npos || bareEnd < headEnd)) {
        headEnd = bareEnd;
        separator = 2;
    }
    if (headEnd == std::string::npos)
        return buffer_.size() - start > kMaxRequestHead ? invalid(431) : Status::NeedMore;
    if (headEnd - start > kMaxRequestHead)
        return invalid(431);

    HttpRequest request;
    LineReader lines(std::string_view(buffer_).substr(start, headEnd - start));
    const auto requestLine = lines.next();
    if (!requestLine)
        return invalid(400);
    // <method> SP <target> SP HTTP/<major>.<minor>
    const auto words = splitWords(*requestLine);
    if (words.size() != 3 || words[1].empty())
        return invalid(400);
    if (!words[2].starts_with("HTTP/1."))
        return words[2].starts_with("HTTP/") ? invalid(505) : invalid(400);
    request.method = std::string(words[0]);
    request.target = std::string(words[1]);
    request.version = std::string(words[2]);
    while (const auto line = lines.next()) {
        const auto header = splitHeader(*line);
        if (!header)
            return invalid(400);
        request.headers.emplace_back(std::string(header->first), std::string(header->second));
    }

    if (request.hasHeader("Transfer-Encoding"))
        return invalid(501);
    size_t bodyLength = 0;
    bool haveLength = false;
    for (const auto& [name, value] : request.headers) {
        if (!equalsIgnoringCase(name, "Content-Length"))
            continue;
        size_t length = 0;
        const auto [end, error] =
            std::from_chars(value.data(), value.data() + value.size(), length);
        if (error == std::errc::result_out_of_range)
            return invalid(413);
        if (error != std::errc{} || end != value.data() + value.size() || value.empty())
            return invalid(400);
        if (haveLength && length != bodyLength)
            return invalid(400);
        bodyLength = length;
        haveLength = true;
    }
    if (!haveLength && request.method == "POST")
        return invalid(411);
    if (bodyLength > kMaxRequestBody)
        return invalid(413);

    const size_t bodyStart = headEnd + separator;
    if (buffer_.size() - bodyStart < bodyLength) {
        if (!continueSent_ && equalsIgnoringCase(request.header("Expect"), "100-continue"))
            continueDue_ = true;
        return Status::NeedMore;
    }
    request.body = buffer_.substr(bodyStart, bodyLength);
    buffer_.erase(0, bodyStart + bodyLength);
    continueDue_ = false;
    continueSent_ = false;
    out = std::move(request);
    return Status::Complete;
}

}  // namespace nassim
