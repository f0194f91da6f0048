#include "app/device_disc_dlg.h"

#include "app/dialog_templates.h"

CDeviceDiscDlg::CDeviceDiscDlg(CDriveScoutDlg* mainDlg)
    : CBaseDiscDlg(IDD_DEVICE_DISCOVERY), m_pMainDlg(mainDlg) {}

CDeviceDiscDlg::~CDeviceDiscDlg() = default;

bool CDeviceDiscDlg::OnInitDialog() {
    CBaseDiscDlg::OnInitDialog();
    // Nothing searches yet, so nothing of the search is shown: the page area stays empty.
    for (QWidget* control : Controls()) {
        control->hide();
    }
    return true;
}
