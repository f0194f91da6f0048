#include "tools/nas-sim/http_site.h"

#include <cstdio>

#include "tools/nas-sim/description_xml.h"
#include "tools/nas-sim/web_api.h"

namespace nassim {

namespace {

constexpr std::string_view kXmlType = "text/xml; charset=\"utf-8\"";
constexpr std::string_view kLoginRefusedText = "Invalid user name or password";

bool isRead(const HttpRequest& request) {
    return request.method == "GET" || request.method == "HEAD";
}

HttpResponse status(int code) {
    HttpResponse response;
    response.status = code;
    response.body = std::string(reasonPhrase(code)) + "\n";
    return response;
}

}  // namespace

std::string loggable(std::string_view text) {
    std::string out(text.substr(0, 200));
    for (char& c : out) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F)
            c = '?';
    }
    return out.empty() ? "-" : out;
}

HttpSite::HttpSite(const SimOptions& options)
    : options_(options), random_(std::random_device{}()) {}

SiteAnswer HttpSite::answer(const SimDevice& device, const HttpRequest& request) {
    SiteAnswer result;
    std::string detail;
    const std::string_view path = request.path();
    if (path == device.descriptionPath && device.fault == DescriptionFault::Hang) {
        result.hold = true;
        result.logLine = "http " + std::to_string(device.number) + " " + loggable(request.method) +
                         " " + loggable(request.target) + " hang";
        return result;
    }
    if (path == device.descriptionPath) {
        result.response = isRead(request) ? description(device, request) : status(405);
    } else if (device.homevault && path == kGetUsersPath) {
        if (isRead(request)) {
            result.response.contentType = std::string(kXmlType);
            result.response.body = usersDocument(options_.users);
        } else {
            result.response = status(405);
        }
    } else if (device.homevault && path == kValidateUserPath) {
        result.response =
            request.method == "POST" ? validateUser(device, request, detail) : status(405);
    } else {
        result.response = status(404);
    }
    result.logLine = "http " + std::to_string(device.number) + " " + loggable(request.method) +
                     " " + loggable(request.target) + " " + std::to_string(result.response.status) +
                     detail;
    return result;
}

HttpResponse HttpSite::description(const SimDevice& device, const HttpRequest&) {
    switch (device.fault) {
        case DescriptionFault::NotFound:
            return status(404);
        case DescriptionFault::Malformed: {
            HttpResponse response;
            response.contentType = std::string(kXmlType);
            response.body = malformedDescriptionDocument(device);
            return response;
        }
        case DescriptionFault::None:
        case DescriptionFault::Hang:  // never gets here: the connection is held
            break;
    }
    HttpResponse response;
    response.contentType = std::string(kXmlType);
    response.body = descriptionDocument(device, options_.urlBase);
    return response;
}

HttpResponse HttpSite::validateUser(const SimDevice& device, const HttpRequest& request,
                                    std::string& logDetail) {
    const auto form = parseForm(request.body);
    const LoginOutcome outcome = checkLogin(form, options_.users, options_.passwords);
    const auto user = form.find("username");
    logDetail = " user=" + loggable(user == form.end() ? "" : user->second) + " " +
                std::string(loginOutcomeName(outcome));

    HttpResponse response;
    response.contentType = "text/html";
    if (outcome == LoginOutcome::Accepted) {
        response.body = device.origin() + "/hearthlink/";
        const auto wantsToken = form.find("retToken");
        if (wantsToken != form.end() && wantsToken->second == "1")
            response.body += "?token=" + newToken();
        return response;
    }
    response.body = std::string(kLoginRefusedText);
    if (options_.loginFailure == LoginFailure::Status)
        response.status = 403;
    return response;
}

std::string HttpSite::newToken() {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%016llx%016llx",
                  static_cast<unsigned long long>(random_()),
                  static_cast<unsigned long long>(random_()));
    return buffer;
}

}  // namespace nassim
