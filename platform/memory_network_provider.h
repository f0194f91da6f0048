#pragma once

// An in-memory network provider for tests: servers with shares, accounts and per-share access
// lists, connections and remembered connections, and a set of letters taken by local drives. It
// answers with the same error codes as the SMB provider, without any network:
//   1200 local name not one letter A–Z (optional colon), 67 remote name not \\host\share or no
//   such share, 85 letter in use (connection, remembered connection or local drive), 1219 a
//   second named user for a server while another named user holds a connection to it, 53 unknown
//   server, 86 a named user refused with an empty password, 1326 unknown account or wrong
//   password, 5 account (or guest) not allowed on the share, 2250 cancelling a name without
//   connection.
// Every call is recorded so that tests can check what reached the provider. All members may be
// called from any thread.

#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/network_provider.h"

namespace platform {

class MemoryNetworkProvider final : public NetworkProvider {
  public:
    struct ShareAccess {
        bool guest = false;                 // guests (empty user name) may connect
        std::vector<std::u16string> users;  // accounts allowed besides guests
    };
    struct Connection {
        std::u16string localName;  // "Z:" or empty
        std::u16string remoteName;
        std::u16string userName;
        bool remembered = false;
        bool active = true;  // false: remembered only (as after a restart)
    };
    struct AddCall {
        NetResource resource;
        std::u16string password;
        std::u16string userName;
        uint32_t flags = 0;
        WinError result = 0;
    };
    struct CancelCall {
        std::u16string name;
        bool force = false;
        WinError result = 0;
    };

    // --- Setting up the modelled network
    void addServer(std::u16string_view host);
    // Adds the server too when needed. `type` 1 disk, 2 printer; "$" shares are hidden from
    // enumeration as they are on a real server.
    void addShare(std::u16string_view host, std::u16string_view share, ShareAccess access,
                  std::u16string_view comment = {}, uint32_t type = 1);
    void addAccount(std::u16string_view host, std::u16string_view user,
                    std::u16string_view password);
    // Letters taken by local drives, for example u"ABCDE".
    void setLocalDrives(std::u16string_view letters);
    // Adds a remembered connection that is not active, as one left from an earlier session.
    void addRememberedConnection(std::u16string_view localName, std::u16string_view remoteName,
                                 std::u16string_view userName);
    // The next `addConnection` / `cancelConnection` returns `error` without doing anything.
    void failNextAdd(WinError error);
    void failNextCancel(WinError error);

    // --- Observing
    std::vector<Connection> connections() const;
    std::vector<AddCall> addCalls() const;
    std::vector<CancelCall> cancelCalls() const;

    // --- NetworkProvider
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

  private:
    struct Share {
        std::u16string name;
        uint32_t type = 1;
        std::u16string comment;
        ShareAccess access;
    };
    struct Server {
        std::u16string host;
        std::vector<Share> shares;                          // in the order they were added
        std::map<std::u16string, std::u16string> accounts;  // upper-case user → password
    };

    Server* findServer(std::u16string_view host);
    WinError connect(const NetResource& resource, std::u16string_view password,
                     std::u16string_view userName, uint32_t flags);
    WinError cancel(std::u16string_view name);

    mutable std::mutex mutex_;
    std::vector<Server> servers_;
    std::set<char16_t> localDrives_;
    std::vector<Connection> connections_;
    std::vector<AddCall> addCalls_;
    std::vector<CancelCall> cancelCalls_;
    std::optional<WinError> nextAddFailure_;
    std::optional<WinError> nextCancelFailure_;
};

}  // namespace platform
