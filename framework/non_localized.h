#pragma once

// CNonLocalized: no translation at all. Only the neutral language can be made current.

#include "framework/localization.h"

namespace framework {

class CNonLocalized final : public CTkxUserInterfaceLocalization {
  public:
    bool SetLanguage(const CLanguage& language) override { return language.IsNeutral(); }
    bool IsLanguageAvailable(const CLanguage& language) override { return language.IsNeutral(); }
};

}  // namespace framework
