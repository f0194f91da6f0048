#include "app/device_disc_dlg.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>

#include "app/app_globals.h"
#include "app/artwork.h"
#include "app/dialog_templates.h"
#include "app/drive_scout_dlg.h"
#include "app/load_text.h"
#include "app/nas/drive_letters.h"
#include "app/nas/nas_context.h"
#include "app/qt_text.h"
#include "app/wizard_event_log.h"
#include "resources/string_ids.h"

namespace {

constexpr int kResultIcon = 1001;
constexpr int kResultText = 1002;
constexpr int kDeviceList = 1004;
constexpr int kSearchAgain = 1006;
constexpr int kProgress = 1021;
constexpr int kCountdownText = 1023;
constexpr int kReasonsText = 1034;

const QColor kGreen(115, 190, 42);
const QColor kRed(190, 18, 17);
const QColor kListText(16, 155, 156);

// The wait cursor for the length of a scope.
class WaitCursor {
  public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

QString CountdownText(int seconds) {
    LBString text;
    text.Format(LoadText(resources::IDS_SCANNING_SECONDS).GetString(), seconds);
    return ToQString(text);
}

// The device passes the filter when its UDN prefix, after leading blanks, begins with the
// maker's prefix (case-sensitive).
bool PassesDeviceFilter(const CAbstractUPnPDevice& device) {
    LBString prefix(device.GetUDNPrefix());
    prefix.TrimLeft();
    return prefix.Find(g_strDeviceFilter.GetString()) == 0;
}

}  // namespace

nas::NasWebApiSettings& WizardWebApiSettings() {
    static nas::NasWebApiSettings settings;
    return settings;
}

CDeviceDiscDlg::CDeviceDiscDlg(CDriveScoutDlg* mainDlg)
    : CBaseDiscDlg(IDD_DEVICE_DISCOVERY), m_pMainDlg(mainDlg) {
    OpenDiscoverySession();
}

CDeviceDiscDlg::~CDeviceDiscDlg() {
    CloseSession();
}

void CDeviceDiscDlg::CloseSession() {
    if (m_session != nullptr) {
        // After the unregistration no callback of this session runs or starts, so its context
        // can go.
        fnUPnPUnRegisterEventMonitor(m_session);
        fnUPnPCloseSession(m_session);
        m_session = nullptr;
    }
    m_pSessionContext.reset();
}

bool CDeviceDiscDlg::OnInitDialog() {
    CBaseDiscDlg::OnInitDialog();
    SetDlgItemText(kSearchAgain, ToQString(LoadText(resources::IDS_SEARCH_AGAIN)));
    SetDlgItemText(kCountdownText, CountdownText(m_nSecondsLeft));

    SetControlFont(GetDlgItem(kResultText), m_fontBold);
    SetControlFont(GetDlgItem(kDeviceList), m_fontList);
    SetControlFont(GetDlgItem(kReasonsText), m_fontText);

    if (auto* list = GetDlgItemAs<QTreeWidget>(kDeviceList)) {
        list->setIconSize(QSize(20, 20));
        list->setHeaderHidden(true);
        list->setSelectionBehavior(QAbstractItemView::SelectRows);
        list->setMouseTracking(true);  // rows follow the pointer
        list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
        QPalette palette = list->palette();
        palette.setColor(QPalette::Text, kListText);
        list->setPalette(palette);
        connect(list, &QTreeWidget::itemClicked, this, [this, list](QTreeWidgetItem* item, int) {
            OnListClick(item != nullptr ? list->indexOfTopLevelItem(item) : -1);
        });
        list->hide();
    }
    if (auto* button = GetDlgItemAs<QPushButton>(kSearchAgain)) {
        connect(button, &QPushButton::clicked, this, [this] { OnSearchAgain(); });
    }
    // Tab goes from the list (or the reasons in its place) to the button.
    QWidget::setTabOrder(GetDlgItem(kDeviceList), GetDlgItem(kReasonsText));
    QWidget::setTabOrder(GetDlgItem(kReasonsText), GetDlgItem(kSearchAgain));

    ShowScanningView();
    StartScan();
    return true;
}

QColor CDeviceDiscDlg::OnCtlColor(const QWidget&, int controlId) {
    if (controlId == kResultText) {
        return m_devices.empty() ? kRed : kGreen;
    }
    return DefaultTextColor();
}

int CDeviceDiscDlg::OpenDiscoverySession() {
    UPnPSession session = nullptr;
    fnUPnPOpenSession(&session);
    if (session == nullptr) {
        return 0;
    }
    m_session = session;
    m_pSessionContext = std::make_unique<SessionContext>(SessionContext{this, ++m_nGeneration});
    fnUPnPRegisterEventMonitor(m_session, LBStringArg{nullptr}, &CDeviceDiscDlg::OnDeviceEvent,
                               m_pSessionContext.get());
    return 1;
}

int CDeviceDiscDlg::StartScan() {
    if (m_session == nullptr) {
        return 0;
    }
    if (fnUPnPStartEventMonitor(m_session) < 0) {
        return 0;
    }
    m_bMonitoring = true;
    m_nScanTimer = SetTimer(kScanTimer, kScanTickMs);
    m_nSecondsLeft = kScanSeconds;
    SetDlgItemText(kCountdownText, CountdownText(m_nSecondsLeft));
    return 1;
}

int CDeviceDiscDlg::StopScan() {
    m_bMonitoring = false;
    if (m_session == nullptr) {
        return 0;
    }
    if (m_nScanTimer != 0) {
        KillTimer(kScanTimer);
        m_nScanTimer = 0;
    }
    return fnUPnPStopEventMonitor(m_session) < 0 ? 0 : 1;
}

void CDeviceDiscDlg::OnDeviceEvent(int32_t kind, CAbstractUPnPDevice* device, void* context) {
    const auto* session = static_cast<const SessionContext*>(context);
    if (session == nullptr) {
        return;
    }
    // The SDK destroys a removed device as soon as the callbacks return: only a copy may
    // travel to the user-interface thread.
    DeviceCopy copy;
    if (device != nullptr) {
        copy.reset(fnCreateUPnPDeviceObject());
        if (copy) {
            copy->CopyFrom(device);
        }
    }
    CDeviceDiscDlg* page = session->page;
    bool wake = false;
    {
        std::lock_guard lock(page->m_lock);
        page->m_pending.push_back({session->generation, kind, std::move(copy)});
        wake = !page->m_bWakePosted;
        page->m_bWakePosted = true;
    }
    if (wake) {
        QMetaObject::invokeMethod(
            page, [page] { page->DrainDeviceEvents(); }, Qt::QueuedConnection);
    }
}

void CDeviceDiscDlg::DrainDeviceEvents() {
    std::deque<PendingEvent> events;
    {
        std::lock_guard lock(m_lock);
        events.swap(m_pending);
        m_bWakePosted = false;
    }
    for (PendingEvent& event : events) {
        HandleDeviceEvent(event.generation, event.kind, std::move(event.device));
    }
}

void CDeviceDiscDlg::HandleDeviceEvent(std::uint64_t generation, int32_t kind, DeviceCopy device) {
    if (generation != m_nGeneration || m_session == nullptr || !m_bMonitoring) {
        return;  // from a session that is closed, or queued before its monitor was stopped
    }
    if (kind == DEVICE_ADDED) {
        AddDevice(std::move(device));
    } else if (kind == DEVICE_REMOVED) {
        RemoveDevice(device.get());
    }
    UpdateResultHeader();
}

void CDeviceDiscDlg::AddDevice(DeviceCopy device) {
    if (!device || !PassesDeviceFilter(*device)) {
        return;
    }
    if (auto* list = GetDlgItemAs<QTreeWidget>(kDeviceList)) {
        auto* row = new QTreeWidgetItem();  // owned by the list once inserted
        row->setText(0, ToQString(LBString(device->GetFriendlyName())));
        row->setIcon(0, LoadBitmapIcon(IDB_DEVICE));
        list->insertTopLevelItem(list->topLevelItemCount(), row);
    }
    m_devices.push_back(std::move(device));
}

void CDeviceDiscDlg::RemoveDevice(const CAbstractUPnPDevice* device) {
    if (device == nullptr) {
        return;
    }
    // A device is its UDN suffix; names say nothing (two NASes may share one).
    const LBString suffix(device->GetUDNSuffix());
    for (size_t i = 0; i < m_devices.size(); ++i) {
        if (LBString(m_devices[i]->GetUDNSuffix()) == suffix) {
            m_devices.erase(m_devices.begin() + std::ptrdiff_t(i));
            if (auto* list = GetDlgItemAs<QTreeWidget>(kDeviceList)) {
                delete list->takeTopLevelItem(int(i));
            }
            return;
        }
    }
}

std::vector<QString> CDeviceDiscDlg::RowTexts() const {
    std::vector<QString> texts;
    if (auto* list = GetDlgItemAs<QTreeWidget>(kDeviceList)) {
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            texts.push_back(list->topLevelItem(i)->text(0));
        }
    }
    return texts;
}

void CDeviceDiscDlg::UpdateResultHeader() {
    const size_t n = m_devices.size();
    LBString text;
    if (n > 1) {
        text.Format(LoadText(resources::IDS_FOUND_DRIVES).GetString(), int(n));
    } else if (n == 1) {
        text = LoadText(resources::IDS_FOUND_ONE_DRIVE);
    }
    if (n > 0) {
        ShowResultView();
        SetStaticBitmap(kResultIcon, IDB_CHECK);
        SetDlgItemText(kResultText, ToQString(text));
        if (QWidget* list = GetDlgItem(kDeviceList)) {
            list->show();
            list->repaint();
        }
    } else {
        SetStaticBitmap(kResultIcon, IDB_CROSS);
        SetDlgItemText(kResultText, ToQString(LoadText(resources::IDS_NO_DRIVE_FOUND)));
    }
    if (QWidget* resultText = GetDlgItem(kResultText)) {
        resultText->update();  // its colour follows the list
    }
    // The check or cross means what the result text says; the list is named by it too.
    const QString result = GetDlgItemText(kResultText);
    SetDlgItemAccessibleName(kResultIcon, result);
    SetDlgItemAccessibleName(kDeviceList, result);
    SetDlgItemAccessibleName(kReasonsText, result);
}

void CDeviceDiscDlg::SetMarquee(bool running) {
    if (auto* progress = GetDlgItemAs<QProgressBar>(kProgress)) {
        // A bar without a range is Qt's marquee.
        progress->setRange(0, running ? 0 : 100);
    }
}

void CDeviceDiscDlg::ShowScanningView() {
    ShowDlgItem(kProgress, true);
    ShowDlgItem(kCountdownText, true);
    SetMarquee(true);
    for (int id : {kResultIcon, kResultText, kDeviceList, kReasonsText}) {
        ShowDlgItem(id, false);
    }
}

void CDeviceDiscDlg::ShowResultView() {
    for (int id : {kResultIcon, kResultText, kDeviceList}) {
        ShowDlgItem(id, true);
    }
    SetMarquee(false);
    for (int id : {kProgress, kCountdownText, kReasonsText}) {
        ShowDlgItem(id, false);
    }
}

void CDeviceDiscDlg::ShowNoDeviceView() {
    UpdateResultHeader();
    ShowDlgItem(kResultIcon, true);
    ShowDlgItem(kResultText, true);
    for (int id : {kDeviceList, kProgress, kCountdownText}) {
        ShowDlgItem(id, false);
    }
    ShowDlgItem(kReasonsText, true);
    QWidget* list = GetDlgItem(kDeviceList);
    QWidget* reasons = GetDlgItem(kReasonsText);
    if (list != nullptr && reasons != nullptr) {
        reasons->setGeometry(list->geometry());
        reasons->repaint();
    }
    // The platform's line break; the empty line between the two texts stays.
    SetDlgItemText(kReasonsText, ToQString(LoadText(resources::IDS_FIREWALL_HINT)) +
                                     QStringLiteral("\n\n") +
                                     ToQString(LoadText(resources::IDS_CHECK_POWER_AND_NETWORK)));
}

void CDeviceDiscDlg::OnTimer(unsigned id) {
    if (id == kScanTimer) {
        OnScanTick();
    } else if (id == kSearchAgainTimer) {
        if (QWidget* button = GetDlgItem(kSearchAgain)) {
            button->setEnabled(true);
        }
        KillTimer(kSearchAgainTimer);
        m_nSearchAgainTimer = 0;
    }
}

void CDeviceDiscDlg::OnScanTick() {
    m_nSecondsLeft -= kScanStepSeconds;
    if (m_devices.empty()) {
        SetDlgItemText(kCountdownText, CountdownText(m_nSecondsLeft));
        if (m_nSecondsLeft <= 0) {
            StopScan();
            ShowNoDeviceView();
            if (m_nScanTimer != 0) {
                KillTimer(kScanTimer);
                m_nScanTimer = 0;
            }
        }
    }
    if (m_devices.size() == 1 && m_nSecondsLeft <= 0) {
        WaitCursor wait;
        SelectDevice(0);
    }
}

bool CDeviceDiscDlg::eventFilter(QObject* watched, QEvent* event) {
    // Space on the list chooses its current row, as a click does (the arrow keys move it).
    if (event->type() == QEvent::KeyPress && watched == GetDlgItem(kDeviceList)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier) {
            auto* list = static_cast<QTreeWidget*>(watched);
            QTreeWidgetItem* row = list->currentItem();
            CBaseDiscDlg::eventFilter(watched, event);
            OnListClick(row != nullptr ? list->indexOfTopLevelItem(row) : -1);
            return true;
        }
    }
    return CBaseDiscDlg::eventFilter(watched, event);
}

void CDeviceDiscDlg::OnListClick(int index) {
    WaitCursor wait;
    if (index != -1) {
        SelectDevice(index);
    }
}

void CDeviceDiscDlg::SelectDevice(int index) {
    if (index < 0 || size_t(index) >= m_devices.size()) {
        return;
    }
    if (m_nScanTimer != 0) {
        KillTimer(kScanTimer);
        m_nScanTimer = 0;
    }
    BeginDevice(g_NasContext, m_session, m_devices[size_t(index)].get());
    // Copies: the mapping below may change the record.
    const LBString name = g_NasContext.strName;
    const LBString address = g_NasContext.strAddress;

    const int32_t err = nas::MapPublicFolder(g_NasContext);
    LBString message;
    if (err != 0) {
        message.Format(u"Can't map public folder of %s(%s), error code:%d", name.GetString(),
                       address.GetString(), int(err));
        ReportWizardEvent(kWizardEventError, message);
        return;
    }
    std::vector<LBString> users;
    nas::GetUsers(g_NasContext, users, WizardWebApiSettings());
    if (m_pMainDlg != nullptr) {
        if (!users.empty()) {
            m_pMainDlg->ShowSignInPage(g_NasContext.strName, users);
        } else {
            m_pMainDlg->ShowDonePage();
        }
    }
    message.Format(u"Map public folder of %s(%s) successfully!", name.GetString(),
                   address.GetString());
    ReportWizardEvent(kWizardEventInformation, message);
}

void CDeviceDiscDlg::ClearRows() {
    if (auto* list = GetDlgItemAs<QTreeWidget>(kDeviceList)) {
        list->clear();
    }
    m_devices.clear();
}

void CDeviceDiscDlg::OnSearchAgain() {
    QWidget* button = GetDlgItem(kSearchAgain);
    if (button != nullptr) {
        button->setEnabled(false);
    }
    StopScan();
    ClearRows();
    UpdateResultHeader();
    // The old session's events still queued carry its generation and are dropped on arrival.
    CloseSession();
    ShowScanningView();
    OpenDiscoverySession();
    StartScan();
    m_nSearchAgainTimer = SetTimer(kSearchAgainTimer, kSearchAgainLockMs);
    if (button != nullptr) {
        button->setEnabled(false);
    }
}
