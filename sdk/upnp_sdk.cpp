#include "sdk/upnp_sdk.h"

#include <cstdlib>
#include <new>
#include <utility>

#include "platform/trace.h"
#include "sdk/upnp_device.h"
#include "upnp/uri.h"

// Definition order matters at process exit: SdkExitGuard, defined last, is destroyed first and
// stops the threads while the state they use still exists.
std::recursive_mutex CUPnPSDK::m_csDeviceList;
std::recursive_mutex CUPnPSDK::m_csMonitor;
std::recursive_mutex CUPnPSDK::m_csDeviceChange;
UPnPDeviceList CUPnPSDK::m_DeviceList;
std::map<UPnPSession, std::unique_ptr<EventMonitor>> CUPnPSDK::m_MonitorMap;
std::atomic<int32_t> CUPnPSDK::m_bScanning{0};
std::mutex CUPnPSDK::m_csState;
std::unique_ptr<CUPnPSDK> CUPnPSDK::s_pInstance;
std::shared_ptr<sdk::DiscoveryChain> CUPnPSDK::m_pChain;
std::shared_ptr<sdk::DiscoveryChain> CUPnPSDK::m_pControlPoint;
std::shared_ptr<sdk::StopEvent> CUPnPSDK::m_hStopEvent;
std::thread CUPnPSDK::m_hMonitorThread;
std::thread CUPnPSDK::m_hChainThread;

struct SdkExitGuard {
    ~SdkExitGuard() { CUPnPSDK::StopThreads(); }
};
namespace {
SdkExitGuard g_exitGuard;

// Joins `thread` unless it is the calling thread (a callback that ends discovery runs on the
// chain thread itself), which is detached instead and ends on its own.
void joinOrDetach(std::thread& thread) {
    if (!thread.joinable())
        return;
    if (thread.get_id() == std::this_thread::get_id())
        thread.detach();
    else
        thread.join();
}

// The device identity rule: both texts without regard to case, two empty texts equal.
bool hasIdentity(const CAbstractUPnPDevice& device, const LBString& udnSuffix,
                 const LBString& ipAddress) {
    return udnSuffix.CompareNoCase(device.GetUDNSuffix()) == 0 &&
           ipAddress.CompareNoCase(device.GetIPAddress()) == 0;
}

}  // namespace

CUPnPSDK* CUPnPSDK::EnsureInstance() {
    std::lock_guard lock(m_csState);
    if (!s_pInstance) {
        try {
            s_pInstance.reset(new CUPnPSDK());
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }
    return s_pInstance.get();
}

CUPnPSDK* CUPnPSDK::GetInstance() {
    std::lock_guard lock(m_csState);
    return s_pInstance.get();
}

int32_t CUPnPSDK::OpenSession(UPnPSession* session) {
    if (session == nullptr)
        return 1;
    // The handle crosses the C interface; only its address is ever used.
    auto* block = static_cast<UPnPSessionBlock*>(std::malloc(sizeof(UPnPSessionBlock)));
    if (block == nullptr)
        return 1;
    *session = block;
    return 0;
}

int32_t CUPnPSDK::CloseSession(UPnPSession session) {
    int32_t result = 1;
    if (session != nullptr) {
        // The monitor goes before the handle: the allocator hands a freed block to the next
        // session, which must not inherit this session's monitor, callback and context.
        UnRegisterEventMonitor(session);
        std::free(session);
        result = 0;
    }
    size_t monitors = 0;
    {
        std::lock_guard lock(m_csMonitor);
        monitors = m_MonitorMap.size();
    }
    if (monitors == 0)
        ReleaseAll();
    return result;
}

int32_t CUPnPSDK::RegisterEventMonitor(UPnPSession session, LBString filter,
                                       UPnPEventCallback callback, void* context) {
    if (session == nullptr)
        return 1;
    try {
        auto monitor = std::make_unique<EventMonitor>();
        monitor->m_strFilter = std::move(filter);
        monitor->m_fnCallbackFunction = callback;
        monitor->m_pContext = context;
        {
            std::lock_guard lock(m_csMonitor);
            // An existing monitor of the session stays; the new one is discarded.
            m_MonitorMap.emplace(session, std::move(monitor));
        }

        std::lock_guard lock(m_csState);
        if (!m_pChain) {
            m_pChain = sdk::discoveryStack().createChain();
            if (!m_pChain)
                return 1;
            bool created = m_pChain->createControlPoint(
                [](const upnp::DeviceRecord* record) { OnDeviceChanged(record, DEVICE_ADDED); },
                [](const upnp::DeviceRecord* record) { OnDeviceChanged(record, DEVICE_REMOVED); });
            if (!created) {
                // A chain without a control point would run and find nothing while reporting
                // that it scans; it goes, so the next registration tries again.
                m_pChain.reset();
                return 1;
            }
            m_pControlPoint = m_pChain;
        }
        return 0;
    } catch (const std::exception&) {
        return 1;
    }
}

bool CUPnPSDK::ChainIsRunning() {
    std::lock_guard lock(m_csState);
    return m_bScanning != 0 && m_pChain && !m_pChain->isTerminating();
}

int32_t CUPnPSDK::StartEventMonitor(UPnPSession session, CUPnPSDK* instance) {
    if (session == nullptr)
        return 1;
    {
        std::lock_guard lock(m_csState);
        if (!m_pChain)
            return 1;
    }
    {
        std::lock_guard lock(m_csMonitor);
        auto it = m_MonitorMap.find(session);
        if (it != m_MonitorMap.end() && it->second)
            it->second->m_bEnabled = 1;
    }

    std::unique_lock lock(m_csState);
    if (!m_pChain)
        return 1;
    if (m_bScanning != 0 && !m_pChain->isTerminating())
        return 0;

    // Threads of a chain that ended on its own are reaped before new ones start, so no thread is
    // ever left behind without a handle.
    std::thread oldMonitor = std::move(m_hMonitorThread);
    std::thread oldChain = std::move(m_hChainThread);
    if (m_hStopEvent)
        m_hStopEvent->signal();
    lock.unlock();
    joinOrDetach(oldMonitor);
    joinOrDetach(oldChain);
    lock.lock();
    if (!m_pChain)
        return 1;
    if (m_bScanning != 0 && !m_pChain->isTerminating())
        return 0;

    try {
        m_hStopEvent = std::make_shared<sdk::StopEvent>();
        m_hMonitorThread = std::thread(NetworkMonitorLoopThread, m_hStopEvent);
        // Marked running before the thread starts, so a second start right after this one does
        // not start a second pair of threads.
        m_bScanning = 1;
        m_hChainThread = std::thread(ChainThread, instance, m_pChain);
    } catch (const std::exception&) {
        m_bScanning = 0;
        if (m_hStopEvent)
            m_hStopEvent->signal();
        std::thread monitor = std::move(m_hMonitorThread);
        lock.unlock();
        joinOrDetach(monitor);
        return 1;
    }
    return 0;
}

int32_t CUPnPSDK::ChainThread(CUPnPSDK* instance, std::shared_ptr<sdk::DiscoveryChain> chain) {
    if (instance == nullptr || !chain) {
        std::lock_guard lock(m_csState);
        if (m_pChain == chain)
            m_bScanning = 0;
        return -1;
    }
    // A chain that an unregistration has already stopped is never run: its startChain returns at
    // once because the terminate flag is set before the chain is cleared.
    bool failed = false;
    try {
        chain->startChain();
    } catch (...) {
        // This thread runs inside someone else's process: an escaping exception would end it.
        failed = true;
        platform::trace(u">>>CUPnPSDK::ChainThread Catch Exception");
    }
    std::lock_guard lock(m_csState);
    // Only the chain that is still current clears the flag; a newer chain may be running by now.
    if (m_pChain == chain) {
        m_bScanning = 0;
        if (failed) {
            // Discovery ends as if stopped: the broken chain goes (the next registration makes a
            // new one), the network monitor ends, and both threads are joined by whoever starts
            // or stops discovery next.
            m_pChain.reset();
            m_pControlPoint.reset();
            if (m_hStopEvent)
                m_hStopEvent->signal();
        }
    }
    if (failed)
        chain->stopChain();
    return 0;
}

int32_t CUPnPSDK::StopEventMonitor(UPnPSession session) {
    if (session == nullptr)
        return 1;
    std::lock_guard lock(m_csMonitor);
    auto it = m_MonitorMap.find(session);
    if (it != m_MonitorMap.end() && it->second)
        it->second->m_bEnabled = 0;
    return 0;
}

CUPnPSDK::StoppedDiscovery CUPnPSDK::TakeDiscovery() {
    StoppedDiscovery taken;
    taken.chain = std::exchange(m_pChain, nullptr);
    m_pControlPoint.reset();
    m_bScanning = 0;
    if (m_hStopEvent)
        m_hStopEvent->signal();
    taken.monitorThread = std::move(m_hMonitorThread);
    taken.chainThread = std::move(m_hChainThread);
    return taken;
}

void CUPnPSDK::StoppedDiscovery::finish() {
    if (chain)
        chain->stopChain();
    joinOrDetach(monitorThread);
    joinOrDetach(chainThread);
}

void CUPnPSDK::StopThreads() {
    StoppedDiscovery stopped;
    {
        std::lock_guard lock(m_csState);
        stopped = TakeDiscovery();
    }
    stopped.finish();
}

int32_t CUPnPSDK::UnRegisterEventMonitor(UPnPSession session) {
    if (session == nullptr)
        return 1;
    std::unique_ptr<EventMonitor> monitor;
    StoppedDiscovery stopped;
    {
        // Taking the entry out and deciding that it was the last one happen in one critical
        // section, so two sessions unregistering at once cannot both see the other still there.
        // The running chain is taken out in the same section: a registration that follows makes
        // a new one instead of joining a chain about to stop.
        std::lock_guard monitorLock(m_csMonitor);
        auto it = m_MonitorMap.find(session);
        if (it != m_MonitorMap.end()) {
            monitor = std::move(it->second);
            m_MonitorMap.erase(it);
        }
        if (m_MonitorMap.empty()) {
            std::lock_guard stateLock(m_csState);
            if (m_bScanning != 0 && m_pChain && !m_pChain->isTerminating())
                stopped = TakeDiscovery();
        }
    }
    // Stopped and joined outside the locks; the monitor (and its filter) goes here as well.
    stopped.finish();
    return 0;
}

int32_t CUPnPSDK::IsScanning(UPnPSession session, int32_t* scanning) {
    if (session == nullptr || scanning == nullptr)
        return 1;
    *scanning = ChainIsRunning() ? 1 : 0;
    return 0;
}

void CUPnPSDK::ReleaseAll() {
    {
        std::lock_guard change(m_csDeviceChange);
        std::lock_guard lock(m_csDeviceList);
        // The list owns its devices through plain pointers because callers read it through the C
        // interface.
        for (CAbstractUPnPDevice* device : m_DeviceList)
            delete device;
        m_DeviceList.clear();
    }
    std::lock_guard lock(m_csState);
    s_pInstance.reset();
}

void CUPnPSDK::AddressesChanged() {
    std::shared_ptr<sdk::DiscoveryChain> controlPoint;
    {
        std::lock_guard lock(m_csState);
        controlPoint = m_pControlPoint;
    }
    if (controlPoint)
        controlPoint->addressesChanged();
}

void CUPnPSDK::OnDeviceChanged(const upnp::DeviceRecord* record, int32_t kind) {
    platform::trace(u">>>CUPnPSDK::OnDeviceChanged Enter");
    if (record == nullptr)
        return;
    std::lock_guard change(m_csDeviceChange);
    try {
        upnp::Uri location = upnp::parseUri(record->LocationURL);
        LBString ipAddress = LBString::FromUtf8(location.host);
        LBString udn = LBString::FromUtf8(record->UDN);
        int dash = udn.ReverseFind(u'-');

        // Owned here until the callbacks are done: a removed device goes after the last one.
        std::unique_ptr<CAbstractUPnPDevice> removed;
        CAbstractUPnPDevice* device = nullptr;

        if (kind == DEVICE_ADDED) {
            std::unique_ptr<CUPnPProxyDevice> added;
            try {
                added = std::make_unique<CUPnPProxyDevice>();
            } catch (const std::bad_alloc&) {
                return;
            }
            added->m_strIPAddress = ipAddress;
            added->m_strFriendlyName = LBString::FromUtf8(record->FriendlyName);
            added->m_strLocationURL = LBString::FromUtf8(record->LocationURL);
            if (dash >= 0) {
                added->m_strUDNSuffix = udn.Mid(dash + 1);
                added->m_strUDNPrefix = udn.Left(dash);
            }
            device = added.get();
            {
                std::lock_guard lock(m_csDeviceList);
                m_DeviceList.push_back(added.get());
                added.release();
            }
            platform::traceNarrow(
                ">>>CUPnPSDK::OnDeviceChanged DEVICE_ADDED mediaServerDevice->FriendlyName=" +
                record->FriendlyName + ",mediaServerDevice->LocationURL=" + record->LocationURL);
        } else if (kind == DEVICE_REMOVED) {
            LBString udnSuffix = dash >= 0 ? udn.Mid(dash + 1) : LBString();
            platform::trace(
                u">>>CUPnPSDK::OnDeviceChanged to DEVICE_REMOVED begin to query device");
            {
                std::lock_guard lock(m_csDeviceList);
                for (auto it = m_DeviceList.begin(); it != m_DeviceList.end(); ++it) {
                    if (*it != nullptr && hasIdentity(**it, udnSuffix, ipAddress)) {
                        removed.reset(*it);
                        m_DeviceList.erase(it);
                        break;
                    }
                }
            }
            platform::trace(u">>>CUPnPSDK::OnDeviceChanged to DEVICE_REMOVED querying device end");
            device = removed.get();
        }

        platform::trace(u">>>CUPnPSDK::OnDeviceChanged to execute m_fnCallbackFunction");
        LBString udnPrefix = dash >= 0 ? udn.Left(dash) : LBString();
        {
            std::lock_guard lock(m_csMonitor);
            // Walked by key order with upper_bound rather than by iterator, so a callback that
            // stops or unregisters sessions (its own too) leaves a walk that simply carries on
            // with the sessions still registered.
            auto it = m_MonitorMap.begin();
            while (it != m_MonitorMap.end()) {
                UPnPSession key = it->first;
                const EventMonitor* monitor = it->second.get();
                if (monitor != nullptr && monitor->m_fnCallbackFunction != nullptr &&
                    monitor->m_bEnabled != 0 &&
                    (monitor->m_strFilter.IsEmpty() ||
                     monitor->m_strFilter.CompareNoCase(udnPrefix) == 0)) {
                    UPnPEventCallback callback = monitor->m_fnCallbackFunction;
                    void* context = monitor->m_pContext;
                    callback(kind, device, context);
                }
                it = m_MonitorMap.upper_bound(key);
            }
        }
        platform::trace(u">>>CUPnPSDK::OnDeviceChanged finish m_fnCallbackFunction");
    } catch (...) {
        platform::trace(u">>>CUPnPSDK::OnDeviceChanged Catch Exception");
    }
    platform::trace(u">>>CUPnPSDK::OnDeviceChanged Leave");
}
