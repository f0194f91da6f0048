#pragma once

// CDeviceDiscDlg: the discovery page (template 104), the wizard's first page.
//
// For now a placeholder: the page's controls as the template lays them out, all hidden, without
// the SDK session, the search or the device list. It keeps the constructor and the pointer back to
// the main dialog that the main dialog relies on. UI thread only; owned by the main dialog.

#include "app/base_disc_dlg.h"

class CDriveScoutDlg;

class CDeviceDiscDlg : public CBaseDiscDlg {
  public:
    explicit CDeviceDiscDlg(CDriveScoutDlg* mainDlg);
    ~CDeviceDiscDlg() override;

  protected:
    bool OnInitDialog() override;

  private:
    [[maybe_unused]] CDriveScoutDlg* m_pMainDlg;  // not owned
};
