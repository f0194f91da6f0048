#include "app/language_choice.h"

#include <algorithm>
#include <array>
#include <iterator>

#include "platform/system_language.h"

namespace {

struct SystemLanguageRow {
    const char16_t* code;
    std::uint16_t primaryLanguage;
    std::uint16_t subLanguage;
};

// Searched in this order.
constexpr std::array<SystemLanguageRow, 13> kSystemLanguages{{
    {u"CHS", 0x04, 0x02},
    {u"CHT", 0x04, 0x01},
    {u"DEU", 0x07, 0x01},
    {u"ENU", 0x09, 0x01},
    {u"ESP", 0x0A, 0x01},
    {u"FRA", 0x0C, 0x01},
    {u"ITA", 0x10, 0x01},
    {u"JPN", 0x11, 0x01},
    {u"KOR", 0x12, 0x01},
    {u"NLD", 0x13, 0x01},
    {u"PTB", 0x16, 0x01},
    {u"RUS", 0x19, 0x01},
    {u"SVE", 0x1D, 0x01},
}};

SystemLanguageSource& Source() {
    static SystemLanguageSource source;
    return source;
}

constexpr std::uint16_t kChinese = 0x04;
// Chinese sub-languages written in traditional characters: Taiwan, Hong Kong, Macao.
constexpr std::uint16_t kTraditionalChinese[] = {0x01, 0x03, 0x05};

const SystemLanguageRow* ExactLanguage(std::uint16_t primary, std::uint16_t sub) {
    for (const SystemLanguageRow& row : kSystemLanguages) {
        if (row.primaryLanguage == primary && row.subLanguage == sub) {
            return &row;
        }
    }
    return nullptr;
}

// The row for a language the table does not list exactly: the first row of the same primary
// language, Chinese by its script.
const SystemLanguageRow* SamePrimaryLanguage(std::uint16_t primary, std::uint16_t sub) {
    if (primary == kChinese) {
        const bool traditional =
            std::find(std::begin(kTraditionalChinese), std::end(kTraditionalChinese), sub) !=
            std::end(kTraditionalChinese);
        return ExactLanguage(primary, traditional ? 0x01 : 0x02);
    }
    for (const SystemLanguageRow& row : kSystemLanguages) {
        if (row.primaryLanguage == primary) {
            return &row;
        }
    }
    return nullptr;
}

}  // namespace

bool ChooseLanguageFromLangId(LanguageChoice& choice, std::uint16_t langId) {
    const std::uint16_t primary = langId & 0x3FF;
    const std::uint16_t sub = langId >> 10;
    const SystemLanguageRow* found = ExactLanguage(primary, sub);
    // Spain reports modern-sort Spanish, Austria its own German, Portugal its own Portuguese:
    // each reads the dictionary of its language rather than English.
    if (found == nullptr) {
        found = SamePrimaryLanguage(primary, sub);
    }
    if (found != nullptr) {
        choice.primaryLanguage = found->primaryLanguage;
        choice.subLanguage = found->subLanguage;
        choice.code = found->code;
    }
    return !choice.code.IsEmpty();
}

bool ChooseLanguageFromSystem(LanguageChoice& choice) {
    const std::uint16_t langId = Source() ? Source()() : platform::systemDefaultLangId();
    return ChooseLanguageFromLangId(choice, langId);
}

SystemLanguageSource SetSystemLanguageSource(SystemLanguageSource source) {
    SystemLanguageSource previous = std::move(Source());
    Source() = std::move(source);
    return previous;
}
