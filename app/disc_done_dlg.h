#pragma once

// CDiscDoneDlg: the done page (template 106), the wizard's last page. It lists the drives the
// NAS's folders were given and who is signed in; "Done" opens the NAS's web application in the
// browser (with a sign-in token when a user signed in with a password) and ends the wizard.
//
// Addresses are opened through a process-wide URL opener: xdg-open by default (on the offscreen
// platform the address is printed instead, so nothing outside is reached); tests install their
// own.
//
// UI thread only; owned by the main dialog (m_pMainDlg is borrowed).

#include <QString>
#include <functional>

#include "app/base_disc_dlg.h"

class CDriveScoutDlg;

class CDiscDoneDlg : public CBaseDiscDlg {
  public:
    explicit CDiscDoneDlg(CDriveScoutDlg* mainDlg);
    ~CDiscDoneDlg() override;

    // Called by the main dialog before the page is shown: fills the page from g_NasContext.
    void FillDonePage();
    // "Done": opens the web application and ends the main dialog with IDOK.
    void OnDone();

    // Opens an address in the user's browser; the result is not looked at.
    using UrlOpener = std::function<void(const QString& url)>;
    // Installs `opener` (empty: the default) and returns the previous one (empty for the
    // default).
    static UrlOpener SetUrlOpener(UrlOpener opener);
    // Opens `url` with the current opener.
    static void OpenUrl(const QString& url);

  protected:
    bool OnInitDialog() override;
    // Grey for every control, green for the congratulation line.
    QColor OnCtlColor(const QWidget& control, int controlId) override;

  private:
    CDriveScoutDlg* m_pMainDlg;  // not owned
};
