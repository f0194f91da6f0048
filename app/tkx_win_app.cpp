#include "app/tkx_win_app.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include "app/load_text.h"
#include "app/qt_text.h"
#include "framework/localization.h"
#include "framework/prompt_translation.h"
#include "resources/string_ids.h"

namespace {

CTkxWinApp* g_pApp = nullptr;

// The button's text from the string table (translated), or Qt's own when the table lacks it.
void LabelButton(QMessageBox& box, QMessageBox::StandardButton which, std::uint32_t textId) {
    const LBString text = LoadText(textId);
    if (QAbstractButton* button = box.button(which); button != nullptr && !text.IsEmpty()) {
        button->setText(ToQString(text));
    }
}

int ShowQtMessageBox(const QString& caption, const QString& text, unsigned type) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(caption);
    box.setText(text);
    switch (type & MB_ICONMASK) {
        case MB_ICONERROR:
            box.setIcon(QMessageBox::Critical);
            break;
        case MB_ICONQUESTION:
            box.setIcon(QMessageBox::Question);
            break;
        case MB_ICONWARNING:
            box.setIcon(QMessageBox::Warning);
            break;
        case MB_ICONINFORMATION:
            box.setIcon(QMessageBox::Information);
            break;
        default:
            box.setIcon(QMessageBox::NoIcon);
            break;
    }
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case MB_YESNOCANCEL:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            break;
        case MB_YESNO:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        default:
            box.setStandardButtons(QMessageBox::Ok);
            break;
    }
    LabelButton(box, QMessageBox::Ok, resources::IDS_BUTTON_OK);
    LabelButton(box, QMessageBox::Yes, resources::IDS_BUTTON_YES);
    LabelButton(box, QMessageBox::No, resources::IDS_BUTTON_NO);
    switch (box.exec()) {
        case QMessageBox::Ok:
            return IDOK;
        case QMessageBox::Yes:
            return IDYES;
        case QMessageBox::No:
            return IDNO;
        default:
            return IDCANCEL;
    }
}

CTkxWinApp::MessageBoxPresenter& Presenter() {
    static CTkxWinApp::MessageBoxPresenter presenter;
    return presenter;
}

int Present(const QString& caption, const QString& text, unsigned type) {
    return Presenter() ? Presenter()(caption, text, type) : ShowQtMessageBox(caption, text, type);
}

}  // namespace

CTkxWinApp::CTkxWinApp(std::int32_t localizationType) {
    g_pApp = this;
    framework::SetLocalizationType(localizationType);
}

CTkxWinApp::~CTkxWinApp() {
    framework::ReleaseLocalization();
    if (g_pApp == this) {
        g_pApp = nullptr;
    }
}

bool CTkxWinApp::InitInstance() {
    return true;
}

int CTkxWinApp::DoMessageBox(const LBString& prompt, unsigned type, unsigned) {
    const std::u16string text = framework::TranslatePrompt(prompt.View());
    return Present(ToQString(m_strAppName), ToQString(text), type);
}

bool CTkxWinApp::WinHelp(std::uintptr_t, unsigned) {
    return false;
}

bool CTkxWinApp::SelectLanguageAndHelp(const LBString&, const LBString&) {
    return false;
}

LBString CTkxWinApp::GetCultureName() const {
    return {};
}

CTkxWinApp::MessageBoxPresenter CTkxWinApp::SetMessageBoxPresenter(MessageBoxPresenter presenter) {
    MessageBoxPresenter previous = std::move(Presenter());
    Presenter() = std::move(presenter);
    return previous;
}

CTkxWinApp* AfxGetApp() {
    return g_pApp;
}

int AfxMessageBox(const LBString& prompt, unsigned type, unsigned helpContextId) {
    if (CTkxWinApp* app = AfxGetApp()) {
        return app->DoMessageBox(prompt, type, helpContextId);
    }
    return Present(QString(), ToQString(prompt), type);
}
