#pragma once

// CLanguage: a language as an index into the framework's language table (language_table.h),
// or neutral (no language chosen) or invalid (a code or identifier the table does not know).
// A plain value; any thread.

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

namespace framework {

class CLanguage {
  public:
    static constexpr std::int32_t kNeutral = -2;
    static constexpr std::int32_t kInvalid = -1;

    // Neutral.
    constexpr CLanguage() = default;
    // Any number: 0..72 is a table row, -2 neutral, everything else behaves as invalid.
    constexpr explicit CLanguage(std::int32_t value) : m_nValue(value) {}

    // Null gives invalid, the empty text neutral, a text whose length is not 3 invalid;
    // otherwise the row whose code equals the text ignoring case, or invalid.
    static CLanguage FromCode(const char16_t* code);
    static CLanguage FromCode(std::u16string_view code);
    // The same for ASCII codes (the dictionary's 3-byte language codes).
    static CLanguage FromAsciiCode(std::string_view code);
    // The row whose LANGID is `langId`, or invalid.
    static CLanguage FromLangId(std::uint16_t langId);

    bool IsValid() const;
    bool IsNeutral() const { return m_nValue == kNeutral; }
    std::int32_t GetValue() const { return m_nValue; }

    // Three upper-case letters; empty for anything that is not a row.
    std::u16string GetCode() const;
    std::string_view GetAsciiCode() const;
    // 0 for anything that is not a row.
    std::uint16_t GetLangId() const;
    // Culture name such as "de-DE"; empty for anything that is not a row.
    std::string_view GetCultureName() const;
    // The language's default ANSI code page (936 for CHS, 1251 for RUS, ...); 0 when not a row.
    unsigned GetAnsiCodePage() const;

    // Equality and order compare the codes without regard to case, so every value that is not a
    // row equals every other such value and sorts before all rows.
    friend bool operator==(const CLanguage& a, const CLanguage& b);
    friend std::strong_ordering operator<=>(const CLanguage& a, const CLanguage& b);

  private:
    std::int32_t m_nValue = kNeutral;
};

}  // namespace framework
