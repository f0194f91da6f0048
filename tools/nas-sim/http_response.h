#pragma once

// HTTP responses of the simulated devices, written out in one of the three ways a body can end.

#include <string>

#include "tools/nas-sim/options.h"

namespace nassim {

struct HttpResponse {
    int status = 200;
    std::string contentType = "text/plain";
    std::string body;
};

std::string_view reasonPhrase(int status);

// The whole response as bytes. `framing` Length: Content-Length; Chunked: the body in three
// chunks (only when the client speaks HTTP/1.1, else Close); Close: no length, the end of the
// body is the end of the connection. `keepAlive` is what the client asked for; Close framing
// always closes. `headOnly` leaves the body out (HEAD). `closeAfter` tells whether the
// connection must close once the bytes are out.
std::string formatResponse(const HttpResponse& response, Framing framing, bool http11,
                           bool keepAlive, bool headOnly, bool& closeAfter);

}  // namespace nassim
