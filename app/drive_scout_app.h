#pragma once

// CDriveScoutApp: the wizard's application object. InitInstance reads the command line,
// chooses the language (the LANGUAGE option, else the system's default language, else
// English), hands it with the dictionary resource 148 to the localization, and runs the main
// dialog modally. UI thread only; one object per process, made at the start of main.

#include <QStringList>
#include <cstdint>

#include "app/command_line_info.h"
#include "app/language_choice.h"
#include "app/qt_translations.h"
#include "app/tkx_win_app.h"

class CDriveScoutApp : public CTkxWinApp {
  public:
    // Installs the dictionary localization (type 2).
    CDriveScoutApp();

    // Runs the whole wizard; returns false so that the process ends after it.
    bool InitInstance() override;

    // Start-up up to the language: parses `argumentsWithProgram` into m_cmdInfo, looks the
    // system's language up into m_language, and gives the localization the dictionary and the
    // chosen code, and installs Qt's own translation for it where the system has one. Returns the
    // code chosen (before it is checked against the language table).
    LBString SelectLanguage(const QStringList& argumentsWithProgram);

    CDiscoveryCommandLineInfo m_cmdInfo;
    LanguageChoice m_language;
    QtTranslations m_qtTranslations;
    // Restart support as the platform knows it: may be restarted, nothing else. Nothing here
    // acts on it.
    std::uint32_t m_dwRestartManagerSupportFlags = 1;
};
