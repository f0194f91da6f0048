#pragma once

// CDeviceDiscDlg: the discovery page (template 104), the wizard's first page. It owns the
// wizard's SDK session, searches, counts down from 120 seconds in steps of 15, lists the maker's
// devices as they come and go, and moves the wizard on when a device is chosen (a click, or the
// countdown ending with exactly one device listed).
//
// Threads: everything runs on the user-interface thread except OnDeviceEvent, which the SDK calls
// on its chain thread while holding its monitor lock. That callback touches no widget and no
// member but the queue below and never waits for the user-interface thread: it copies the device,
// appends the event with the copy to m_pending under m_lock (held only for the append) and posts
// one wake-up; the user-interface thread takes the whole queue under m_lock and handles the
// events in their order. The page keeps only its own
// copies in m_devices, so a device the SDK has destroyed can never be reached by a click, and
// frees them when their rows go. Every session carries a generation number; events still queued
// from a session that "Search again" closed are dropped when they arrive.
//
// Ownership: owned by the main dialog (m_pMainDlg is borrowed). The destructor unregisters the
// monitor and closes the session; once that has returned no callback can post to the page, and
// events still queued die with the page.

#include <QString>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "app/base_disc_dlg.h"
#include "app/nas/nas_web_api.h"
#include "drivescout/sdk.h"

class CDriveScoutDlg;
class QTreeWidgetItem;

// The web application's settings every page of the wizard uses when it talks to the NAS (port
// 80 and the standard limits); tests point the port at their own server. UI thread only.
nas::NasWebApiSettings& WizardWebApiSettings();

// Frees a device made by fnCreateUPnPDeviceObject.
struct UPnPDeviceObjectDeleter {
    void operator()(CAbstractUPnPDevice* device) const { fnDeleteUPnPDeviceObject(device); }
};
using DeviceCopy = std::unique_ptr<CAbstractUPnPDevice, UPnPDeviceObjectDeleter>;

class CDeviceDiscDlg : public CBaseDiscDlg {
  public:
    // Opens the SDK session and registers OnDeviceEvent; events flow once StartScan runs.
    explicit CDeviceDiscDlg(CDriveScoutDlg* mainDlg);
    ~CDeviceDiscDlg() override;

    // Timer ids and the countdown.
    static constexpr unsigned kScanTimer = 1;
    static constexpr unsigned kSearchAgainTimer = 2;
    static constexpr unsigned kScanTickMs = 15000;
    static constexpr unsigned kSearchAgainLockMs = 5000;
    static constexpr int kScanSeconds = 120;
    static constexpr int kScanStepSeconds = 15;

    // The SDK's device-event callback; `context` is the session's SessionContext. Chain thread.
    static void OnDeviceEvent(int32_t kind, CAbstractUPnPDevice* device, void* context);

    // Proceeds with the device of row `index` (a row that does not exist is ignored).
    void SelectDevice(int index);
    // A click on row `index` of the list (-1: empty space, nothing happens).
    void OnListClick(int index);
    // "Search again".
    void OnSearchAgain();

    // Starts the monitor and the countdown. Once StopScan has run, events still queued are
    // dropped: the page no longer follows the network. 1 on success, 0 on failure.
    int StartScan();
    int StopScan();

    // Views of the page.
    void ShowScanningView();
    void ShowResultView();
    void ShowNoDeviceView();
    void UpdateResultHeader();

    // --- State, for the main dialog and tests.
    UPnPSession Session() const { return m_session; }
    int SecondsLeft() const { return m_nSecondsLeft; }
    // The listed devices (the page's own copies), in row order.
    const std::vector<DeviceCopy>& Devices() const { return m_devices; }
    // The names of the rows, in order.
    std::vector<QString> RowTexts() const;
    // Generation of the current session; events of older ones are dropped.
    std::uint64_t SessionGeneration() const { return m_nGeneration; }

  protected:
    bool OnInitDialog() override;
    // Result text green with devices listed, red without; black for every other control.
    QColor OnCtlColor(const QWidget& control, int controlId) override;
    void OnTimer(unsigned id) override;
    // Space on the device list.
    bool eventFilter(QObject* watched, QEvent* event) override;

    // --- SDK steps; 1 on success, 0 on failure.
    int OpenDiscoverySession();

  private:
    // What the callback of one session knows: the page and the session's generation. Owned by
    // the page; replaced only after that session's monitor is unregistered.
    struct SessionContext {
        CDeviceDiscDlg* page;
        std::uint64_t generation;
    };

    // An event queued by OnDeviceEvent for the user-interface thread.
    struct PendingEvent {
        std::uint64_t generation;
        int32_t kind;
        DeviceCopy device;  // the page's own copy, or null
    };

    // Handles every queued event, in order. User-interface thread.
    void DrainDeviceEvents();
    void HandleDeviceEvent(std::uint64_t generation, int32_t kind, DeviceCopy device);
    void AddDevice(DeviceCopy device);
    void RemoveDevice(const CAbstractUPnPDevice* device);
    void OnScanTick();
    void CloseSession();
    void SetMarquee(bool running);
    void ClearRows();

    std::vector<DeviceCopy> m_devices;  // own copies, in row order
    UPnPSession m_session = nullptr;
    unsigned m_nScanTimer = 0;
    unsigned m_nSearchAgainTimer = 0;
    CDriveScoutDlg* m_pMainDlg;  // not owned
    int m_nSecondsLeft = kScanSeconds;
    std::uint64_t m_nGeneration = 0;
    bool m_bMonitoring = false;  // between StartScan and StopScan
    std::unique_ptr<SessionContext> m_pSessionContext;

    // Guards m_pending and m_bWakePosted, between the SDK's thread and this one; nothing else is
    // done while it is held.
    std::mutex m_lock;
    std::deque<PendingEvent> m_pending;
    bool m_bWakePosted = false;
};
