#include "upnp/control_point.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>

#include "platform/trace.h"
#include "upnp/device_description.h"
#include "upnp/http_packet.h"
#include "upnp/local_addresses.h"
#include "upnp/ssdp_datagram.h"
#include "upnp/uri.h"

namespace upnp {

namespace {

std::string dottedAddress(uint32_t address) {
    char text[INET_ADDRSTRLEN] = {};
    in_addr value{};
    value.s_addr = address;
    inet_ntop(AF_INET, &value, text, sizeof text);
    return text;
}

DeviceRecord& rootOf(DeviceRecord& device) {
    DeviceRecord* root = &device;
    while (root->parent != nullptr)
        root = root->parent;
    return *root;
}

}  // namespace

ControlPoint::ControlPoint(Chain& chain, DeviceCallback onDeviceAdded,
                           DeviceCallback onDeviceRemoved)
    : chain_(chain),
      onDeviceAdded_(std::move(onDeviceAdded)),
      onDeviceRemoved_(std::move(onDeviceRemoved)) {}

int64_t ControlPoint::nowSeconds() const {
    return chain_.clock().nowMs() / 1000;
}

size_t ControlPoint::knownDeviceCount() {
    std::lock_guard lock(tableMutex_);
    return static_cast<size_t>(std::count_if(deviceTable_.begin(), deviceTable_.end(),
                                             [](const auto& entry) { return entry.second; }));
}

size_t ControlPoint::fetchesInProgress() {
    std::lock_guard lock(tableMutex_);
    return fetchTable_.size();
}

void ControlPoint::handleSsdpResult(std::string_view udn, bool alive,
                                    std::string_view descriptionUrl, int lifetimeSeconds,
                                    SsdpOrigin origin, uint32_t senderAddress) {
    if (udn.empty())
        return;
    if (!alive) {
        goodbye(udn, senderAddress);
        return;
    }
    if (lifetimeSeconds <= 0 || descriptionUrl.empty())
        return;

    DeviceRecord* root = nullptr;
    {
        std::lock_guard lock(tableMutex_);
        auto known = deviceTable_.find(std::string(udn));
        bool urlKnown = locationTable_.contains(std::string(descriptionUrl));
        if (known == deviceTable_.end() && !urlKnown) {
            root = nullptr;
        } else {
            // Search answers for known devices say nothing new, and a device whose description
            // is still on its way has nothing to refresh.
            if (origin != FromNotify || known == deviceTable_.end() || known->second == nullptr)
                return;
            root = &rootOf(*known->second);
        }
    }
    if (root == nullptr) {
        startFetch(udn, descriptionUrl, lifetimeSeconds);
        return;
    }

    const int64_t now = nowSeconds();
    if (root->LocationURL == descriptionUrl) {
        root->lastNoticeTime = now;
        lifetimeRemove(*monitor_, root);
        startExpiryTimer(*root, lifetimeSeconds);
    } else if (locationNamesSender(root->LocationURL, senderAddress) &&
               now - root->lastNoticeTime > kLocationChangeGuardSeconds) {
        // Only the device's own host may move it: any other host could otherwise take a known
        // device's place in the list by naming itself.
        root->lastNoticeTime = now;
        root->pendingLocation.assign(descriptionUrl);
        lifetimeRemove(*monitor_, root);
        startLocationTimer(*root);
    }
}

void ControlPoint::goodbye(std::string_view udnView, uint32_t senderAddress) {
    // A goodbye carries no description URL of its own: it is believed from the host that the
    // device's current description URL (or the one being fetched) names, and from nobody else.
    bool fromOwner = false;
    {
        std::lock_guard lock(tableMutex_);
        const std::string udn(udnView);
        if (auto fetch = fetchTable_.find(udn); fetch != fetchTable_.end())
            fromOwner = locationNamesSender(fetch->second.url, senderAddress);
        else if (auto entry = deviceTable_.find(udn);
                 entry != deviceTable_.end() && entry->second != nullptr)
            fromOwner = locationNamesSender(rootOf(*entry->second).LocationURL, senderAddress);
    }
    if (fromOwner)
        goodbyeFromOwner(udnView);
}

void ControlPoint::goodbyeFromOwner(std::string_view udnView) {
    const std::string udn(udnView);
    DeviceRecord* root = nullptr;
    {
        std::lock_guard lock(tableMutex_);
        if (auto fetch = fetchTable_.find(udn); fetch != fetchTable_.end()) {
            cancelRequest(fetch->second.token);
            // The URL is forgotten too: a location entry left behind would block every later
            // fetch from that URL.
            if (auto location = locationTable_.find(fetch->second.url);
                location != locationTable_.end() && location->second == udn)
                locationTable_.erase(location);
            eraseFetchLocked(fetch);
            if (auto entry = deviceTable_.find(udn);
                entry != deviceTable_.end() && entry->second == nullptr)
                deviceTable_.erase(entry);
        }
        if (auto entry = deviceTable_.find(udn);
            entry != deviceTable_.end() && entry->second != nullptr) {
            root = &rootOf(*entry->second);
            lifetimeRemove(*monitor_, root);
        }
    }
    if (root != nullptr) {
        removeTree(*root);
        releaseTree(*root);
    }
}

bool ControlPoint::mayFetchLocked(uint32_t host) {
    const HostLoad load = hostLoad_.contains(host) ? hostLoad_[host] : HostLoad{};
    const char* bound = nullptr;
    if (deviceTable_.size() >= kMaxDevices)
        bound = "devices of all hosts";
    else if (load.roots + load.fetches >= kMaxDevicesPerHost)
        bound = "devices of one host";
    else if (load.fetches >= kMaxFetchesPerHost)
        bound = "description fetches of one host";
    if (bound == nullptr)
        return true;
    if (tracedHosts_.size() >= kMaxTracedHosts)
        tracedHosts_.clear();
    if (tracedHosts_.insert(host).second)
        platform::traceNarrow(">>>ControlPoint: announcements from " + dottedAddress(host) +
                              " dropped: it reached the bound of " + bound);
    return false;
}

void ControlPoint::eraseFetchLocked(std::map<std::string, Fetch>::iterator fetch) {
    if (auto load = hostLoad_.find(fetch->second.host); load != hostLoad_.end()) {
        --load->second.fetches;
        if (load->second.fetches == 0 && load->second.roots == 0)
            hostLoad_.erase(load);
    }
    fetchTable_.erase(fetch);
}

void ControlPoint::countRoot(const DeviceRecord& root, int change) {
    const uint32_t host = inet_addr(parseUri(root.LocationURL).host.c_str());
    std::lock_guard lock(tableMutex_);
    HostLoad& load = hostLoad_[host];
    if (change > 0)
        ++load.roots;
    else if (load.roots > 0)
        --load.roots;
    if (load.fetches == 0 && load.roots == 0)
        hostLoad_.erase(host);
}

void ControlPoint::startFetch(std::string_view udnView, std::string_view urlView,
                              int lifetimeSeconds) {
    const std::string udn(udnView);
    const std::string url(urlView);
    Uri uri = parseUri(url);
    in_addr_t address = inet_addr(uri.host.c_str());
    if (address == INADDR_NONE || uri.port == 0)
        return;
    auto packet = createRequestPacket(uri.host, uri.port, uri.path.empty() ? "/" : uri.path, "GET");
    if (!packet)
        return;

    const uint64_t id = nextFetchId_++;
    {
        std::lock_guard lock(tableMutex_);
        if (!mayFetchLocked(address))
            return;
        locationTable_[url] = udn;
        deviceTable_[udn] = nullptr;
        ++hostLoad_[address].fetches;
    }
    RequestToken token = webRequestPacket(
        *webClient_, address, uri.port, std::move(packet),
        [this, udn, url, id, lifetimeSeconds](ConnectionRecord*, int, const HttpPacket* head,
                                              std::string_view body, size_t&, bool done, int&) {
            // Bytes are left unconsumed until the last call offers the whole body.
            if (done)
                descriptionDone(udn, url, id, lifetimeSeconds, head, body);
        });
    std::lock_guard lock(tableMutex_);
    fetchTable_[udn] = Fetch{token, url, id, address};
}

void ControlPoint::descriptionDone(const std::string& udn, const std::string& url, uint64_t fetchId,
                                   int lifetimeSeconds, const HttpPacket* head,
                                   std::string_view body) {
    {
        std::lock_guard lock(tableMutex_);
        auto fetch = fetchTable_.find(udn);
        if (fetch == fetchTable_.end() || fetch->second.id != fetchId)
            return;  // forgotten by a goodbye meanwhile
        eraseFetchLocked(fetch);
        if (auto location = locationTable_.find(url);
            location != locationTable_.end() && location->second == udn)
            locationTable_.erase(location);
    }
    std::unique_ptr<DeviceRecord> tree;
    if (head != nullptr && head->statusCode >= 200 && head->statusCode <= 299 && !body.empty())
        tree = processDescription(body, url, dottedAddress(head->localAddress),
                                  static_cast<uint32_t>(std::max(lifetimeSeconds, 0)), this);
    if (!tree) {
        std::lock_guard lock(tableMutex_);
        if (auto entry = deviceTable_.find(udn);
            entry != deviceTable_.end() && entry->second == nullptr)
            deviceTable_.erase(entry);
        return;
    }
    addTree(std::move(tree), udn, lifetimeSeconds);
}

void ControlPoint::addTree(std::unique_ptr<DeviceRecord> tree, const std::string& fetchedUdn,
                           int lifetimeSeconds) {
    DeviceRecord& root = *tree;
    {
        std::lock_guard lock(referenceMutex_);
        root.referenceCount = 1;
        trees_.emplace(&root, std::move(tree));
    }
    countRoot(root, +1);
    {
        std::lock_guard lock(tableMutex_);
        forEachDevicePreOrder(root, [&](DeviceRecord& device) {
            if (!device.UDN.empty())
                deviceTable_[device.UDN] = &device;
        });
        // A description whose devices do not carry the announced UDN is still reached through
        // it, so that its announcements refresh it and its goodbye removes it; otherwise the
        // device would stay "being fetched" for ever.
        if (auto entry = deviceTable_.find(fetchedUdn);
            entry != deviceTable_.end() && entry->second == nullptr)
            entry->second = &root;
    }
    root.lastNoticeTime = nowSeconds();
    forEachDevicePreOrder(root, [&](DeviceRecord& device) {
        device.announced = true;
        {
            std::lock_guard lock(referenceMutex_);
            ++root.referenceCount;
        }
        if (onDeviceAdded_)
            onDeviceAdded_(&device);
    });
    startExpiryTimer(root, lifetimeSeconds);
}

void ControlPoint::startExpiryTimer(DeviceRecord& root, int lifetimeSeconds) {
    DeviceRecord* key = &root;
    // The timer removes its own tree rather than whatever the UDN names by then: another
    // description may have claimed the same UDN meanwhile.
    lifetimeAdd(*monitor_, key, static_cast<int64_t>(lifetimeSeconds) * 1000,
                [this, key] { removeRoot(*key); });
}

void ControlPoint::startLocationTimer(DeviceRecord& root) {
    DeviceRecord* key = &root;
    lifetimeAdd(*monitor_, key, kLocationChangeDelayMs, [this, key] {
        std::string udn = key->UDN;
        {
            std::lock_guard lock(tableMutex_);
            for (const auto& [name, record] : deviceTable_)
                if (record == key && udn.empty())
                    udn = name;
        }
        const int lifetime = static_cast<int>(key->CacheTime);
        const std::string location = key->pendingLocation;
        // The new URL was accepted from the device's own host, which it names.
        const uint32_t host = inet_addr(parseUri(location).host.c_str());
        removeRoot(*key);  // frees `key`
        handleSsdpResult(udn, true, location, lifetime, FromNotify, host);
    });
}

void ControlPoint::removeRoot(DeviceRecord& root) {
    {
        std::lock_guard lock(referenceMutex_);
        if (!trees_.contains(&root))
            return;
    }
    lifetimeRemove(*monitor_, &root);
    removeTree(root);
    releaseTree(root);
}

void ControlPoint::removeTree(DeviceRecord& device) {
    lifetimeRemove(*monitor_, &device);
    for (auto& embedded : device.embeddedDevices)
        removeTree(*embedded);
    // The device's own requests are its description fetch, cancelled with it. Requests to the
    // servers its services name are left alone: those servers are shared with other devices
    // (embedded ones, or several boxes behind one web server) whose fetches must go on.
    for (auto& service : device.services)
        lifetimeRemove(*monitor_, service.get());
    if (device.announced) {
        if (onDeviceRemoved_)
            onDeviceRemoved_(&device);
        device.announced = false;
        std::lock_guard lock(referenceMutex_);
        --rootOf(device).referenceCount;
    }
    std::lock_guard lock(tableMutex_);
    // Only entries that still name this device: a newer record or fetch of the same UDN stays.
    std::erase_if(deviceTable_, [&](const auto& entry) { return entry.second == &device; });
    if (!device.UDN.empty() && !device.LocationURL.empty())
        if (auto location = locationTable_.find(device.LocationURL);
            location != locationTable_.end() && location->second == device.UDN &&
            !fetchTable_.contains(device.UDN))
            locationTable_.erase(location);
}

void ControlPoint::releaseTree(DeviceRecord& root) {
    std::unique_ptr<DeviceRecord> freed;
    {
        std::lock_guard lock(referenceMutex_);
        if (--root.referenceCount > 0)
            return;
        auto owned = trees_.find(&root);
        if (owned != trees_.end()) {
            freed = std::move(owned->second);
            trees_.erase(owned);
        }
    }
    if (freed)
        countRoot(*freed, -1);
}

void ControlPoint::preSelect(SocketSets& sets, int& waitMs) {
    (void)sets;
    (void)waitMs;
    if (addressesChanged_.exchange(false))
        changeAddresses();
}

void ControlPoint::changeAddresses() {
    std::vector<uint32_t> addresses = getLocalAddressList();
    // A renewed lease of an unchanged address is reported like any change: only a different
    // set of addresses is worth dropping devices and searching again for.
    std::vector<uint32_t> sortedNew = addresses;
    std::vector<uint32_t> sortedOld = localAddresses_;
    std::sort(sortedNew.begin(), sortedNew.end());
    std::sort(sortedOld.begin(), sortedOld.end());
    if (sortedNew == sortedOld)
        return;
    std::vector<std::string> dotted;
    for (uint32_t address : addresses)
        dotted.push_back(dottedAddress(address));
    std::vector<DeviceRecord*> lost;
    {
        std::lock_guard lock(referenceMutex_);
        for (const auto& [root, tree] : trees_)
            if (std::find(dotted.begin(), dotted.end(), tree->InterfaceAddress) == dotted.end())
                lost.push_back(tree.get());
    }
    for (DeviceRecord* root : lost)
        removeRoot(*root);
    ssdpSearch(*ssdpClient_);
    localAddresses_ = std::move(addresses);
}

void ControlPoint::destroy() {
    // The chain is ending: trees go without removal reports.
    {
        std::lock_guard lock(tableMutex_);
        deviceTable_.clear();
        fetchTable_.clear();
        locationTable_.clear();
        hostLoad_.clear();
    }
    std::map<const DeviceRecord*, std::unique_ptr<DeviceRecord>> trees;
    {
        std::lock_guard lock(referenceMutex_);
        for (auto& [root, tree] : trees_)
            forEachDevicePreOrder(*tree, [](DeviceRecord& device) { device.announced = false; });
        trees.swap(trees_);
    }
    localAddresses_.clear();
}

ControlPoint* createControlPoint(Chain& chain, DeviceCallback onDeviceAdded,
                                 DeviceCallback onDeviceRemoved) {
    auto controlPoint =
        std::make_unique<ControlPoint>(chain, std::move(onDeviceAdded), std::move(onDeviceRemoved));
    ControlPoint* self = controlPoint.get();
    self->webServer_ = &createWebServer(chain, ControlPoint::kWebServerSessions, 0);
    self->ssdpClient_ = &createSsdpClient(chain, ControlPoint::kSearchTarget,
                                          [self](SsdpClient&, std::optional<std::string_view> udn,
                                                 bool alive, std::optional<std::string_view> url,
                                                 int lifetime, SsdpOrigin origin, uint32_t sender) {
                                              if (udn)
                                                  self->handleSsdpResult(
                                                      *udn, alive, url.value_or(std::string_view()),
                                                      lifetime, origin, sender);
                                          });
    self->webClient_ = &createWebClient(chain, ControlPoint::kWebClientPoolSize);
    addToChain(chain, std::move(controlPoint));
    self->monitor_ = &createLifetimeMonitor(chain);
    self->localAddresses_ = getLocalAddressList();
    return self;
}

void controlPointAddressesChanged(ControlPoint& controlPoint) {
    if (controlPoint.chain_.isTerminating())
        return;
    controlPoint.addressesChanged_.store(true);
    unblockChain(controlPoint.chain_);
}

}  // namespace upnp
