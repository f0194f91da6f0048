#pragma once

// CDeviceLoginDlg: the sign-in page (template 105). The user picks one of the device's users,
// types the password and signs in, which gives the user's own folder a drive; "Skip" goes on with
// the Public folder only, "Select a different drive" back to the discovery page. Failures show in
// red on the page; a connection of another user to the same NAS can be signed out first.
//
// Everything about the device and the user lives in g_NasContext. The password goes only to the
// mapping and into g_NasContext; it is never written to the system log or anywhere else.
//
// UI thread only; owned by the main dialog (m_pMainDlg is borrowed).

#include <vector>

#include "app/base_disc_dlg.h"
#include "sdk/LBString.h"

class CDriveScoutDlg;

class CDeviceLoginDlg : public CBaseDiscDlg {
  public:
    explicit CDeviceLoginDlg(CDriveScoutDlg* mainDlg);
    ~CDeviceLoginDlg() override;

    // Called by the main dialog before the page is shown: the device's user names, listed in the
    // order the device sent them. A user who already has a drive for their folder on this
    // computer is preselected.
    void FillUserList(const std::vector<LBString>& users);

    // "Sign in", "Skip" and "Select a different drive".
    void OnSignIn();
    void OnSkip();
    void OnSelectDifferentDrive();
    // Another user was selected: the password field is emptied.
    void OnUserChanged();
    // Shows the error indicators with `text` in red.
    void ShowSignInError(const LBString& text);

  protected:
    bool OnInitDialog() override;
    // Grey for every control, red for the error text.
    QColor OnCtlColor(const QWidget& control, int controlId) override;

  private:
    void HideErrorIndicators();

    CDriveScoutDlg* m_pMainDlg;  // not owned
};
