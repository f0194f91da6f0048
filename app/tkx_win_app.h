#pragma once

// CTkxWinApp: the framework's application base. Constructing it installs the localization
// strategy of the given type process-wide; destroying it releases the strategy. Every message
// box shown through the application object (DoMessageBox, AfxMessageBox) has its prompt
// translated through the runtime dictionary first. There is one application object at a time.
//
// User-interface thread only.

#include <QString>
#include <cstdint>
#include <functional>

#include "app/dialog_results.h"
#include "sdk/LBString.h"

class CTkxWinApp {
  public:
    // `localizationType`: 0 none, 1 satellite files, 2 dictionary (this application). Another
    // number installs no localization; construction never fails.
    explicit CTkxWinApp(std::int32_t localizationType);
    virtual ~CTkxWinApp();
    CTkxWinApp(const CTkxWinApp&) = delete;
    CTkxWinApp& operator=(const CTkxWinApp&) = delete;

    // Runs the application; false ends it without a message loop of its own. The base does
    // nothing and returns true.
    virtual bool InitInstance();

    // Shows `prompt`, translated when the runtime dictionary has it (exact text, then without
    // "&"), with the application name as caption; returns the button pressed (IDOK, IDYES ...).
    virtual int DoMessageBox(const LBString& prompt, unsigned type, unsigned helpContextId);

    // Help is not offered: reports failure.
    virtual bool WinHelp(std::uintptr_t data, unsigned command);
    // Selecting a language together with a translated help file is not offered: reports failure.
    virtual bool SelectLanguageAndHelp(const LBString& languageCode, const LBString& helpFolder);
    // Culture name of the recorded language: not offered, empty.
    virtual LBString GetCultureName() const;

    // The caption of message boxes (empty until the application names itself).
    const LBString& GetAppName() const { return m_strAppName; }
    void SetAppName(const LBString& name) { m_strAppName = name; }

    // What finally shows a message box: (caption, text, type) -> button pressed. The default
    // shows a Qt message box; tests install their own. An empty function restores the default.
    using MessageBoxPresenter =
        std::function<int(const QString& caption, const QString& text, unsigned type)>;
    static MessageBoxPresenter SetMessageBoxPresenter(MessageBoxPresenter presenter);

  private:
    LBString m_strAppName;
};

// The application object, or null when none exists.
CTkxWinApp* AfxGetApp();

// A message box through the application object (its prompt translated); without an
// application object the prompt is shown as passed. Returns the button pressed.
int AfxMessageBox(const LBString& prompt, unsigned type = MB_OK, unsigned helpContextId = 0);
