#pragma once

#include <string_view>
#include <vector>

namespace upnp {

// The tokens of one split, each a view into the source text; nothing is copied, so the source
// must outlive the result. A split always yields at least one token: n delimiters give n + 1
// tokens, empty ones included ("a,,b" on "," gives "a", "", "b"; an empty text gives one empty
// token).
struct ParseResult {
    std::vector<std::string_view> tokens;

    size_t count() const { return tokens.size(); }
    std::string_view operator[](size_t index) const { return tokens[index]; }
    std::string_view first() const { return tokens.front(); }
    std::string_view last() const { return tokens.back(); }
};

// Splits `text` at every occurrence of `delimiter`. An empty delimiter never matches (the whole
// text is the one token).
ParseResult parseString(std::string_view text, std::string_view delimiter);

// As parseString, but a delimiter inside quoted text does not split. The first double or single
// quotation mark in the text becomes the quote character for the rest of the text, and each
// occurrence of it toggles the quoted state. Quotation marks stay part of the tokens:
// name="a b" c  split on " "  →  name="a b"  and  c.
ParseResult parseStringQuoted(std::string_view text, std::string_view delimiter);

// Removes leading and trailing blanks (space and horizontal tab only). A text made only of
// blanks is returned unchanged.
std::string_view trimWhitespace(std::string_view text);

// Index of the first tab, line feed, carriage return or space, or -1 when there is none.
int findWhiteSpace(std::string_view text);

// The decimal value of the leading ASCII digits of `text` (no sign, no leading blanks). A field
// that does not begin with a digit, or whose value does not fit an int, yields 0.
int parseDecimal(std::string_view text);

// Equal but for the case of ASCII letters, as protocol words (header names, "chunked", "close",
// attribute names) are compared; other bytes must match exactly.
bool equalsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace upnp
