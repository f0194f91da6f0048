#pragma once

// What a simulated device answers over HTTP: its description at its LOCATION path and, on a
// Homevault, the two web application calls. Everything else is 404. Single-threaded.

#include <random>
#include <string>

#include "tools/nas-sim/device_model.h"
#include "tools/nas-sim/http_request.h"
#include "tools/nas-sim/http_response.h"
#include "tools/nas-sim/options.h"

namespace nassim {

struct SiteAnswer {
    HttpResponse response;
    std::string logLine;  // one line for stdout, without its newline
    bool hold = false;    // send nothing: keep the connection open, unanswered
};

class HttpSite {
  public:
    // Borrows `options` (users, passwords, login failure, URLBase) for its whole life.
    explicit HttpSite(const SimOptions& options);

    SiteAnswer answer(const SimDevice& device, const HttpRequest& request);

  private:
    HttpResponse description(const SimDevice& device, const HttpRequest& request);
    HttpResponse validateUser(const SimDevice& device, const HttpRequest& request,
                              std::string& logDetail);
    std::string newToken();

    const SimOptions& options_;
    std::mt19937_64 random_;
};

// Makes a client-supplied text safe for one output line: spaces, control bytes and bytes above
// 0x7E become '?', and it is cut at 200 bytes.
std::string loggable(std::string_view text);

}  // namespace nassim
