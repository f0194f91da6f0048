#include "framework/language.h"

#include <algorithm>

#include "framework/language_table.h"

namespace framework {
namespace {

constexpr std::size_t kCodeLength = 3;

char16_t FoldToLower(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}
char16_t FoldToUpper(char16_t c) {
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

const LanguageRow* Row(std::int32_t value) {
    const auto table = LanguageTable();
    if (value < 0 || static_cast<std::size_t>(value) >= table.size()) {
        return nullptr;
    }
    return &table[static_cast<std::size_t>(value)];
}

}  // namespace

CLanguage CLanguage::FromCode(const char16_t* code) {
    if (code == nullptr) {
        return CLanguage(kInvalid);
    }
    return FromCode(std::u16string_view(code));
}

CLanguage CLanguage::FromCode(std::u16string_view code) {
    if (code.empty()) {
        return CLanguage(kNeutral);
    }
    if (code.size() != kCodeLength) {
        return CLanguage(kInvalid);
    }
    std::u16string upper(code);
    std::transform(upper.begin(), upper.end(), upper.begin(), FoldToUpper);
    const auto table = LanguageTable();
    for (std::size_t i = 0; i < table.size(); ++i) {
        const std::string_view rowCode = table[i].code;
        if (std::equal(upper.begin(), upper.end(), rowCode.begin(), rowCode.end(),
                       [](char16_t a, char b) { return a == static_cast<char16_t>(b); })) {
            return CLanguage(static_cast<std::int32_t>(i));
        }
    }
    return CLanguage(kInvalid);
}

CLanguage CLanguage::FromAsciiCode(std::string_view code) {
    std::u16string wide;
    for (char c : code) {
        wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    }
    return FromCode(std::u16string_view(wide));
}

CLanguage CLanguage::FromLangId(std::uint16_t langId) {
    const auto table = LanguageTable();
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (table[i].langId == langId) {
            return CLanguage(static_cast<std::int32_t>(i));
        }
    }
    return CLanguage(kInvalid);
}

bool CLanguage::IsValid() const {
    return Row(m_nValue) != nullptr;
}

std::u16string CLanguage::GetCode() const {
    const std::string_view code = GetAsciiCode();
    return std::u16string(code.begin(), code.end());
}

std::string_view CLanguage::GetAsciiCode() const {
    const LanguageRow* row = Row(m_nValue);
    return row ? row->code : std::string_view();
}

std::uint16_t CLanguage::GetLangId() const {
    const LanguageRow* row = Row(m_nValue);
    return row ? row->langId : 0;
}

std::string_view CLanguage::GetCultureName() const {
    const LanguageRow* row = Row(m_nValue);
    return row ? row->culture : std::string_view();
}

unsigned CLanguage::GetAnsiCodePage() const {
    const LanguageRow* row = Row(m_nValue);
    return row ? row->ansiCodePage : 0;
}

bool operator==(const CLanguage& a, const CLanguage& b) {
    return (a <=> b) == 0;
}

std::strong_ordering operator<=>(const CLanguage& a, const CLanguage& b) {
    const std::u16string left = a.GetCode();
    const std::u16string right = b.GetCode();
    return std::lexicographical_compare_three_way(
        left.begin(), left.end(), right.begin(), right.end(),
        [](char16_t x, char16_t y) { return FoldToLower(x) <=> FoldToLower(y); });
}

}  // namespace framework
