// Splits arbitrary bytes with the quote-aware and the plain splitter. The first input byte
// chooses the delimiter; the tokens must lie inside the text, in order, without overlap.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "upnp/text_parsing.h"

namespace {

void checkTokens(const upnp::ParseResult& result, std::string_view text) {
    if (result.count() == 0)
        std::abort();
    const char* previousEnd = text.data();
    for (std::string_view token : result.tokens) {
        if (token.data() < previousEnd || token.data() + token.size() > text.data() + text.size())
            std::abort();
        previousEnd = token.data() + token.size();
        const std::string_view trimmed = upnp::trimWhitespace(token);
        if (trimmed.size() > token.size())
            std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    static constexpr std::string_view kDelimiters[] = {" ", "=", ",", ":", "::", "\r\n", "\"", ""};
    const std::string_view delimiter = kDelimiters[data[0] % std::size(kDelimiters)];
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    checkTokens(upnp::parseStringQuoted(text, delimiter), text);
    checkTokens(upnp::parseString(text, delimiter), text);
    const int white = upnp::findWhiteSpace(text);
    if (white >= static_cast<int>(text.size()))
        std::abort();
    (void)upnp::parseDecimal(text);
    return 0;
}
