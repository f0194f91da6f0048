#pragma once

// CUPnPSDK: the facade over the control-point stack. It keeps the list of devices found on the
// LAN, the callers' sessions with one event monitor each, and the life of the discovery chain and
// its two threads (ChainThread runs the chain; NetworkMonitorLoopThread watches the computer's
// addresses). All state is class-wide and lives for the whole process; the one instance only
// marks that the SDK is set up (ReleaseAll ends it, the next call makes a new one).
//
// Results: 0 = done, 1 = refused. Texts are taken by value and released on every path.
//
// Threads and locks:
// - Callers' threads may call every operation once the first call has returned.
// - ChainThread runs the chain and, from it, OnDeviceChanged and every monitor callback. Callbacks
//   run with m_csMonitor held, so once StopEventMonitor or UnRegisterEventMonitor has returned,
//   that session's callback is not running and is never called again. A callback may stop or
//   unregister sessions (its own too); the walk over the monitors carries on with the sessions
//   that are left. A caller must not hold a lock of its own across these calls that its callback
//   also takes.
// - m_csDeviceList guards m_DeviceList; m_csMonitor guards m_MonitorMap and every m_bEnabled;
//   OnDeviceChanged leaves the first before it takes the second. m_csDeviceChange (taken first)
//   keeps ReleaseAll out of a device change in progress. m_csState guards the chain's life and is
//   never held while a thread is joined. The device objects' own fields are not locked.
// - The last unregistration stops the chain and joins both threads; called from a callback on the
//   chain thread itself, it detaches that thread instead, which then ends on its own. Whether an
//   unregistration is the last one is decided in the same critical section that removes its entry
//   (m_csMonitor, then m_csState), so two sessions unregistering at once cannot both miss it.
// - Closing a registered session unregisters it first: the freed handle may come back from the
//   allocator as a new session, which must not inherit the old monitor.
// - A control point that cannot be made leaves no chain behind, so the next registration tries
//   again. An exception leaving the chain's run is caught on ChainThread: discovery ends as if
//   stopped and a later registration starts a new chain.
// - A device handed to a DEVICE_REMOVED callback is destroyed after every callback has returned;
//   callers that keep device data beyond a callback copy it (fnCreateUPnPDeviceObject +
//   CopyFrom).

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "drivescout/sdk.h"
#include "sdk/LBString.h"
#include "sdk/discovery_stack.h"
#include "sdk/stop_event.h"
#include "upnp/device_record.h"

namespace platform {
struct NetResource;
}

// The block behind a UPnPSession: never read or written, only its address counts.
struct UPnPSessionBlock {
    int32_t unused;
};

// One session's monitor; owned by m_MonitorMap.
struct EventMonitor {
    LBString m_strFilter;  // UDN prefix a device must have; empty: every device
    UPnPEventCallback m_fnCallbackFunction = nullptr;
    void* m_pContext = nullptr;
    int32_t m_bEnabled = 0;  // guarded by m_csMonitor
};

class CUPnPSDK {
  public:
    // Makes sure the instance exists; null when it cannot be made. Any thread.
    static CUPnPSDK* EnsureInstance();
    // The current instance or null.
    static CUPnPSDK* GetInstance();
    // A session is valid when it is not null (the handle itself is never looked into).
    static bool IsValidSession(UPnPSession session) { return session != nullptr; }

    // --- Sessions and monitors
    static int32_t OpenSession(UPnPSession* session);
    static int32_t CloseSession(UPnPSession session);
    static int32_t RegisterEventMonitor(UPnPSession session, LBString filter,
                                        UPnPEventCallback callback, void* context);
    static int32_t UnRegisterEventMonitor(UPnPSession session);
    static int32_t StartEventMonitor(UPnPSession session, CUPnPSDK* instance);
    static int32_t StopEventMonitor(UPnPSession session);
    static int32_t IsScanning(UPnPSession session, int32_t* scanning);

    // The control point's handler for every device of an announced (kind DEVICE_ADDED) or
    // departed (DEVICE_REMOVED) tree. Runs on the chain thread; never throws.
    static void OnDeviceChanged(const upnp::DeviceRecord* record, int32_t kind);
    // Destroys every listed device and the instance.
    static void ReleaseAll();

    // --- Devices
    // The live device list (see the header comment of drivescout/sdk.h).
    static UPnPDeviceList* GetDeviceList() { return &m_DeviceList; }
    // Finds the listed device (udnSuffix, ipAddress), refreshes its share list from the network
    // provider and stores it in *device (null when none matches). 1 for a null session or a null
    // out pointer.
    static int32_t GetProperties(UPnPSession session, LBString udnSuffix, LBString ipAddress,
                                 CAbstractUPnPDevice** device);
    // Appends the names (after the last backslash) of the resources inside `resource` to
    // `shares`, descending into containers. 1 on success, 0 on failure (entries found before the
    // failure stay). Caller's thread, no lock held.
    static int32_t EnumerateShares(std::vector<LBString>& shares,
                                   const platform::NetResource& resource, int depth = 0);

    // --- Share mapping (sdk/share_mapping.cpp). `error` receives the platform error code.
    static int32_t MapSharedPath(UPnPSession session, LBString userName, LBString password,
                                 LBString remoteName, LBString localName, int32_t persist,
                                 int32_t* error);
    static int32_t UnmapSharedPath(UPnPSession session, LBString name, int32_t force,
                                   int32_t* error);
    static int32_t IsSharedPathMapped(UPnPSession session, LBString path);
    static int32_t ChangeRegistryForMapFunction(LBString userName, LBString password,
                                                LBString remoteName, LBString localName);
    static LBString GetDomainName();

    // --- Threads
    // Runs `chain` until it is stopped; `instance` null ends at once with -1.
    static int32_t ChainThread(CUPnPSDK* instance, std::shared_ptr<sdk::DiscoveryChain> chain);
    // Watches the computer's address list until `stop` is signalled and tells the control point
    // of every change (sdk/network_monitor.cpp).
    static int32_t NetworkMonitorLoopThread(std::shared_ptr<sdk::StopEvent> stop);
    // Tells the current control point that the address list changed. Any thread.
    static void AddressesChanged();

    // True while ChainThread runs a chain that has not been told to stop.
    static bool ChainIsRunning();

  private:
    CUPnPSDK() = default;

    // Stops the chain and joins both threads (not the calling one). Used at process exit.
    static void StopThreads();

    // Discovery taken out of the class-wide state, to be ended outside the locks.
    struct StoppedDiscovery {
        std::shared_ptr<sdk::DiscoveryChain> chain;
        std::thread monitorThread;
        std::thread chainThread;
        // Stops the chain and joins both threads (detaching the calling one).
        void finish();
    };
    // Clears the chain, the control point and the running flag, signals the network monitor and
    // hands over what is left to end. m_csState must be held.
    static StoppedDiscovery TakeDiscovery();

    static std::recursive_mutex m_csDeviceList;
    static std::recursive_mutex m_csMonitor;
    // Held by OnDeviceChanged from start to end and by ReleaseAll, so the devices of the list are
    // never destroyed under a change that still hands one to callbacks. Taken before the others.
    static std::recursive_mutex m_csDeviceChange;
    static UPnPDeviceList m_DeviceList;  // owned devices, in order of arrival
    static std::map<UPnPSession, std::unique_ptr<EventMonitor>> m_MonitorMap;
    static std::atomic<int32_t> m_bScanning;

    // Guards the instance and the chain's life: m_pChain, m_pControlPoint, m_hStopEvent and the
    // two threads. Never held while a thread is joined or a callback runs.
    static std::mutex m_csState;
    static std::unique_ptr<CUPnPSDK> s_pInstance;
    static std::shared_ptr<sdk::DiscoveryChain> m_pChain;
    static std::shared_ptr<sdk::DiscoveryChain>
        m_pControlPoint;  // set once its control point exists
    static std::shared_ptr<sdk::StopEvent> m_hStopEvent;
    static std::thread m_hMonitorThread;
    static std::thread m_hChainThread;

    friend struct SdkExitGuard;
};
