#include "app/drive_scout_dlg.h"

#include <QKeySequence>
#include <QShortcut>
#include <algorithm>

#include "app/app_globals.h"
#include "app/device_disc_dlg.h"
#include "app/device_login_dlg.h"
#include "app/dialog_templates.h"
#include "app/disc_done_dlg.h"
#include "app/load_text.h"
#include "app/qt_text.h"
#include "app/window_snapshot.h"
#include "resources/string_ids.h"

namespace {

// The device line of the sign-in page.
constexpr int kSignInDeviceLine = 1013;
// The logo's place among the main dialog's controls (it has no id of its own).
constexpr size_t kLogoIndex = 1;

LBString HeaderFor(std::uint32_t stepTextId) {
    return g_strAppTitle + LBString(u": ") + LoadText(stepTextId);
}

}  // namespace

CDriveScoutDlg::CDriveScoutDlg(QWidget* parent) : CBaseDiscDlg(IDD_DRIVESCOUT_DIALOG, parent) {}

// The pages go first, while this dialog is still whole: the discovery page closes its SDK
// session as it goes.
CDriveScoutDlg::~CDriveScoutDlg() {
    m_pDonePage.reset();
    m_pSignInPage.reset();
    m_pDiscoveryPage.reset();
}

bool CDriveScoutDlg::OnInitDialog() {
    CBaseDiscDlg::OnInitDialog();
    setWindowTitle(ToQString(g_strAppTitle));
    // The window's close keys end the wizard as its close box does. A window manager usually
    // takes Alt+F4 itself and closes the window, which comes to the same.
    QList<QKeySequence> closeKeys = QKeySequence::keyBindings(QKeySequence::Close);
    if (const QKeySequence altF4(Qt::ALT | Qt::Key_F4); !closeKeys.contains(altF4)) {
        closeKeys.append(altF4);  // a second binding of the same keys would make both ambiguous
    }
    for (const QKeySequence& keys : closeKeys) {
        auto* shortcut = new QShortcut(keys, this);  // owned by this dialog
        connect(shortcut, &QShortcut::activated, this, [this] { OnCancel(); });
    }

    // The logo shows the maker's name; a screen reader says it.
    if (Controls().size() > kLogoIndex) {
        Controls()[kLogoIndex]->setAccessibleName(QStringLiteral("Homevault"));
    }

    m_pDiscoveryPage = std::make_unique<CDeviceDiscDlg>(this);
    m_pSignInPage = std::make_unique<CDeviceLoginDlg>(this);
    m_pDonePage = std::make_unique<CDiscDoneDlg>(this);

    m_pDiscoveryPage->Create(this);
    m_pSignInPage->Create(this);
    m_pDonePage->Create(this);

    m_nPageAreaHeight = PageAreaRect().height();
    LayOutPages();

    ShowDiscoveryPage();
    return true;
}

QRect CDriveScoutDlg::PageAreaRect() const {
    // The first control of the template marks the page area.
    return Controls().empty() ? QRect() : Controls().front()->geometry();
}

std::array<CBaseDiscDlg*, 3> CDriveScoutDlg::Pages() const {
    return {m_pDiscoveryPage.get(), m_pSignInPage.get(), m_pDonePage.get()};
}

void CDriveScoutDlg::LayOutPages() {
    if (m_nPageAreaHeight == 0 || Controls().empty()) {
        return;  // the pages are still being made
    }
    int extra = 0;
    for (CBaseDiscDlg* page : Pages()) {
        extra = std::max(extra, page->ExtraHeight());
    }
    SetControlHeight(Controls().front(), m_nPageAreaHeight + extra);
    const QRect pageArea = PageAreaRect();
    for (CBaseDiscDlg* page : Pages()) {
        page->setGeometry(pageArea.x(), pageArea.y(), pageArea.width(),
                          m_nPageAreaHeight + page->ExtraHeight());
        page->update();
    }
}

void CDriveScoutDlg::OnChildDialogResized(CBaseDiscDlg&) {
    LayOutPages();
}

void CDriveScoutDlg::ShowOnly(CBaseDiscDlg* page, const char* snapshotStep) {
    for (CBaseDiscDlg* each : Pages()) {
        if (each != nullptr && each != page) {
            each->hide();
        }
    }
    if (page != nullptr) {
        page->show();
        // The keyboard goes with the page: a control of a hidden page must not keep it.
        page->FocusFirstControl();
    }
    ScheduleWindowSnapshot(*this, QString::fromLatin1(snapshotStep));
}

void CDriveScoutDlg::ShowDiscoveryPage() {
    SetHeaderText(HeaderFor(resources::IDS_DISCOVER));
    ShowOnly(m_pDiscoveryPage.get(), "discover");
}

void CDriveScoutDlg::ShowSignInPage(const LBString& name, const std::vector<LBString>& users) {
    SetHeaderText(HeaderFor(resources::IDS_SIGN_IN));
    if (m_pSignInPage) {
        m_pSignInPage->SetDlgItemText(kSignInDeviceLine, ToQString(name));
        m_pSignInPage->FillUserList(users);
    }
    ShowOnly(m_pSignInPage.get(), "sign-in");
}

void CDriveScoutDlg::ShowDonePage() {
    SetHeaderText(HeaderFor(resources::IDS_ASSIGN));
    if (m_pDonePage) {
        m_pDonePage->FillDonePage();
    }
    ShowOnly(m_pDonePage.get(), "done");
}

void CDriveScoutDlg::SetHeaderText(const LBString& text) {
    QWidget* header = GetDlgItem(IDC_HEADER_TEXT);
    SetControlFont(header, m_fontTitle);
    SetDlgItemText(IDC_HEADER_TEXT, ToQString(text));
}

void CDriveScoutDlg::OnOK() {
    EndDialog(IDOK);
}

void CDriveScoutDlg::OnCancel() {
    EndDialog(IDCANCEL);
}

QColor CDriveScoutDlg::OnCtlColor(const QWidget&, int controlId) {
    return controlId == IDC_HEADER_TEXT ? GreyTextColor() : DefaultTextColor();
}

bool CDriveScoutDlg::OnHelpInfo() {
    return false;
}
