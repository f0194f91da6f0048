#include "tools/nas-sim/http_response.h"

#include <cstdio>

#include "tools/nas-sim/ssdp_wire.h"

namespace nassim {

std::string_view reasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 411:
            return "Length Required";
        case 413:
            return "Content Too Large";
        case 431:
            return "Request Header Fields Too Large";
        case 500:
            return "Internal Server Error";
        case 501:
            return "Not Implemented";
        case 503:
            return "Service Unavailable";
        case 505:
            return "HTTP Version Not Supported";
        default:
            return "Unknown";
    }
}

std::string formatResponse(const HttpResponse& response, Framing framing, bool http11,
                           bool keepAlive, bool headOnly, bool& closeAfter) {
    if (framing == Framing::Chunked && !http11)
        framing = Framing::Close;  // HTTP/1.0 clients cannot read chunks
    closeAfter = !keepAlive || framing == Framing::Close;

    std::string out = "HTTP/1.1 " + std::to_string(response.status) + " " +
                      std::string(reasonPhrase(response.status)) + "\r\n";
    out += "DATE: " + httpDate() + "\r\n";
    out += std::string("SERVER: ") + kServerHeader + "\r\n";
    out += "Content-Type: " + response.contentType + "\r\n";
    if (framing == Framing::Length)
        out += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
    else if (framing == Framing::Chunked)
        out += "Transfer-Encoding: chunked\r\n";
    if (closeAfter)
        out += "Connection: close\r\n";
    out += "\r\n";
    if (headOnly)
        return out;

    if (framing != Framing::Chunked) {
        out += response.body;
        return out;
    }
    // Three chunks of uneven size, so a reader that assumes one chunk per body shows up.
    const size_t size = response.body.size();
    const size_t cuts[] = {0, size / 5, size / 2, size};
    for (int i = 0; i < 3; ++i) {
        const size_t length = cuts[i + 1] - cuts[i];
        if (length == 0)
            continue;
        char line[32];
        std::snprintf(line, sizeof line, "%zx\r\n", length);
        out += line;
        out.append(response.body, cuts[i], length);
        out += "\r\n";
    }
    out += "0\r\n\r\n";
    return out;
}

}  // namespace nassim
