#include "platform/code_page.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

// The iconv names of the Windows code pages the language table uses.
const char* iconvName(unsigned codePage) {
    switch (codePage) {
        case 874:
            return "CP874";
        case 932:
            return "CP932";
        case 936:
            return "CP936";
        case 949:
            return "CP949";
        case 950:
            return "CP950";
        case 1250:
            return "CP1250";
        case 1251:
            return "CP1251";
        case 1252:
            return "CP1252";
        case 1253:
            return "CP1253";
        case 1254:
            return "CP1254";
        case 1255:
            return "CP1255";
        case 1256:
            return "CP1256";
        case 1257:
            return "CP1257";
        case 1258:
            return "CP1258";
        case 65001:
            return "UTF-8";
        default:
            return nullptr;
    }
}

// One iconv conversion descriptor, closed when it goes.
class Converter {
  public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (valid()) {
            iconv_close(cd_);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

  private:
    iconv_t cd_;
};

unsigned effectiveCodePage(unsigned codePage) {
    return codePage == 0 ? kActiveAnsiCodePage : codePage;
}

// Appends UTF-16LE bytes as code units.
void appendUnits(std::u16string& out, const char* bytes, std::size_t count) {
    for (std::size_t i = 0; i + 1 < count; i += 2) {
        out.push_back(static_cast<char16_t>(static_cast<std::uint8_t>(bytes[i]) |
                                            (static_cast<std::uint8_t>(bytes[i + 1]) << 8)));
    }
}

}  // namespace

bool isCodePageSupported(unsigned codePage) {
    const char* name = iconvName(effectiveCodePage(codePage));
    return name != nullptr && Converter("UTF-16LE", name).valid();
}

std::u16string codePageToUtf16(unsigned codePage, std::string_view bytes) {
    const char* name = iconvName(effectiveCodePage(codePage));
    if (name == nullptr) {
        return {};
    }
    Converter converter("UTF-16LE", name);
    if (!converter.valid()) {
        return {};
    }
    std::u16string out;
    out.reserve(bytes.size());
    std::vector<char> buffer(4096);
    char* in = const_cast<char*>(bytes.data());  // iconv's interface is not const-correct
    std::size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char* outPtr = buffer.data();
        std::size_t outLeft = buffer.size();
        const std::size_t result = iconv(converter.get(), &in, &inLeft, &outPtr, &outLeft);
        appendUnits(out, buffer.data(), buffer.size() - outLeft);
        if (result != static_cast<std::size_t>(-1)) {
            continue;
        }
        if (errno == E2BIG) {
            continue;
        }
        // EILSEQ: a byte that starts no character of the code page; EINVAL: a lead byte whose
        // trail is missing at the end. Either way one byte becomes U+FFFD and conversion goes on.
        out.push_back(kReplacement);
        ++in;
        --inLeft;
        iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
    }
    // The system conversion includes the terminating zero and callers take the text up to the
    // first zero character.
    const std::size_t zero = out.find(u'\0');
    if (zero != std::u16string::npos) {
        out.resize(zero);
    }
    return out;
}

std::optional<std::string> utf16ToCodePage(unsigned codePage, std::u16string_view text) {
    const char* name = iconvName(effectiveCodePage(codePage));
    if (name == nullptr) {
        return std::nullopt;
    }
    Converter converter(name, "UTF-16LE");
    if (!converter.valid()) {
        return std::nullopt;
    }
    std::string input;
    input.reserve(text.size() * 2);
    for (char16_t unit : text) {
        input.push_back(static_cast<char>(unit & 0xFF));
        input.push_back(static_cast<char>(unit >> 8));
    }
    std::string out;
    std::vector<char> buffer(4096);
    char* in = input.data();
    std::size_t inLeft = input.size();
    while (inLeft > 0) {
        char* outPtr = buffer.data();
        std::size_t outLeft = buffer.size();
        const std::size_t result = iconv(converter.get(), &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer.data(), buffer.size() - outLeft);
        if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
            return std::nullopt;
        }
    }
    // Flush a stateful encoder's shift state (none of the Windows code pages has one).
    char* outPtr = buffer.data();
    std::size_t outLeft = buffer.size();
    iconv(converter.get(), nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer.data(), buffer.size() - outLeft);
    // Reject many-to-one mappings: only characters that come back unchanged are representable.
    if (codePageToUtf16(codePage, out) != text) {
        return std::nullopt;
    }
    return out;
}

}  // namespace platform
