#pragma once

// The network provider: connections of local drive names to remote shares ("Z:" →
// "\\host\share"), remembered connections, enumeration of a server's shares and the logical
// drives in use. Every call returns a platform error code (win_error.h), 0 = success.
//
// The process has one current provider (`networkProvider()`): the real SMB provider by default;
// tests install another (for example the in-memory one) with `setNetworkProvider`. Calls may come
// from any thread; implementations guard their own state.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win_error.h"

namespace platform {

// Resource record of a connection or an enumerated resource.
struct NetResource {
    uint32_t scope = 0;         // 0 connected, 1 global network, 3 remembered
    uint32_t type = 1;          // 0 any, 1 disk, 2 print
    uint32_t displayType = 3;   // 2 server, 3 share
    uint32_t usage = 0;         // 1 connectable, 2 container
    std::u16string localName;   // "Z:", empty for none
    std::u16string remoteName;  // "\\host\share" or "\\host"
    std::u16string comment;
    std::u16string provider;
};

inline constexpr uint32_t kConnectUpdateProfile = 1;  // remember the connection
inline constexpr uint32_t kResourceGlobalNet = 2;     // enumeration scope
inline constexpr uint32_t kResourceTypeAny = 0;

// An open enumeration; closing it is `closeEnum`.
class NetEnumeration {
  public:
    virtual ~NetEnumeration() = default;
};

class NetworkProvider {
  public:
    virtual ~NetworkProvider() = default;

    // Connects `resource.localName` (may be empty: a connection without a drive) to
    // `resource.remoteName`. An empty `userName` means guest; `flags` may hold
    // kConnectUpdateProfile.
    virtual WinError addConnection(const NetResource& resource, std::u16string_view password,
                                   std::u16string_view userName, uint32_t flags) = 0;
    // `name` is a local name ("Z:"), which cancels that drive and its remembered entry, or a remote
    // name, which cancels only the connections to it made without a drive; 2250 when nothing
    // matched.
    virtual WinError cancelConnection(std::u16string_view name, bool force) = 0;
    // Remote name connected to `localName`.
    virtual WinError getConnection(std::u16string_view localName, std::u16string& remoteName) = 0;

    // Enumeration of the resources inside `container` (a server "\\host" lists its disk shares).
    virtual WinError openEnum(uint32_t scope, uint32_t type, uint32_t usage,
                              const NetResource& container,
                              std::unique_ptr<NetEnumeration>& enumeration) = 0;
    // Appends up to `maxCount` further entries (0xFFFFFFFF: as many as there are) to `entries`;
    // kErrorNoMoreItems when the enumeration has no more.
    virtual WinError enumResource(NetEnumeration& enumeration, uint32_t maxCount,
                                  std::vector<NetResource>& entries) = 0;
    virtual WinError closeEnum(std::unique_ptr<NetEnumeration> enumeration) = 0;

    // Drive roots in use, each "C:\" followed by a zero unit, the list ending in a second zero
    // (the platform's drive-strings layout). Returns the number of units written before the
    // final zero, 0 on failure.
    virtual uint32_t getLogicalDriveStrings(std::u16string& buffer) = 0;
};

NetworkProvider& networkProvider();
// Installs `provider` as the current one (null restores the default) and returns the previous
// one installed this way (null when the default was in use).
std::unique_ptr<NetworkProvider> setNetworkProvider(std::unique_ptr<NetworkProvider> provider);

}  // namespace platform
