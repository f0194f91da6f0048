#include "app/drive_scout_app.h"

#include <QCoreApplication>

#include "app/app_globals.h"
#include "app/drive_scout_dlg.h"
#include "framework/language.h"
#include "framework/localization.h"
#include "resources/string_ids.h"

CDriveScoutApp::CDriveScoutApp() : CTkxWinApp(framework::kLocalizationDictionary) {}

LBString CDriveScoutApp::SelectLanguage(const QStringList& argumentsWithProgram) {
    ParseCommandLine(m_cmdInfo, argumentsWithProgram);
    // Looked up even when the option decides.
    ChooseLanguageFromSystem(m_language);
    const LBString code =
        m_cmdInfo.m_strLanguage.IsEmpty() ? m_language.code : m_cmdInfo.m_strLanguage;
    if (framework::CTkxUserInterfaceLocalization* localization = framework::GetLocalization()) {
        localization->SetResourceId(std::int32_t(resources::IDR_DICTIONARY));
        // A language that cannot be made current leaves the English texts.
        localization->SetLanguage(framework::CLanguage::FromCode(code.View()));
    }
    // Qt's own texts (edit menus, standard buttons) follow the same language.
    m_qtTranslations.Install(code);
    return code;
}

bool CDriveScoutApp::InitInstance() {
    // Common controls, the restart manager, the shell manager and the settings key of the
    // platform framework have no counterpart here: Qt's widgets need no set-up, and the wizard
    // stores nothing.
    SetAppName(g_strAppTitle);
    SelectLanguage(QCoreApplication::arguments());
    CDriveScoutDlg dialog;
    dialog.DoModal();
    return false;
}
