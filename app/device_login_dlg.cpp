#include "app/device_login_dlg.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <iterator>
#include <utility>

#include "app/app_globals.h"
#include "app/artwork.h"
#include "app/device_disc_dlg.h"
#include "app/dialog_templates.h"
#include "app/drive_scout_dlg.h"
#include "app/load_text.h"
#include "app/nas/drive_letters.h"
#include "app/nas/nas_context.h"
#include "app/nas/nas_web_api.h"
#include "app/qt_text.h"
#include "app/tkx_win_app.h"
#include "app/wizard_event_log.h"
#include "resources/string_ids.h"

namespace {

constexpr int kSelectDifferentDrive = 1016;
constexpr int kSignIn = 1007;
constexpr int kDeviceLine = 1013;
constexpr int kUserList = 1008;
constexpr int kPassword = 1010;
constexpr int kSkip = 1009;
constexpr int kExplanation = 1015;
constexpr int kErrorIcon = 1024;
constexpr int kErrorText = 1026;
constexpr int kErrorMark = 1029;
constexpr int kUserLabel = 1035;
constexpr int kPasswordLabel = 1036;

// Platform error codes the page tells apart.
constexpr int32_t kErrorInvalidPassword = 86;
constexpr int32_t kErrorLogonFailure = 1326;
constexpr int32_t kErrorSessionCredentialConflict = 1219;

const QColor kRed(190, 18, 17);

class WaitCursor {
  public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

QString Text(std::uint32_t id) {
    return ToQString(LoadText(id));
}

LBString FailureMessage(const LBString& user, int32_t err) {
    LBString message;
    message.Format(u"Login device %s(%s) with user %s failed! error code: %d",
                   g_NasContext.strName.GetString(), g_NasContext.strAddress.GetString(),
                   user.GetString(), int(err));
    return message;
}

}  // namespace

CDeviceLoginDlg::CDeviceLoginDlg(CDriveScoutDlg* mainDlg)
    : CBaseDiscDlg(IDD_DEVICE_LOGIN), m_pMainDlg(mainDlg) {}

CDeviceLoginDlg::~CDeviceLoginDlg() = default;

bool CDeviceLoginDlg::OnInitDialog() {
    CBaseDiscDlg::OnInitDialog();
    SetDlgItemText(kErrorText, Text(resources::IDS_WRONG_PASSWORD));
    SetDlgItemText(kDeviceLine, Text(resources::IDS_HEARTHLINK));
    // 159 and 160 follow each other without a blank, as they always have.
    SetDlgItemText(kExplanation, Text(resources::IDS_MULTIPLE_USERS) +
                                     Text(resources::IDS_SELECT_USER) + QStringLiteral("\n") +
                                     Text(resources::IDS_SIGN_IN_PRIVATE_HINT));
    SetDlgItemText(kSignIn, Text(resources::IDS_SIGN_IN));
    SetDlgItemText(kSkip, Text(resources::IDS_SKIP));
    SetDlgItemText(kSelectDifferentDrive, Text(resources::IDS_SELECT_DIFFERENT_DRIVE));
    SetDlgItemText(kUserLabel, Text(resources::IDS_USERNAME) + QStringLiteral(":"));
    SetDlgItemText(kPasswordLabel, Text(resources::IDS_PASSWORD) + QStringLiteral(":"));
    // The fields are tied to their labels, and named by their words (without the colon).
    for (auto [labelId, fieldId] :
         {std::pair{kUserLabel, kUserList}, {kPasswordLabel, kPassword}}) {
        if (auto* label = GetDlgItemAs<QLabel>(labelId)) {
            label->setBuddy(GetDlgItem(fieldId));
        }
    }
    SetDlgItemAccessibleName(kUserList, Text(resources::IDS_USERNAME));
    SetDlgItemAccessibleName(kPassword, Text(resources::IDS_PASSWORD));

    SetControlFont(GetDlgItem(kDeviceLine), m_fontTitle);
    SetControlFont(GetDlgItem(kExplanation), m_fontText);
    SetControlFont(GetDlgItem(kErrorText), m_fontBold);
    SetControlFont(GetDlgItem(kUserLabel), m_fontText);
    SetControlFont(GetDlgItem(kPasswordLabel), m_fontText);

    SetStaticBitmap(kErrorIcon, IDB_CROSS);

    if (auto* button = GetDlgItemAs<QPushButton>(kSignIn)) {
        connect(button, &QPushButton::clicked, this, [this] { OnSignIn(); });
    }
    if (auto* button = GetDlgItemAs<QPushButton>(kSelectDifferentDrive)) {
        connect(button, &QPushButton::clicked, this, [this] { OnSelectDifferentDrive(); });
    }
    if (auto* button = GetDlgItemAs<QPushButton>(kSkip)) {
        connect(button, &QPushButton::clicked, this, [this] { OnSkip(); });
    }
    if (auto* users = GetDlgItemAs<QComboBox>(kUserList)) {
        connect(users, &QComboBox::currentIndexChanged, this, [this](int) { OnUserChanged(); });
    }

    // Tab goes as the eye reads the page: user, password, then the buttons left to right.
    const int tabOrder[] = {kUserList, kPassword, kSignIn, kSkip, kSelectDifferentDrive};
    for (size_t i = 1; i < std::size(tabOrder); ++i) {
        QWidget::setTabOrder(GetDlgItem(tabOrder[i - 1]), GetDlgItem(tabOrder[i]));
    }

    HideErrorIndicators();
    return true;
}

QColor CDeviceLoginDlg::OnCtlColor(const QWidget&, int controlId) {
    return controlId == kErrorText ? kRed : GreyTextColor();
}

void CDeviceLoginDlg::FillUserList(const std::vector<LBString>& users) {
    auto* list = GetDlgItemAs<QComboBox>(kUserList);
    if (list == nullptr) {
        return;
    }
    // Filling is not a change of the user by the user: the password stays.
    const QSignalBlocker quiet(list);
    list->clear();
    for (const LBString& user : users) {
        list->insertItem(list->count(), ToQString(user));
    }
    list->setCurrentIndex(list->count() > 0 ? 0 : -1);

    if (nas::FindPrivateMapping(g_NasContext) == 1 && list->count() > 0) {
        // The user of the drive found, searched from the second item on and then the first. The
        // whole name must match: the drive of "bob" does not make "bobby" the user.
        const QString owner = ToQString(g_NasContext.strUserName);
        const int count = list->count();
        int found = 0;
        for (int step = 1; step <= count; ++step) {
            const int i = step % count;
            if (list->itemText(i).compare(owner, Qt::CaseInsensitive) == 0) {
                found = i;
                break;
            }
        }
        list->setCurrentIndex(found);
    }
}

void CDeviceLoginDlg::OnUserChanged() {
    SetDlgItemText(kPassword, QString());
}

void CDeviceLoginDlg::HideErrorIndicators() {
    for (int id : {kErrorIcon, kErrorText, kErrorMark}) {
        ShowDlgItem(id, false);
    }
}

void CDeviceLoginDlg::ShowSignInError(const LBString& text) {
    for (int id : {kErrorIcon, kErrorText, kErrorMark}) {
        ShowDlgItem(id, true);
    }
    SetDlgItemText(kErrorText, ToQString(text));
    // The cross and the mark beside the password say what the error text says.
    SetDlgItemAccessibleName(kErrorIcon, ToQString(text));
    SetDlgItemAccessibleName(kErrorMark, ToQString(text));
}

void CDeviceLoginDlg::OnSignIn() {
    WaitCursor wait;
    auto* list = GetDlgItemAs<QComboBox>(kUserList);
    if (list == nullptr || list->currentIndex() < 0) {
        return;  // nobody to sign in
    }
    const LBString user = ToLBString(list->currentText());
    const LBString password = ToLBString(GetDlgItemText(kPassword));
    LBString message;
    message.Format(u"Login NAS with user %s", user.GetString());

    nas::MapPublicFolder(g_NasContext);
    // A drive already in place for this user's folder is taken only once the NAS has accepted
    // the password.
    const int32_t err = nas::MapPrivateFolder(
        g_NasContext, user, password, [](const LBString& who, const LBString& secret) {
            return nas::ValidateUser(g_NasContext, who, secret, WizardWebApiSettings());
        });

    if (err == 0) {
        HideErrorIndicators();
        if (m_pMainDlg != nullptr) {
            m_pMainDlg->ShowDonePage();
        }
        LBString success;
        success.Format(u"Login device %s(%s) with user %s successfully!",
                       g_NasContext.strName.GetString(), g_NasContext.strAddress.GetString(),
                       user.GetString());
        ReportWizardEvent(kWizardEventInformation, success);
        return;
    }
    if (err == kErrorInvalidPassword || err == kErrorLogonFailure) {
        ShowSignInError(LoadText(resources::IDS_WRONG_PASSWORD));
        // Back to the password, selected, so that typing it again replaces it.
        if (auto* field = GetDlgItemAs<QLineEdit>(kPassword); field != nullptr && isVisible()) {
            field->setFocus(Qt::OtherFocusReason);
            field->selectAll();
        }
        ReportWizardEvent(kWizardEventError, FailureMessage(user, err));
        return;
    }
    if (err == kErrorSessionCredentialConflict && !g_NasContext.strUserName.IsEmpty() &&
        g_NasContext.strUserName.CompareNoCase(user) != 0) {
        if (AfxMessageBox(LoadText(resources::IDS_SIGN_OUT_OTHER_USER), MB_YESNO) != IDYES) {
            ReportWizardEvent(kWizardEventError, FailureMessage(user, err));
            return;
        }
        if (nas::SignOutPreviousUser(g_NasContext) != 0) {
            AfxMessageBox(LoadText(resources::IDS_SIGN_OUT_FAILED), MB_OK);
        }
        // The retry is a run of its own with its own event; this run then writes its own.
        OnSignIn();
        ReportWizardEvent(kWizardEventError, message);
        return;
    }
    ShowSignInError(LoadText(resources::IDS_CHECK_POWER_AND_NETWORK));
    ReportWizardEvent(kWizardEventError, FailureMessage(user, err));
}

void CDeviceLoginDlg::OnSkip() {
    nas::MapPublicFolder(g_NasContext);
    HideErrorIndicators();
    if (m_pMainDlg != nullptr) {
        m_pMainDlg->ShowDonePage();
    }
}

void CDeviceLoginDlg::OnSelectDifferentDrive() {
    HideErrorIndicators();
    if (m_pMainDlg != nullptr) {
        m_pMainDlg->ShowDiscoveryPage();
    }
}
