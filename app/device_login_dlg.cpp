#include "app/device_login_dlg.h"

#include <QComboBox>

#include "app/dialog_templates.h"
#include "app/qt_text.h"

namespace {

constexpr int kUserList = 1008;

}  // namespace

CDeviceLoginDlg::CDeviceLoginDlg(CDriveScoutDlg* mainDlg)
    : CBaseDiscDlg(IDD_DEVICE_LOGIN), m_pMainDlg(mainDlg) {}

CDeviceLoginDlg::~CDeviceLoginDlg() = default;

bool CDeviceLoginDlg::OnInitDialog() {
    return CBaseDiscDlg::OnInitDialog();
}

void CDeviceLoginDlg::FillUserList(const std::vector<LBString>& users) {
    auto* list = GetDlgItemAs<QComboBox>(kUserList);
    if (list == nullptr) {
        return;
    }
    list->clear();
    for (const LBString& user : users) {
        list->addItem(ToQString(user));
    }
    list->setCurrentIndex(users.empty() ? -1 : 0);
}
