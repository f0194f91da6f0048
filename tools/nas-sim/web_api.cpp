#include "tools/nas-sim/web_api.h"

#include <algorithm>

#include "tools/nas-sim/description_xml.h"

namespace nassim {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string usersDocument(const std::vector<std::string>& users) {
    std::string out = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<users>\n";
    for (const std::string& user : users)
        out += "  <user username=\"" + xmlEscape(user) + "\"/>\n";
    out += "</users>\n";
    return out;
}

std::string percentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
                   hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

std::map<std::string, std::string> parseForm(std::string_view body) {
    std::map<std::string, std::string> fields;
    while (!body.empty()) {
        const size_t amp = body.find('&');
        const std::string_view field = body.substr(0, amp);
        if (!field.empty()) {
            const size_t equals = field.find('=');
            const std::string name = percentDecode(field.substr(0, equals));
            const std::string value =
                equals == std::string_view::npos ? "" : percentDecode(field.substr(equals + 1));
            fields.emplace(name, value);
        }
        if (amp == std::string_view::npos)
            break;
        body.remove_prefix(amp + 1);
    }
    return fields;
}

LoginOutcome checkLogin(const std::map<std::string, std::string>& form,
                        const std::vector<std::string>& users,
                        const std::map<std::string, std::string>& passwords) {
    const auto user = form.find("username");
    const auto password = form.find("password");
    if (user == form.end() || password == form.end())
        return LoginOutcome::MissingField;
    if (std::find(users.begin(), users.end(), user->second) == users.end())
        return LoginOutcome::UnknownUser;
    const auto expected = passwords.find(user->second);
    const std::string_view wanted =
        expected == passwords.end() ? std::string_view() : std::string_view(expected->second);
    return password->second == wanted ? LoginOutcome::Accepted : LoginOutcome::WrongPassword;
}

std::string_view loginOutcomeName(LoginOutcome outcome) {
    switch (outcome) {
        case LoginOutcome::Accepted:
            return "accepted";
        case LoginOutcome::WrongPassword:
            return "wrong-password";
        case LoginOutcome::UnknownUser:
            return "unknown-user";
        case LoginOutcome::MissingField:
            return "missing-field";
    }
    return "?";
}

}  // namespace nassim
