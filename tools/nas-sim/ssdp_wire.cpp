#include "tools/nas-sim/ssdp_wire.h"

#include <charconv>
#include <ctime>

#include "tools/nas-sim/text.h"

namespace nassim {

namespace {

// "urn:domain:device:Name:3" → ("urn:domain:device:Name", 3); no version → nothing.
std::optional<std::pair<std::string_view, long>> splitVersion(std::string_view type) {
    const size_t colon = type.rfind(':');
    if (colon == std::string_view::npos || colon + 1 >= type.size())
        return std::nullopt;
    long version = 0;
    const std::string_view digits = type.substr(colon + 1);
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), version);
    if (error != std::errc{} || end != digits.data() + digits.size() || version < 1)
        return std::nullopt;
    return std::make_pair(type.substr(0, colon), version);
}

}  // namespace

SearchParse parseSearchRequest(std::string_view datagram) {
    SearchParse result;
    auto reject = [&result](const char* why) {
        result.rejection = why;
        return result;
    };
    LineReader lines(datagram);
    const auto requestLine = lines.next();
    if (!requestLine)
        return reject("empty");
    // M-SEARCH * HTTP/1.1
    const auto parts = splitWords(*requestLine);
    if (parts.size() != 3 || parts[0] != "M-SEARCH")
        return reject("not-m-search");
    if (parts[1] != "*" || !parts[2].starts_with("HTTP/1."))
        return reject("bad-request-line");

    std::optional<std::string_view> man, mx, st;
    while (const auto line = lines.next()) {
        if (line->empty())
            break;
        const auto header = splitHeader(*line);
        if (!header)
            return reject("bad-header");
        if (equalsIgnoringCase(header->first, "MAN"))
            man = header->second;
        else if (equalsIgnoringCase(header->first, "MX"))
            mx = header->second;
        else if (equalsIgnoringCase(header->first, "ST"))
            st = header->second;
    }
    // MAN: "ssdp:discover" (the quotes belong to the value)
    if (!man || *man != "\"ssdp:discover\"")
        return reject("no-man-ssdp-discover");
    if (!mx)
        return reject("no-mx");
    long seconds = 0;
    const auto [end, error] = std::from_chars(mx->data(), mx->data() + mx->size(), seconds);
    if (error == std::errc::result_out_of_range && end == mx->data() + mx->size() &&
        !mx->starts_with('-'))
        seconds = kMaxMxSeconds;
    else if (error != std::errc{} || end != mx->data() + mx->size() || seconds < 0)
        return reject("bad-mx");
    if (!st || st->empty())
        return reject("no-st");
    SearchRequest request;
    request.searchTarget = std::string(*st);
    request.mxSeconds = seconds > kMaxMxSeconds ? kMaxMxSeconds : static_cast<int>(seconds);
    result.request = std::move(request);
    return result;
}

std::vector<SsdpTarget> searchAnswers(const DeviceModel& root, std::string_view st) {
    const std::vector<SsdpTarget> all = announcementTargets(root);
    if (st == "ssdp:all")
        return all;
    std::vector<SsdpTarget> answers;
    if (st == "upnp:rootdevice" || st.starts_with("uuid:")) {
        for (const SsdpTarget& target : all) {
            if (target.nt == st)
                answers.push_back(target);
        }
        return answers;
    }
    // urn:<domain>:device:<type>:<v> or urn:<domain>:service:<type>:<v>
    const auto asked = splitVersion(st);
    if (!st.starts_with("urn:") || !asked)
        return answers;
    for (const SsdpTarget& target : all) {
        const auto offered = splitVersion(target.nt);
        if (!target.nt.starts_with("urn:") || !offered || offered->first != asked->first ||
            offered->second < asked->second)
            continue;
        const std::string udn = target.usn.substr(0, target.usn.find("::"));
        answers.push_back({std::string(st), udn + "::" + std::string(st)});
    }
    return answers;
}

std::string formatSearchAnswer(const SsdpTarget& target, const std::string& location,
                               int maxAgeSeconds, const std::string& date) {
    return "HTTP/1.1 200 OK\r\n"
           "CACHE-CONTROL: max-age=" +
           std::to_string(maxAgeSeconds) +
           "\r\n"
           "DATE: " +
           date +
           "\r\n"
           "EXT:\r\n"
           "LOCATION: " +
           location +
           "\r\n"
           "SERVER: " +
           kServerHeader +
           "\r\n"
           "ST: " +
           target.nt +
           "\r\n"
           "USN: " +
           target.usn +
           "\r\n"
           "Content-Length: 0\r\n"
           "\r\n";
}

std::string formatNotify(NotifyKind kind, const SsdpTarget& target, const std::string& location,
                         int maxAgeSeconds) {
    std::string out = "NOTIFY * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\n";
    switch (kind) {
        case NotifyKind::Alive:
            out += "CACHE-CONTROL: max-age=" + std::to_string(maxAgeSeconds) + "\r\n";
            out += "LOCATION: " + location + "\r\n";
            out += "NT: " + target.nt + "\r\n";
            out += "NTS: ssdp:alive\r\n";
            out += std::string("SERVER: ") + kServerHeader + "\r\n";
            break;
        case NotifyKind::Byebye:
            out += "NT: " + target.nt + "\r\n";
            out += "NTS: ssdp:byebye\r\n";
            break;
        case NotifyKind::Update:
            out += "LOCATION: " + location + "\r\n";
            out += "NT: " + target.nt + "\r\n";
            out += "NTS: ssdp:update\r\n";
            out += "BOOTID.UPNP.ORG: 1\r\nNEXTBOOTID.UPNP.ORG: 2\r\n";
            break;
    }
    out += "USN: " + target.usn + "\r\n\r\n";
    return out;
}

std::string httpDate() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    char buffer[64];
    std::strftime(buffer, sizeof buffer, "%a, %d %b %Y %H:%M:%S GMT", &parts);
    return buffer;
}

}  // namespace nassim
