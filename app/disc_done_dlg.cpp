#include "app/disc_done_dlg.h"

#include "app/dialog_templates.h"
#include "app/nas/nas_context.h"
#include "app/qt_text.h"

namespace {

constexpr int kDeviceName = 1013;

}  // namespace

CDiscDoneDlg::CDiscDoneDlg(CDriveScoutDlg* mainDlg)
    : CBaseDiscDlg(IDD_DISCOVERY_DONE), m_pMainDlg(mainDlg) {}

CDiscDoneDlg::~CDiscDoneDlg() = default;

bool CDiscDoneDlg::OnInitDialog() {
    return CBaseDiscDlg::OnInitDialog();
}

void CDiscDoneDlg::FillDonePage() {
    SetDlgItemText(kDeviceName, ToQString(g_NasContext.strName));
}
