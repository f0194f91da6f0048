#include "framework/dictionary_language.h"

#include "framework/localization_dictionary.h"
#include "framework/merged_dictionary.h"

namespace framework {
namespace {

// Modern-sort Spanish is served by the dictionary's ESP (traditional sort) column.
CLanguage DictionaryColumn(const CLanguage& language) {
    if (language == CLanguage::FromCode(u"ESN")) {
        return CLanguage::FromCode(u"ESP");
    }
    return language;
}

}  // namespace

CMergedLocalizationDictionary& GetMergedDictionary() {
    static CMergedLocalizationDictionary instance;
    return instance;
}

CLocalizationDictionary& GetRuntimeDictionary() {
    static CLocalizationDictionary instance;
    return instance;
}

bool LoadMergedDictionary(const platform::ResourceModule* module, unsigned id) {
    return LoadMergedDictionary(GetMergedDictionary(), module, id);
}

bool SelectDictionaryLanguage(const CLanguage& language) {
    if (language.IsNeutral()) {
        GetRuntimeDictionary().Clear();
        return true;
    }
    return GetMergedDictionary().ExtractLanguage(DictionaryColumn(language),
                                                 GetRuntimeDictionary());
}

bool IsDictionaryLanguageAvailable(const CLanguage& language) {
    if (language.IsNeutral()) {
        return true;
    }
    const CLanguage column = DictionaryColumn(language);
    return column.IsValid() && GetMergedDictionary().HasLanguage(column);
}

}  // namespace framework
