#include "framework/language_table.h"

#include <array>

namespace framework {
namespace {

// Index order is the value of CLanguage and must not change. Each LANGID is the language whose
// abbreviated name is the code; each code page is that language's default ANSI code page.
constexpr std::array<LanguageRow, 73> kLanguages = {{
    {"ENU", 0x0409, "en-US", 1252}, {"ENG", 0x0809, "en-GB", 1252},
    {"ENC", 0x1009, "en-CA", 1252}, {"ENA", 0x0C09, "en-AU", 1252},
    {"UKR", 0x0422, "uk-UA", 1251}, {"JPN", 0x0411, "ja-JP", 932},
    {"RUS", 0x0419, "ru-RU", 1251}, {"DEU", 0x0407, "de-DE", 1252},
    {"FRA", 0x040C, "fr-FR", 1252}, {"FRC", 0x0C0C, "fr-CA", 1252},
    {"ITA", 0x0410, "it-IT", 1252}, {"PTB", 0x0416, "pt-BR", 1252},
    {"PTG", 0x0816, "pt-PT", 1252}, {"DAN", 0x0406, "da-DK", 1252},
    {"NLD", 0x0413, "nl-NL", 1252}, {"CHT", 0x0404, "zh-TW", 950},
    {"CHS", 0x0804, "zh-CN", 936},  {"ZHH", 0x0C04, "zh-HK", 950},
    {"ZHI", 0x1004, "zh-SG", 936},  {"ZHM", 0x1404, "zh-MO", 950},
    {"FIN", 0x040B, "fi-FI", 1252}, {"HUN", 0x040E, "hu-HU", 1250},
    {"PLK", 0x0415, "pl-PL", 1250}, {"SVE", 0x041D, "sv-SE", 1252},
    {"NOR", 0x0414, "nb-NO", 1252}, {"CSY", 0x0405, "cs-CZ", 1250},
    {"KOR", 0x0412, "ko-KR", 949},  {"SKY", 0x041B, "sk-SK", 1250},
    {"SLV", 0x0424, "sl-SI", 1250}, {"ELL", 0x0408, "el-GR", 1253},
    {"TRK", 0x041F, "tr-TR", 1254}, {"THA", 0x041E, "th-TH", 874},
    {"ESN", 0x0C0A, "es-ES", 1252}, {"ESP", 0x040A, "es-ES_tradnl", 1252},
    {"ESS", 0x2C0A, "es-AR", 1252}, {"ESB", 0x400A, "es-BO", 1252},
    {"ESL", 0x340A, "es-CL", 1252}, {"ESO", 0x240A, "es-CO", 1252},
    {"ESC", 0x140A, "es-CR", 1252}, {"ESD", 0x1C0A, "es-DO", 1252},
    {"ESF", 0x300A, "es-EC", 1252}, {"ESE", 0x440A, "es-SV", 1252},
    {"ESG", 0x100A, "es-GT", 1252}, {"ESH", 0x480A, "es-HN", 1252},
    {"ESM", 0x080A, "es-MX", 1252}, {"ESI", 0x4C0A, "es-NI", 1252},
    {"ESA", 0x180A, "es-PA", 1252}, {"ESZ", 0x3C0A, "es-PY", 1252},
    {"ESR", 0x280A, "es-PE", 1252}, {"ESU", 0x500A, "es-PR", 1252},
    {"ESY", 0x380A, "es-UY", 1252}, {"ESV", 0x200A, "es-VE", 1252},
    {"CAT", 0x0403, "ca-ES", 1252}, {"HRV", 0x041A, "hr-HR", 1250},
    {"ARA", 0x0401, "ar-SA", 1256}, {"ARG", 0x1401, "ar-DZ", 1256},
    {"ARH", 0x3C01, "ar-BH", 1256}, {"ARE", 0x0C01, "ar-EG", 1256},
    {"ARI", 0x0801, "ar-IQ", 1256}, {"ARJ", 0x2C01, "ar-JO", 1256},
    {"ARK", 0x3401, "ar-KW", 1256}, {"ARB", 0x3001, "ar-LB", 1256},
    {"ARL", 0x1001, "ar-LY", 1256}, {"ARM", 0x1801, "ar-MA", 1256},
    {"ARO", 0x2001, "ar-OM", 1256}, {"ARQ", 0x4001, "ar-QA", 1256},
    {"ARS", 0x2801, "ar-SY", 1256}, {"ART", 0x1C01, "ar-TN", 1256},
    {"ARU", 0x3801, "ar-AE", 1256}, {"ARY", 0x2401, "ar-YE", 1256},
    {"HEB", 0x040D, "he-IL", 1255}, {"IND", 0x0421, "id-ID", 1252},
    {"MSL", 0x043E, "ms-MY", 1252},
}};

}  // namespace

std::span<const LanguageRow> LanguageTable() {
    return kLanguages;
}

}  // namespace framework
