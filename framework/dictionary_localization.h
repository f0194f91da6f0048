#pragma once

// CDictionaryLocalization: texts are translated through the merged dictionary carried as a
// resource of the program (Dictionary, id set with SetResourceId). The dictionary is read from
// the current resource module at the first SetLanguage or IsLanguageAvailable that finds it,
// and stays in memory; a failed read is tried again on the next call.

#include "framework/localization.h"

namespace framework {

class CDictionaryLocalization final : public CTkxUserInterfaceLocalization {
  public:
    bool SetLanguage(const CLanguage& language) override;
    bool IsLanguageAvailable(const CLanguage& language) override;

    bool IsLoaded() const { return m_bLoaded; }

  private:
    bool EnsureLoaded();

    bool m_bLoaded = false;
};

}  // namespace framework
