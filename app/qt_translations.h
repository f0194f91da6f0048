#pragma once

// Qt's own texts (the context menus of edit fields, the standard buttons of Qt's dialogs) in the
// wizard's language, from the translations the system's Qt brings (Debian:
// qt6-translations-l10n). Where the system has none for the language, Qt's texts stay English.
//
// UI thread only; needs the QCoreApplication to exist while a translation is installed.

#include <QString>
#include <memory>

#include "sdk/LBString.h"

class QTranslator;

// The Qt locale name of a wizard language code ("DEU" → "de", "CHT" → "zh_TW"), in any case;
// empty for a code the wizard does not know.
QString QtLocaleName(const LBString& languageCode);

class QtTranslations {
  public:
    QtTranslations();
    ~QtTranslations();  // removes what it installed
    QtTranslations(const QtTranslations&) = delete;
    QtTranslations& operator=(const QtTranslations&) = delete;

    // Installs qtbase's translation for `languageCode` in place of the one installed before.
    // False (and nothing installed) when there is no application, the code is unknown or English,
    // or the system has no translation for it.
    bool Install(const LBString& languageCode);

  private:
    void Remove();

    std::unique_ptr<QTranslator> m_translator;
};
