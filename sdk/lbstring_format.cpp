// printf-style formatting over UTF-16 text. The C library's wide functions work on 32-bit
// wchar_t here, so text conversions are done by hand and numbers by snprintf (their digits are
// ASCII and widen unit by unit). The result is built first and then copied into a buffer of
// exactly its size.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/utf.h"
#include "sdk/LBString.h"

namespace {

struct ConversionSpec {
    std::string flags;
    bool leftAlign = false;
    int width = -1;      // -1: none
    int precision = -1;  // -1: none
    std::string length;  // "", "h", "hh", "l", "ll", "z", "j", "t", "L"
};

void appendPadded(std::u16string& out, std::u16string_view text, const ConversionSpec& conv) {
    size_t padding =
        conv.width > 0 && size_t(conv.width) > text.size() ? size_t(conv.width) - text.size() : 0;
    if (!conv.leftAlign)
        out.append(padding, u' ');
    out.append(text);
    if (conv.leftAlign)
        out.append(padding, u' ');
}

// The conversion written back as narrow printf text, with '*' already resolved.
std::string narrowConversion(const ConversionSpec& conv, char conversion) {
    std::string text = "%" + conv.flags;
    if (conv.width >= 0)
        text += std::to_string(conv.width);
    if (conv.precision >= 0)
        text += "." + std::to_string(conv.precision);
    text += conv.length;
    text += conversion;
    return text;
}

template <typename T>
void appendNumber(std::u16string& out, const ConversionSpec& conv, char conversion, T value) {
    std::string format = narrowConversion(conv, conversion);
    int size = std::snprintf(nullptr, 0, format.c_str(), value);
    if (size <= 0)
        return;
    std::string digits(size_t(size) + 1, '\0');
    std::snprintf(digits.data(), digits.size(), format.c_str(), value);
    digits.resize(size_t(size));
    for (char c : digits)
        out.push_back(static_cast<unsigned char>(c));
}

}  // namespace

void LBString::Format(const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void LBString::FormatV(const char16_t* format, va_list args) {
    std::u16string out;
    const char16_t* p = format == nullptr ? u"" : format;
    while (*p != 0) {
        if (*p != u'%') {
            out.push_back(*p++);
            continue;
        }
        const char16_t* start = p++;
        ConversionSpec conv;
        // %[flags][width][.precision][length]conversion
        while (*p == u'-' || *p == u'+' || *p == u' ' || *p == u'#' || *p == u'0') {
            if (*p == u'-')
                conv.leftAlign = true;
            conv.flags.push_back(char(*p++));
        }
        if (*p == u'*') {
            ++p;
            conv.width = va_arg(args, int);
            if (conv.width < 0) {
                conv.leftAlign = true;
                conv.flags.push_back('-');
                conv.width = conv.width == INT32_MIN ? 0 : -conv.width;
            }
        } else {
            while (*p >= u'0' && *p <= u'9') {
                conv.width = std::max(conv.width, 0);
                if (conv.width < 100000)
                    conv.width = conv.width * 10 + (*p - u'0');
                ++p;
            }
        }
        if (*p == u'.') {
            ++p;
            conv.precision = 0;
            if (*p == u'*') {
                ++p;
                conv.precision = va_arg(args, int);
                if (conv.precision < 0)
                    conv.precision = -1;
            } else {
                while (*p >= u'0' && *p <= u'9') {
                    if (conv.precision < 100000)
                        conv.precision = conv.precision * 10 + (*p - u'0');
                    ++p;
                }
            }
        }
        while (*p == u'h' || *p == u'l' || *p == u'z' || *p == u'j' || *p == u't' || *p == u'L')
            conv.length.push_back(char(*p++));

        char16_t conversion = *p;
        if (conversion != 0)
            ++p;
        const std::string& len = conv.length;
        switch (conversion) {
            case u'%':
                out.push_back(u'%');
                break;
            case u'd':
            case u'i':
                if (len == "ll" || len == "j")
                    appendNumber(out, conv, 'd', va_arg(args, long long));
                else if (len == "l" || len == "z" || len == "t")
                    appendNumber(out, conv, 'd', long(va_arg(args, long)));
                else if (len == "h")
                    appendNumber(out, conv, 'd', int(short(va_arg(args, int))));
                else if (len == "hh")
                    appendNumber(out, conv, 'd', int(static_cast<signed char>(va_arg(args, int))));
                else
                    appendNumber(out, conv, 'd', va_arg(args, int));
                break;
            case u'u':
            case u'x':
            case u'X':
            case u'o': {
                char c = char(conversion);
                ConversionSpec plain = conv;
                plain.length.clear();
                if (len == "ll" || len == "j") {
                    plain.length = "ll";
                    appendNumber(out, plain, c, va_arg(args, unsigned long long));
                } else if (len == "l" || len == "z" || len == "t") {
                    plain.length = "l";
                    appendNumber(out, plain, c, va_arg(args, unsigned long));
                } else if (len == "h") {
                    appendNumber(out, plain, c,
                                 unsigned(static_cast<unsigned short>(va_arg(args, unsigned))));
                } else if (len == "hh") {
                    appendNumber(out, plain, c,
                                 unsigned(static_cast<unsigned char>(va_arg(args, unsigned))));
                } else {
                    appendNumber(out, plain, c, va_arg(args, unsigned));
                }
                break;
            }
            case u'e':
            case u'E':
            case u'f':
            case u'F':
            case u'g':
            case u'G':
            case u'a':
            case u'A': {
                ConversionSpec plain = conv;
                plain.length.clear();
                if (len == "L") {
                    plain.length = "L";
                    appendNumber(out, plain, char(conversion), va_arg(args, long double));
                } else {
                    appendNumber(out, plain, char(conversion), va_arg(args, double));
                }
                break;
            }
            case u'p': {
                ConversionSpec plain = conv;
                plain.length.clear();
                plain.precision = -1;
                appendNumber(out, plain, 'p', va_arg(args, void*));
                break;
            }
            case u'c': {
                char16_t ch = len == "h" ? char16_t(static_cast<unsigned char>(va_arg(args, int)))
                                         : char16_t(va_arg(args, int));
                appendPadded(out, std::u16string_view(&ch, 1), conv);
                break;
            }
            case u's':
            case u'S': {
                std::u16string converted;
                std::u16string_view text;
                if (conversion == u'S' || len == "h") {
                    const char* narrow = va_arg(args, const char*);
                    converted = platform::utf8ToUtf16(narrow == nullptr ? "(null)" : narrow);
                    text = converted;
                } else {
                    const char16_t* wide = va_arg(args, const char16_t*);
                    text = wide == nullptr ? u"(null)" : wide;
                }
                if (conv.precision >= 0 && text.size() > size_t(conv.precision))
                    text = text.substr(0, size_t(conv.precision));
                appendPadded(out, text, conv);
                break;
            }
            default:
                // Unknown or unsafe (%n) conversions are copied literally; no argument is read.
                out.append(start, p);
                break;
        }
    }
    *this = FromUtf16(out);
}
