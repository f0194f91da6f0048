#include "app/disc_done_dlg.h"

#include <QGuiApplication>
#include <QProcess>
#include <QPushButton>
#include <cstdio>

#include "app/artwork.h"
#include "app/device_disc_dlg.h"
#include "app/dialog_templates.h"
#include "app/drive_scout_dlg.h"
#include "app/load_text.h"
#include "app/nas/nas_context.h"
#include "app/nas/nas_web_api.h"
#include "app/qt_text.h"
#include "resources/string_ids.h"

namespace {

constexpr int kDone = 1012;
constexpr int kDeviceName = 1013;
constexpr int kDriveListHeading = 1030;
constexpr int kLaunchHint = 1032;
constexpr int kPublicLine = 1031;
constexpr int kPublicIcon = 1039;
constexpr int kPrivateIcon = 1040;
constexpr int kPrivateLine = 1033;
constexpr int kCongratulations = 1037;
constexpr int kSignedInLine = 1034;

const QColor kGreen(115, 190, 42);

CDiscDoneDlg::UrlOpener& CurrentOpener() {
    static CDiscDoneDlg::UrlOpener opener;
    return opener;
}

// The desktop's default browser. Without a screen there is nobody to show a browser to: the
// address is printed instead.
void OpenWithDesktop(const QString& url) {
    if (QGuiApplication::platformName() == QStringLiteral("offscreen")) {
        std::printf("Drive Scout would open %s\n", url.toUtf8().constData());
        std::fflush(stdout);
        return;
    }
    QProcess::startDetached(QStringLiteral("xdg-open"), {url});
}

QString Text(std::uint32_t id) {
    return ToQString(LoadText(id));
}

}  // namespace

CDiscDoneDlg::CDiscDoneDlg(CDriveScoutDlg* mainDlg)
    : CBaseDiscDlg(IDD_DISCOVERY_DONE), m_pMainDlg(mainDlg) {}

CDiscDoneDlg::~CDiscDoneDlg() = default;

CDiscDoneDlg::UrlOpener CDiscDoneDlg::SetUrlOpener(UrlOpener opener) {
    UrlOpener previous = std::move(CurrentOpener());
    CurrentOpener() = std::move(opener);
    return previous;
}

void CDiscDoneDlg::OpenUrl(const QString& url) {
    if (CurrentOpener()) {
        CurrentOpener()(url);
    } else {
        OpenWithDesktop(url);
    }
}

bool CDiscDoneDlg::OnInitDialog() {
    CBaseDiscDlg::OnInitDialog();
    SetDlgItemText(kDone, Text(resources::IDS_DONE));
    SetDlgItemText(kLaunchHint, Text(resources::IDS_CLICK_DONE));
    SetDlgItemText(kDriveListHeading, Text(resources::IDS_DRIVES_ASSIGNED));
    SetDlgItemText(kCongratulations, Text(resources::IDS_CONGRATULATIONS));

    SetControlFont(GetDlgItem(kDeviceName), m_fontTitle);
    for (int id : {kDriveListHeading, kLaunchHint, kPublicLine, kPrivateLine, kSignedInLine}) {
        SetControlFont(GetDlgItem(id), m_fontText);
    }
    SetControlFont(GetDlgItem(kCongratulations), m_fontBold);
    // The green check means what the congratulation line says.
    for (size_t i = 0; i < Template().controls.size() && i < Controls().size(); ++i) {
        if (Template().controls[i].bitmapId == IDB_CHECK) {
            Controls()[i]->setAccessibleName(Text(resources::IDS_CONGRATULATIONS));
        }
    }

    if (auto* button = GetDlgItemAs<QPushButton>(kDone)) {
        connect(button, &QPushButton::clicked, this, [this] { OnDone(); });
    }
    return true;
}

QColor CDiscDoneDlg::OnCtlColor(const QWidget&, int controlId) {
    return controlId == kCongratulations ? kGreen : GreyTextColor();
}

void CDiscDoneDlg::FillDonePage() {
    const NasContext& context = g_NasContext;
    SetDlgItemText(kDeviceName, ToQString(context.strName));
    LBString hint;
    hint.Format(LoadText(resources::IDS_CLICK_DONE).GetString(), context.strName.GetString());
    SetDlgItemText(kLaunchHint, ToQString(hint));

    const bool publicMapped = context.bPublicMapped != 0;
    ShowDlgItem(kPublicIcon, publicMapped);
    ShowDlgItem(kPublicLine, publicMapped);
    if (publicMapped) {
        SetDlgItemText(kPublicLine, ToQString(context.strPublicDrive) + QStringLiteral(" Public"));
        SetDlgItemAccessibleName(kPublicIcon, GetDlgItemText(kPublicLine));
    }

    const bool privateMapped = context.bPrivateMapped != 0;
    ShowDlgItem(kPrivateIcon, privateMapped);
    ShowDlgItem(kPrivateLine, privateMapped);
    if (privateMapped) {
        SetDlgItemText(kPrivateLine, ToQString(context.strPrivateDrive) + QStringLiteral(" ") +
                                         ToQString(context.strUserName));
        SetDlgItemAccessibleName(kPrivateIcon, GetDlgItemText(kPrivateLine));
        LBString signedIn;
        signedIn.Format(LoadText(resources::IDS_LOGGED_IN_AS).GetString(),
                        context.strUserName.GetString());
        SetDlgItemText(kSignedInLine, ToQString(signedIn));
    } else {
        SetDlgItemText(kSignedInLine, Text(resources::IDS_NOT_LOGGED_IN));
    }
}

void CDiscDoneDlg::OnDone() {
    LBString url;
    if (g_NasContext.bPrivateMapped != 0 && !g_NasContext.strPassword.IsEmpty() &&
        nas::GetWebAppUrl(g_NasContext, url, WizardWebApiSettings()) == 1) {
        OpenUrl(ToQString(url));
    } else {
        OpenUrl(QStringLiteral("http://") + ToQString(g_NasContext.strAddress));
    }
    if (m_pMainDlg != nullptr) {
        m_pMainDlg->EndDialog(IDOK);
    }
}
