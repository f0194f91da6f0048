#pragma once

// CDiscDoneDlg: the done page (template 106), the wizard's last page.
//
// For now a placeholder: the page's controls as the template lays them out. FillDonePage shows
// the device's name; the drive lines and the "Done" button come with the page itself. UI thread
// only; owned by the main dialog.

#include "app/base_disc_dlg.h"

class CDriveScoutDlg;

class CDiscDoneDlg : public CBaseDiscDlg {
  public:
    explicit CDiscDoneDlg(CDriveScoutDlg* mainDlg);
    ~CDiscDoneDlg() override;

    // Called by the main dialog before the page is shown: fills the page from g_NasContext.
    void FillDonePage();

  protected:
    bool OnInitDialog() override;

  private:
    [[maybe_unused]] CDriveScoutDlg* m_pMainDlg;  // not owned
};
