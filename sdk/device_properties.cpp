// The property query: finds a listed device by its identity and fills in the folders it shares,
// as the network provider enumerates them.

#include <algorithm>
#include <string>

#include "platform/network_provider.h"
#include "sdk/upnp_device.h"
#include "sdk/upnp_sdk.h"

namespace {

constexpr uint32_t kUsageAll = 0;
constexpr uint32_t kUsageContainer = 2;
constexpr uint32_t kAsManyAsFit = 0xFFFFFFFF;
// A provider that keeps reporting containers inside containers must not exhaust the stack.
constexpr int kMaxContainerDepth = 8;

}  // namespace

int32_t CUPnPSDK::EnumerateShares(std::vector<LBString>& shares,
                                  const platform::NetResource& resource, int depth) {
    platform::NetworkProvider& provider = platform::networkProvider();
    std::unique_ptr<platform::NetEnumeration> enumeration;
    if (provider.openEnum(platform::kResourceGlobalNet, platform::kResourceTypeAny, kUsageAll,
                          resource, enumeration) != platform::kNoError ||
        !enumeration)
        return 0;

    uint32_t request = kAsManyAsFit;
    for (;;) {
        std::vector<platform::NetResource> entries;
        platform::WinError result = provider.enumResource(*enumeration, request, entries);
        // A success without entries would ask for 0 entries forever; it ends the list too.
        if (result != platform::kNoError || entries.empty())
            return provider.closeEnum(std::move(enumeration)) == platform::kNoError ? 1 : 0;
        for (const platform::NetResource& entry : entries) {
            std::u16string_view name = entry.remoteName;
            size_t slash = name.rfind(u'\\');
            shares.push_back(LBString::FromUtf16(
                slash == std::u16string_view::npos ? name : name.substr(slash + 1)));
            if ((entry.usage & kUsageContainer) != 0) {
                if (depth >= kMaxContainerDepth || EnumerateShares(shares, entry, depth + 1) == 0) {
                    // The open enumeration is closed on this path as well.
                    provider.closeEnum(std::move(enumeration));
                    return 0;
                }
            }
        }
        request = static_cast<uint32_t>(entries.size());
    }
}

int32_t CUPnPSDK::GetProperties(UPnPSession session, LBString udnSuffix, LBString ipAddress,
                                CAbstractUPnPDevice** device) {
    if (session == nullptr || device == nullptr)
        return 1;

    CAbstractUPnPDevice* match = nullptr;
    LBString host;
    {
        std::lock_guard lock(m_csDeviceList);
        for (CAbstractUPnPDevice* listed : m_DeviceList) {
            if (listed != nullptr && udnSuffix.CompareNoCase(listed->GetUDNSuffix()) == 0 &&
                ipAddress.CompareNoCase(listed->GetIPAddress()) == 0) {
                match = listed;
                host = listed->GetIPAddress();
                break;
            }
        }
    }

    if (match != nullptr) {
        platform::NetResource server;
        server.scope = platform::kResourceGlobalNet;
        server.type = platform::kResourceTypeAny;
        server.displayType = 0;
        server.usage = kUsageContainer;
        server.remoteName = u"\\\\" + std::u16string(host.View());
        // Enumerated without the lock, into a list of our own: the discovery thread may remove
        // and destroy the device meanwhile.
        std::vector<LBString> shares;
        bool complete = EnumerateShares(shares, server) != 0;

        std::lock_guard lock(m_csDeviceList);
        // Still listed, and not a new device that happens to sit at the same address.
        bool listed =
            std::find(m_DeviceList.begin(), m_DeviceList.end(), match) != m_DeviceList.end() &&
            udnSuffix.CompareNoCase(match->GetUDNSuffix()) == 0 &&
            ipAddress.CompareNoCase(match->GetIPAddress()) == 0;
        if (!listed) {
            match = nullptr;  // removed meanwhile: never hand out a destroyed device
        } else {
            std::vector<LBString>& list = *match->GetShareList();
            // A complete enumeration replaces the list, so asking again does not pile up copies;
            // a failed one only adds what it found before failing. A copy of the device may be
            // running on another thread (a callback): the old entries go only between copies.
            std::lock_guard fields(DeviceFieldsLock());
            if (complete)
                list = std::move(shares);
            else
                list.insert(list.end(), shares.begin(), shares.end());
        }
    }
    *device = match;
    return 0;
}
