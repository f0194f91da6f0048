#include "tools/nas-sim/options.h"

#include <charconv>

#include "tools/nas-sim/addresses.h"

namespace nassim {

namespace {

std::optional<long> parseNumber(std::string_view text, long low, long high) {
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value < low || value > high)
        return std::nullopt;
    return value;
}

std::vector<std::string_view> splitList(std::string_view text) {
    std::vector<std::string_view> parts;
    while (true) {
        const size_t comma = text.find(',');
        parts.push_back(text.substr(0, comma));
        if (comma == std::string_view::npos)
            return parts;
        text.remove_prefix(comma + 1);
    }
}

// A user name must survive being an XML attribute value and a form field unchanged in meaning;
// control characters and quotes would only test the escaping of this tool, not the client.
bool isSafeUserName(std::string_view name) {
    if (name.empty() || name.size() > 64)
        return false;
    for (char c : name) {
        if (static_cast<unsigned char>(c) < 0x21 || c == '"' || c == '=' || c == 0x7F)
            return false;
    }
    return true;
}

}  // namespace

std::string usageText() {
    return "usage: drivescout-nas-sim [options]\n"
           "  --homevault N            Homevault devices (default 1)\n"
           "  --others M               other UPnP devices (default 0)\n"
           "  --base-address A         first device address, in 127.0.0.0/8 (default 127.0.1.1)\n"
           "  --http-port P            HTTP port of every device (default 80)\n"
           "  --users a,b,...          users listed by get_users, in this order\n"
           "  --password user=secret   password of a user (repeatable, or a,b lists)\n"
           "  --lifetime S             CACHE-CONTROL max-age (default 1800)\n"
           "  --announce-interval S    seconds between NOTIFY alive rounds, 0 = none (default 30)\n"
           "  --no-initial-alive       do not announce at start\n"
           "  --framing length|chunked|close   HTTP body framing (default length)\n"
           "  --embedded K             embedded devices under every root (default 0)\n"
           "  --fail-description 404|malformed|hang   description requests fail (hang: never "
           "answered)\n"
           "  --answer-at-once         answer M-SEARCH at once instead of after a random MX delay\n"
           "  --max-answer-delay-ms T  bound of the random MX delay (default 5000)\n"
           "  --url-base               descriptions carry a URLBase element\n"
           "  --login-failure status|text   wrong password: 403, or 200 with a plain text\n"
           "  --duration S             end by itself after S seconds (default 300, max 3600)\n"
           "  --exit-on-eof            end when stdin closes\n"
           "Commands on stdin, one a line (I is a device number from 1, or 'all'):\n"
           "  alive I | byebye I | update I | silence I | relocate I [PORT] | lifetime I S |\n"
           "  fail I none|404|malformed|hang | framing I length|chunked|close | quit\n";
}

OptionsResult parseOptions(const std::vector<std::string_view>& args) {
    OptionsResult result;
    SimOptions options;
    auto fail = [&result](std::string message) {
        result.error = std::move(message);
        return result;
    };

    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view name = args[i];
        auto value = [&]() -> std::optional<std::string_view> {
            if (i + 1 >= args.size())
                return std::nullopt;
            return args[++i];
        };
        auto number = [&](long low, long high) -> std::optional<long> {
            const auto text = value();
            if (!text)
                return std::nullopt;
            return parseNumber(*text, low, high);
        };
        const std::string bad = std::string("bad or missing value for ") + std::string(name);

        if (name == "--help" || name == "-h") {
            result.helpRequested = true;
            return result;
        } else if (name == "--homevault") {
            const auto n = number(0, kMaxDevices);
            if (!n)
                return fail(bad);
            options.homevaultCount = static_cast<int>(*n);
        } else if (name == "--others") {
            const auto n = number(0, kMaxDevices);
            if (!n)
                return fail(bad);
            options.otherCount = static_cast<int>(*n);
        } else if (name == "--base-address") {
            const auto text = value();
            const auto address = text ? parseIpv4(*text) : std::nullopt;
            if (!address)
                return fail(bad);
            options.baseAddress = *address;
        } else if (name == "--http-port") {
            const auto n = number(1, 65535);
            if (!n)
                return fail(bad);
            options.httpPort = static_cast<uint16_t>(*n);
        } else if (name == "--users") {
            const auto text = value();
            if (!text)
                return fail(bad);
            options.users.clear();
            for (std::string_view user : splitList(*text)) {
                if (!isSafeUserName(user))
                    return fail("bad user name: '" + std::string(user) + "'");
                options.users.emplace_back(user);
            }
        } else if (name == "--password") {
            const auto text = value();
            if (!text)
                return fail(bad);
            for (std::string_view pair : splitList(*text)) {
                const size_t equals = pair.find('=');
                if (equals == std::string_view::npos || !isSafeUserName(pair.substr(0, equals)))
                    return fail("bad --password entry (want user=password): '" + std::string(pair) +
                                "'");
                options.passwords[std::string(pair.substr(0, equals))] =
                    std::string(pair.substr(equals + 1));
            }
        } else if (name == "--lifetime") {
            const auto n = number(0, 86400);
            if (!n)
                return fail(bad);
            options.lifetimeSeconds = static_cast<int>(*n);
        } else if (name == "--announce-interval") {
            const auto n = number(0, kMaxDurationSeconds);
            if (!n)
                return fail(bad);
            options.announceIntervalSeconds = static_cast<int>(*n);
        } else if (name == "--no-initial-alive") {
            options.initialAlive = false;
        } else if (name == "--framing") {
            const auto text = value();
            if (text == "length")
                options.framing = Framing::Length;
            else if (text == "chunked")
                options.framing = Framing::Chunked;
            else if (text == "close")
                options.framing = Framing::Close;
            else
                return fail(bad);
        } else if (name == "--embedded") {
            const auto n = number(0, kMaxEmbedded);
            if (!n)
                return fail(bad);
            options.embeddedCount = static_cast<int>(*n);
        } else if (name == "--fail-description") {
            const auto text = value();
            if (text == "404")
                options.descriptionFault = DescriptionFault::NotFound;
            else if (text == "malformed")
                options.descriptionFault = DescriptionFault::Malformed;
            else if (text == "hang")
                options.descriptionFault = DescriptionFault::Hang;
            else
                return fail(bad);
        } else if (name == "--answer-at-once") {
            options.answerAtOnce = true;
        } else if (name == "--max-answer-delay-ms") {
            const auto n = number(0, 120000);
            if (!n)
                return fail(bad);
            options.maxAnswerDelayMs = static_cast<int>(*n);
        } else if (name == "--url-base") {
            options.urlBase = true;
        } else if (name == "--login-failure") {
            const auto text = value();
            if (text == "status")
                options.loginFailure = LoginFailure::Status;
            else if (text == "text")
                options.loginFailure = LoginFailure::Text;
            else
                return fail(bad);
        } else if (name == "--duration") {
            const auto n = number(1, kMaxDurationSeconds);
            if (!n)
                return fail(bad);
            options.durationSeconds = static_cast<int>(*n);
        } else if (name == "--exit-on-eof") {
            options.exitOnEof = true;
        } else {
            return fail("unknown option: " + std::string(name));
        }
    }

    if (options.deviceCount() < 1)
        return fail("no devices: give --homevault or --others a count above 0");
    if (options.deviceCount() > kMaxDevices)
        return fail("too many devices (at most " + std::to_string(kMaxDevices) + ")");
    // Every address in use must be a loopback host, so nothing can leave the machine.
    if (!isLoopbackHost(options.baseAddress) ||
        !loopbackAddressAfter(options.baseAddress,
                              static_cast<uint32_t>(options.deviceCount() - 1)))
        return fail("refusing to start: device addresses " + formatIpv4(options.baseAddress) +
                    " and following must all lie in 127.0.0.0/8");
    result.options = std::move(options);
    return result;
}

}  // namespace nassim
