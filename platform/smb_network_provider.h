#pragma once

// The network provider over SMB (libsmbclient). Adding a connection authenticates for real
// against smb://host/share in a fresh client context (a cached session would accept a wrong
// password), then records the connection; with kConnectUpdateProfile it is also remembered in
// the per-user store under "Network\<letter>" (RemotePath, UserName, ProviderName, ConnectionType
// = 1, DeferFlags = 1). Where GVfs runs (gvfs_mount.h), the share is then mounted so that the
// user's programs can open it, and the connection is made only when that mount succeeds; a mount
// this provider made (recorded in the per-user store under "Software\DriveScout\Mounts", so any
// process knows it) is unmounted when the last connection to the share is cancelled, while a
// share the user had mounted before is left alone. Without GVfs, connecting checks and records.
//
// Error codes: 1200 local name not one letter A–Z (optional colon); 67 remote name not
// \\host\share[\folder] (no network used); 85 letter held by a connection, a remembered one or a
// local drive; 1219 another named user holds a connection to that server; from the server:
// ENOENT 67, ECONNREFUSED/ETIMEDOUT/EHOSTUNREACH/ENETUNREACH 53, EACCES/EPERM → the server root
// is listed with the same credentials: refused 1326 (86 when the password was empty), allowed 5;
// 2250 cancelling a name with no connection.
//
// The port is DRIVESCOUT_SMB_PORT when set, else the number "Port" under
// "Software\DriveScout\SMB" in the per-user store, else 445. Letters the store lists in the text
// "Letters" under "Software\DriveScout\LocalDrives" count as local drives.
//
// Any thread may call; connections are added one at a time.

#include <cerrno>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/network_provider.h"

namespace platform {

inline constexpr std::u16string_view kSmbSettingsKey = u"Software\\DriveScout\\SMB";
inline constexpr std::u16string_view kLocalDrivesKey = u"Software\\DriveScout\\LocalDrives";
inline constexpr uint16_t kDefaultSmbPort = 445;

// The code for an errno of libsmbclient that needs no second look at the server.
WinError winErrorFromSmbErrno(int error);
uint16_t smbPort();
// "smb://host/share/folder" with the components percent-encoded as libsmbclient expects.
std::string smbUrl(std::u16string_view host, std::u16string_view share = {},
                   std::u16string_view path = {});
// The address GVfs mounts for a share: "smb://host[:port]/share/", the port only when it is not
// 445, an IPv6 address in brackets.
std::string smbMountUrl(std::u16string_view host, std::u16string_view share, uint16_t port);
inline constexpr std::u16string_view kMountsKey = u"Software\\DriveScout\\Mounts";

class SmbNetworkProvider final : public NetworkProvider {
  public:
    WinError addConnection(const NetResource& resource, std::u16string_view password,
                           std::u16string_view userName, uint32_t flags) override;
    WinError cancelConnection(std::u16string_view name, bool force) override;
    WinError getConnection(std::u16string_view localName, std::u16string& remoteName) override;
    WinError openEnum(uint32_t scope, uint32_t type, uint32_t usage, const NetResource& container,
                      std::unique_ptr<NetEnumeration>& enumeration) override;
    WinError enumResource(NetEnumeration& enumeration, uint32_t maxCount,
                          std::vector<NetResource>& entries) override;
    WinError closeEnum(std::unique_ptr<NetEnumeration> enumeration) override;
    uint32_t getLogicalDriveStrings(std::u16string& buffer) override;
    std::vector<ConnectionInfo> listConnections() override;

    // Connects the connection remembered under `localName` again, as after a sign-in, with the
    // password of its user (empty for guest) and the user's domain; 2250 when nothing is
    // remembered there, 0 when it is connected already.
    WinError restoreConnection(std::u16string_view localName, std::u16string_view password,
                               std::u16string_view domain);

  private:
    struct Connection {
        std::u16string localName;  // "Z:" or empty
        std::u16string remoteName;
        std::u16string host;
        std::u16string userName;
        std::u16string password;  // kept for listing the server's shares; never traced
        std::string mountUrl;
    };

    // Checks the credentials at the server, mounts and records the connection.
    WinError connect(std::u16string localName, const std::u16string& remoteName,
                     std::u16string_view userName, std::u16string_view password,
                     std::u16string_view domain);

    std::mutex addMutex_;  // one authentication at a time, so the 1219 check holds
    std::mutex mutex_;     // guards connections_
    std::vector<Connection> connections_;
};

}  // namespace platform
