#include "framework/dictionary_localization.h"

#include "framework/dictionary_language.h"
#include "framework/merged_dictionary.h"
#include "platform/resources.h"

namespace framework {

bool CDictionaryLocalization::EnsureLoaded() {
    if (!m_bLoaded) {
        m_bLoaded = LoadMergedDictionary(platform::currentResourceModule(),
                                         static_cast<unsigned>(GetResourceId()));
    }
    return m_bLoaded;
}

bool CDictionaryLocalization::SetLanguage(const CLanguage& language) {
    if (!EnsureLoaded()) {
        return false;
    }
    return SelectDictionaryLanguage(language);
}

bool CDictionaryLocalization::IsLanguageAvailable(const CLanguage& language) {
    if (!EnsureLoaded()) {
        return false;
    }
    return IsDictionaryLanguageAvailable(language);
}

}  // namespace framework
