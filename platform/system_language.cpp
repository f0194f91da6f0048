#include "platform/system_language.h"

#include <array>
#include <cstdlib>
#include <string>

namespace platform {
namespace {

struct LocaleLangId {
    std::string_view locale;  // "ll_CC" or "ll" (the language's default region)
    std::uint16_t langId;
};

// Windows language identifiers of the POSIX locales, region-specific rows first. Spain reports
// modern-sort Spanish (0x0C0A), as Windows does for es-ES.
constexpr LocaleLangId kLocales[] = {
    {"ar_AE", 0x3801},
    {"ar_BH", 0x3C01},
    {"ar_DZ", 0x1401},
    {"ar_EG", 0x0C01},
    {"ar_IQ", 0x0801},
    {"ar_JO", 0x2C01},
    {"ar_KW", 0x3401},
    {"ar_LB", 0x3001},
    {"ar_LY", 0x1001},
    {"ar_MA", 0x1801},
    {"ar_OM", 0x2001},
    {"ar_QA", 0x4001},
    {"ar_SA", 0x0401},
    {"ar_SY", 0x2801},
    {"ar_TN", 0x1C01},
    {"ar_YE", 0x2401},
    {"bg_BG", 0x0402},
    {"ca_ES", 0x0403},
    {"cs_CZ", 0x0405},
    {"da_DK", 0x0406},
    {"de_AT", 0x0C07},
    {"de_CH", 0x0807},
    {"de_DE", 0x0407},
    {"de_LI", 0x1407},
    {"de_LU", 0x1007},
    {"el_GR", 0x0408},
    {"en_AU", 0x0C09},
    {"en_CA", 0x1009},
    {"en_GB", 0x0809},
    {"en_IE", 0x1809},
    {"en_IN", 0x4009},
    {"en_NZ", 0x1409},
    {"en_SG", 0x4809},
    {"en_US", 0x0409},
    {"en_ZA", 0x1C09},
    {"es_AR", 0x2C0A},
    {"es_BO", 0x400A},
    {"es_CL", 0x340A},
    {"es_CO", 0x240A},
    {"es_CR", 0x140A},
    {"es_DO", 0x1C0A},
    {"es_EC", 0x300A},
    {"es_ES", 0x0C0A},
    {"es_GT", 0x100A},
    {"es_HN", 0x480A},
    {"es_MX", 0x080A},
    {"es_NI", 0x4C0A},
    {"es_PA", 0x180A},
    {"es_PE", 0x280A},
    {"es_PR", 0x500A},
    {"es_PY", 0x3C0A},
    {"es_SV", 0x440A},
    {"es_US", 0x540A},
    {"es_UY", 0x380A},
    {"es_VE", 0x200A},
    {"et_EE", 0x0425},
    {"fi_FI", 0x040B},
    {"fr_BE", 0x080C},
    {"fr_CA", 0x0C0C},
    {"fr_CH", 0x100C},
    {"fr_FR", 0x040C},
    {"fr_LU", 0x140C},
    {"fr_MC", 0x180C},
    {"he_IL", 0x040D},
    {"hr_HR", 0x041A},
    {"hu_HU", 0x040E},
    {"id_ID", 0x0421},
    {"is_IS", 0x040F},
    {"it_CH", 0x0810},
    {"it_IT", 0x0410},
    {"ja_JP", 0x0411},
    {"ko_KR", 0x0412},
    {"lt_LT", 0x0427},
    {"lv_LV", 0x0426},
    {"ms_BN", 0x083E},
    {"ms_MY", 0x043E},
    {"nb_NO", 0x0414},
    {"nl_BE", 0x0813},
    {"nl_NL", 0x0413},
    {"nn_NO", 0x0814},
    {"pl_PL", 0x0415},
    {"pt_BR", 0x0416},
    {"pt_PT", 0x0816},
    {"ro_RO", 0x0418},
    {"ru_RU", 0x0419},
    {"sk_SK", 0x041B},
    {"sl_SI", 0x0424},
    {"sr_RS", 0x281A},
    {"sv_FI", 0x081D},
    {"sv_SE", 0x041D},
    {"th_TH", 0x041E},
    {"tr_TR", 0x041F},
    {"uk_UA", 0x0422},
    {"vi_VN", 0x042A},
    {"zh_CN", 0x0804},
    {"zh_HK", 0x0C04},
    {"zh_MO", 0x1404},
    {"zh_SG", 0x1004},
    {"zh_TW", 0x0404},
    // A language alone: its usual region.
    {"ar", 0x0401},
    {"bg", 0x0402},
    {"ca", 0x0403},
    {"cs", 0x0405},
    {"da", 0x0406},
    {"de", 0x0407},
    {"el", 0x0408},
    {"en", 0x0409},
    {"es", 0x0C0A},
    {"et", 0x0425},
    {"fi", 0x040B},
    {"fr", 0x040C},
    {"he", 0x040D},
    {"hr", 0x041A},
    {"hu", 0x040E},
    {"id", 0x0421},
    {"is", 0x040F},
    {"it", 0x0410},
    {"ja", 0x0411},
    {"ko", 0x0412},
    {"lt", 0x0427},
    {"lv", 0x0426},
    {"ms", 0x043E},
    {"nb", 0x0414},
    {"nl", 0x0413},
    {"nn", 0x0814},
    {"no", 0x0414},
    {"pl", 0x0415},
    {"pt", 0x0416},
    {"ro", 0x0418},
    {"ru", 0x0419},
    {"sk", 0x041B},
    {"sl", 0x0424},
    {"sr", 0x281A},
    {"sv", 0x041D},
    {"th", 0x041E},
    {"tr", 0x041F},
    {"uk", 0x0422},
    {"vi", 0x042A},
    {"zh", 0x0804},
};

std::uint16_t lookup(std::string_view name) {
    for (const LocaleLangId& row : kLocales) {
        if (row.locale == name) {
            return row.langId;
        }
    }
    return 0;
}

}  // namespace

std::uint16_t langIdFromLocaleName(std::string_view localeName) {
    // language[_territory][.codeset][@modifier]
    const std::size_t end = localeName.find_first_of(".@");
    std::string_view name = localeName.substr(0, end);
    if (name.empty() || name == "C" || name == "POSIX") {
        return kLangIdEnglishUnitedStates;
    }
    if (const std::uint16_t langId = lookup(name)) {
        return langId;
    }
    // An unknown region of a known language, e.g. "de_BE", still speaks that language.
    const std::size_t underscore = name.find('_');
    if (underscore != std::string_view::npos) {
        if (const std::uint16_t langId = lookup(name.substr(0, underscore))) {
            return langId;
        }
    }
    return kLangIdEnglishUnitedStates;
}

std::uint16_t systemDefaultLangId(std::string_view lcAll, std::string_view lcMessages,
                                  std::string_view lang) {
    for (std::string_view value : {lcAll, lcMessages, lang}) {
        if (!value.empty()) {
            return langIdFromLocaleName(value);
        }
    }
    return kLangIdEnglishUnitedStates;
}

}  // namespace platform
