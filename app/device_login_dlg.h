#pragma once

// CDeviceLoginDlg: the sign-in page (template 105).
//
// For now a placeholder: the page's controls as the template lays them out. FillUserList puts
// the names into the user list; signing in comes with the page itself. UI thread only; owned by
// the main dialog.

#include <vector>

#include "app/base_disc_dlg.h"
#include "sdk/LBString.h"

class CDriveScoutDlg;

class CDeviceLoginDlg : public CBaseDiscDlg {
  public:
    explicit CDeviceLoginDlg(CDriveScoutDlg* mainDlg);
    ~CDeviceLoginDlg() override;

    // Called by the main dialog before the page is shown: the device's user names, in the
    // order the device sent them.
    void FillUserList(const std::vector<LBString>& users);

  protected:
    bool OnInitDialog() override;

  private:
    [[maybe_unused]] CDriveScoutDlg* m_pMainDlg;  // not owned
};
