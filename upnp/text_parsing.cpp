#include "upnp/text_parsing.h"

#include <climits>

namespace upnp {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

ParseResult parseString(std::string_view text, std::string_view delimiter) {
    ParseResult result;
    if (delimiter.empty()) {
        result.tokens.push_back(text);
        return result;
    }
    size_t tokenStart = 0;
    for (size_t at = text.find(delimiter); at != std::string_view::npos;
         at = text.find(delimiter, tokenStart)) {
        result.tokens.push_back(text.substr(tokenStart, at - tokenStart));
        tokenStart = at + delimiter.size();
    }
    result.tokens.push_back(text.substr(tokenStart));
    return result;
}

ParseResult parseStringQuoted(std::string_view text, std::string_view delimiter) {
    ParseResult result;
    if (delimiter.empty()) {
        result.tokens.push_back(text);
        return result;
    }
    char quote = 0;
    bool quoted = false;
    size_t tokenStart = 0;
    size_t at = 0;
    while (at < text.size()) {
        const char c = text[at];
        if (quote == 0 && (c == '"' || c == '\''))
            quote = c;
        if (quote != 0 && c == quote) {
            quoted = !quoted;
            ++at;
            continue;
        }
        if (!quoted && text.substr(at, delimiter.size()) == delimiter) {
            result.tokens.push_back(text.substr(tokenStart, at - tokenStart));
            at += delimiter.size();
            tokenStart = at;
            continue;
        }
        ++at;
    }
    result.tokens.push_back(text.substr(tokenStart));
    return result;
}

std::string_view trimWhitespace(std::string_view text) {
    size_t begin = 0;
    while (begin < text.size() && isBlank(text[begin]))
        ++begin;
    if (begin == text.size())
        return text;
    size_t end = text.size();
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

int findWhiteSpace(std::string_view text) {
    const size_t at = text.find_first_of(" \t\r\n");
    if (at == std::string_view::npos || at > static_cast<size_t>(INT_MAX))
        return -1;
    return static_cast<int>(at);
}

int parseDecimal(std::string_view text) {
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            break;
        value = value * 10 + (c - '0');
        if (value > INT_MAX)
            return 0;
    }
    return static_cast<int>(value);
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

}  // namespace upnp
