#pragma once

// The control point: the top of the stack. It searches for root devices through the SSDP client,
// fetches each new device's description with the web client, builds the device tree
// (device_description.h) and reports every device of it to its two handlers; it keeps a tree as
// long as the device keeps announcing itself and reports its devices again as removed on goodbye,
// expiry, a changed description URL or the loss of the interface it was found through.
//
// Tables (under `tableMutex_`): the device table (UDN → record, null while its description is
// being fetched), the fetch table (UDN → the fetch in progress) and the location table
// (description URL → the UDN being fetched from it).
//
// Threads: everything runs on the chain thread, handlers included, except
// `controlPointAddressesChanged`, which any thread may call. Handlers are called with no lock
// held; the record they get is valid during the call only.
//
// Ownership: the chain owns the control point, its lifetime monitor, the SSDP client, the web
// client and the web server. The control point owns the device trees; a tree is freed when the
// root's reference count drops to 0 (one reference for the tree itself, one per announced
// device).

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "upnp/chain.h"
#include "upnp/device_record.h"
#include "upnp/lifetime_monitor.h"
#include "upnp/ssdp_client.h"
#include "upnp/web_client.h"
#include "upnp/web_server.h"

namespace upnp {

// Receives one device of a tree; the record is valid during the call only.
using DeviceCallback = std::function<void(const DeviceRecord* record)>;

struct ControlPoint final : public ChainObject {
  public:
    // A device that announces a new description URL within this time of its last accepted
    // announcement keeps its old one.
    static constexpr int64_t kLocationChangeGuardSeconds = 10;
    // Delay between accepting a new description URL and fetching it.
    static constexpr int64_t kLocationChangeDelayMs = 7000;
    static constexpr int kWebClientPoolSize = 5;
    static constexpr size_t kWebServerSessions = 5;
    static constexpr std::string_view kSearchTarget = "upnp:rootdevice";
    // What one host on the LAN may make the control point keep: root devices (known or being
    // fetched) and description fetches at once, per announcing address. Announcements beyond
    // them are dropped, with one trace line per host.
    static constexpr size_t kMaxDevicesPerHost = 64;
    static constexpr size_t kMaxFetchesPerHost = 8;
    // Device table entries of all hosts together, well above the crowds a LAN holds.
    static constexpr size_t kMaxDevices = 4096;
    // Hosts remembered as already traced for going over their bounds.
    static constexpr size_t kMaxTracedHosts = 1024;

    // Use `createControlPoint`.
    ControlPoint(Chain& chain, DeviceCallback onDeviceAdded, DeviceCallback onDeviceRemoved);

    void preSelect(SocketSets& sets, int& waitMs) override;
    void destroy() override;

    Chain& chain() const { return chain_; }
    SsdpClient& ssdpClient() const { return *ssdpClient_; }
    WebClient& webClient() const { return *webClient_; }
    WebServer& webServer() const { return *webServer_; }

    // Diagnostics and tests (chain thread, or after the chain has ended).
    size_t knownDeviceCount();   // device table entries with a record
    size_t fetchesInProgress();  // fetch table entries
    size_t treeCount() const { return trees_.size(); }

    // Handles one SSDP result from `senderAddress` (network byte order) as if the SSDP client
    // had reported it. A goodbye or a new description URL counts only from the host of the
    // device's current description URL. Chain thread.
    void handleSsdpResult(std::string_view udn, bool alive, std::string_view descriptionUrl,
                          int lifetimeSeconds, SsdpOrigin origin, uint32_t senderAddress);

  private:
    friend ControlPoint* createControlPoint(Chain&, DeviceCallback, DeviceCallback);
    friend void controlPointAddressesChanged(ControlPoint&);

    struct Fetch {
        RequestToken token;
        std::string url;
        uint64_t id = 0;    // tells a stale response from the fetch in progress
        uint32_t host = 0;  // the description URL's address, network byte order
    };
    struct HostLoad {
        size_t roots = 0;    // trees announced from the host
        size_t fetches = 0;  // fetches in progress from it
    };

    void goodbye(std::string_view udn, uint32_t senderAddress);
    void goodbyeFromOwner(std::string_view udn);
    bool mayFetchLocked(uint32_t host);
    void eraseFetchLocked(std::map<std::string, Fetch>::iterator fetch);
    void countRoot(const DeviceRecord& root, int change);
    void startFetch(std::string_view udn, std::string_view url, int lifetimeSeconds);
    void descriptionDone(const std::string& udn, const std::string& url, uint64_t fetchId,
                         int lifetimeSeconds, const HttpPacket* head, std::string_view body);
    void addTree(std::unique_ptr<DeviceRecord> tree, const std::string& fetchedUdn,
                 int lifetimeSeconds);
    void startExpiryTimer(DeviceRecord& root, int lifetimeSeconds);
    void startLocationTimer(DeviceRecord& root);
    void removeRoot(DeviceRecord& root);
    void removeTree(DeviceRecord& device);
    void releaseTree(DeviceRecord& root);
    void changeAddresses();
    int64_t nowSeconds() const;

    Chain& chain_;
    const DeviceCallback onDeviceAdded_;
    const DeviceCallback onDeviceRemoved_;
    LifetimeMonitor* monitor_ = nullptr;  // chain-owned
    SsdpClient* ssdpClient_ = nullptr;    // chain-owned
    WebClient* webClient_ = nullptr;      // chain-owned
    WebServer* webServer_ = nullptr;      // chain-owned

    std::atomic<bool> addressesChanged_{false};
    std::vector<uint32_t> localAddresses_;
    uint64_t nextFetchId_ = 1;

    std::mutex tableMutex_;
    std::map<std::string, DeviceRecord*> deviceTable_;
    std::map<std::string, Fetch> fetchTable_;
    std::map<std::string, std::string> locationTable_;
    std::map<uint32_t, HostLoad> hostLoad_;  // hosts with a tree or a fetch only
    std::set<uint32_t> tracedHosts_;

    std::mutex referenceMutex_;
    std::map<const DeviceRecord*, std::unique_ptr<DeviceRecord>> trees_;  // by root
};

// Creates the web server (5 sessions, random port), the SSDP client searching for
// "upnp:rootdevice", the web client (5 sockets) and the control point with its lifetime monitor
// on `chain`, and takes the local address list. Chain thread, or before the chain runs. Never
// null; the result is owned by the chain.
ControlPoint* createControlPoint(Chain& chain, DeviceCallback onDeviceAdded,
                                 DeviceCallback onDeviceRemoved);

// The computer's addresses changed: in its next pass the control point drops the trees found
// through an address that is gone and searches again. Does nothing once the chain is told to
// stop. Any thread; returns at once.
void controlPointAddressesChanged(ControlPoint& controlPoint);

}  // namespace upnp
