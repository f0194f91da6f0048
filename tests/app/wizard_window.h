#pragma once

// The wizard's main window as a test meets it: made and shown as the application shows it, with
// the page on show and the texts of its controls at hand.

#include <QWidget>
#include <string>

#include "app/base_disc_dlg.h"
#include "app/device_disc_dlg.h"
#include "app/device_login_dlg.h"
#include "app/dialog_templates.h"
#include "app/disc_done_dlg.h"
#include "app/drive_scout_dlg.h"

namespace wizardtest {

class Wizard : public CDriveScoutDlg {
  public:
    Wizard() {
        Create(nullptr);
        show();
    }
    CDeviceDiscDlg& Discovery() const { return *DiscoveryPage(); }
    bool Showing(const QWidget* page) const { return page->isVisibleTo(this); }
    bool OnDiscovery() const { return Showing(DiscoveryPage()); }
    bool OnSignIn() const { return Showing(SignInPage()); }
    bool OnDone() const { return Showing(DonePage()); }
    std::string Header() const { return GetDlgItemText(IDC_HEADER_TEXT).toStdString(); }
};

// The text of control `id` of `page`.
inline std::string Text(const CBaseDiscDlg& page, int id) {
    return page.GetDlgItemText(id).toStdString();
}

}  // namespace wizardtest
