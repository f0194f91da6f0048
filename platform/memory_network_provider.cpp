#include "platform/memory_network_provider.h"

#include <algorithm>
#include <utility>

#include "platform/network_names.h"
#include "platform/share_enumeration.h"

namespace platform {

void MemoryNetworkProvider::addServer(std::u16string_view host) {
    std::lock_guard lock(mutex_);
    if (!findServer(host))
        servers_.push_back(Server{std::u16string(host), {}, {}});
}

void MemoryNetworkProvider::addShare(std::u16string_view host, std::u16string_view share,
                                     ShareAccess access, std::u16string_view comment,
                                     uint32_t type) {
    addServer(host);
    std::lock_guard lock(mutex_);
    findServer(host)->shares.push_back(
        Share{std::u16string(share), type, std::u16string(comment), std::move(access)});
}

void MemoryNetworkProvider::addAccount(std::u16string_view host, std::u16string_view user,
                                       std::u16string_view password) {
    addServer(host);
    std::lock_guard lock(mutex_);
    findServer(host)->accounts[toUpper(user)] = std::u16string(password);
}

void MemoryNetworkProvider::setLocalDrives(std::u16string_view letters) {
    std::lock_guard lock(mutex_);
    localDrives_.clear();
    for (char16_t c : letters) {
        if (auto letter = driveLetterOf(std::u16string_view(&c, 1)))
            localDrives_.insert(*letter);
    }
}

void MemoryNetworkProvider::addRememberedConnection(std::u16string_view localName,
                                                    std::u16string_view remoteName,
                                                    std::u16string_view userName) {
    std::lock_guard lock(mutex_);
    connections_.push_back(Connection{std::u16string(localName), std::u16string(remoteName),
                                      std::u16string(userName), true, false});
}

void MemoryNetworkProvider::failNextAdd(WinError error) {
    std::lock_guard lock(mutex_);
    nextAddFailure_ = error;
}

void MemoryNetworkProvider::failNextCancel(WinError error) {
    std::lock_guard lock(mutex_);
    nextCancelFailure_ = error;
}

std::vector<MemoryNetworkProvider::Connection> MemoryNetworkProvider::connections() const {
    std::lock_guard lock(mutex_);
    return connections_;
}

std::vector<MemoryNetworkProvider::AddCall> MemoryNetworkProvider::addCalls() const {
    std::lock_guard lock(mutex_);
    return addCalls_;
}

std::vector<MemoryNetworkProvider::CancelCall> MemoryNetworkProvider::cancelCalls() const {
    std::lock_guard lock(mutex_);
    return cancelCalls_;
}

MemoryNetworkProvider::Server* MemoryNetworkProvider::findServer(std::u16string_view host) {
    for (Server& server : servers_) {
        if (equalsIgnoringCase(server.host, host))
            return &server;
    }
    return nullptr;
}

WinError MemoryNetworkProvider::addConnection(const NetResource& resource,
                                              std::u16string_view password,
                                              std::u16string_view userName, uint32_t flags) {
    std::lock_guard lock(mutex_);
    WinError result;
    if (nextAddFailure_) {
        result = *std::exchange(nextAddFailure_, std::nullopt);
    } else {
        result = connect(resource, password, userName, flags);
    }
    addCalls_.push_back(
        AddCall{resource, std::u16string(password), std::u16string(userName), flags, result});
    return result;
}

WinError MemoryNetworkProvider::connect(const NetResource& resource, std::u16string_view password,
                                        std::u16string_view userName, uint32_t flags) {
    std::optional<char16_t> letter;
    if (!resource.localName.empty()) {
        letter = driveLetterOf(resource.localName);
        if (!letter)
            return kErrorBadDevice;
    }
    const std::optional<UncName> remote = parseUncName(resource.remoteName);
    if (!remote || remote->share.empty())
        return kErrorBadNetName;
    if (letter) {
        if (localDrives_.count(*letter))
            return kErrorAlreadyAssigned;
        for (const Connection& c : connections_) {
            if (driveLetterOf(c.localName) == letter)
                return kErrorAlreadyAssigned;
        }
    }
    if (!userName.empty()) {
        for (const Connection& c : connections_) {
            const std::optional<UncName> held = parseUncName(c.remoteName);
            if (c.active && held && equalsIgnoringCase(held->host, remote->host) &&
                !c.userName.empty() && !equalsIgnoringCase(c.userName, userName))
                return kErrorSessionCredentialConflict;
        }
    }
    Server* server = findServer(remote->host);
    if (!server)
        return kErrorBadNetPath;
    auto share = std::find_if(server->shares.begin(), server->shares.end(), [&](const Share& s) {
        return equalsIgnoringCase(s.name, remote->share);
    });
    if (share == server->shares.end())
        return kErrorBadNetName;
    if (userName.empty()) {
        if (!share->access.guest)
            return kErrorAccessDenied;
    } else {
        auto account = server->accounts.find(toUpper(userName));
        if (account == server->accounts.end() || account->second != password)
            return password.empty() ? kErrorInvalidPassword : kErrorLogonFailure;
        const bool allowed = std::any_of(
            share->access.users.begin(), share->access.users.end(),
            [&](const std::u16string& user) { return equalsIgnoringCase(user, userName); });
        if (!allowed && !share->access.guest)
            return kErrorAccessDenied;
    }
    std::u16string localName;
    if (letter)
        localName = std::u16string{*letter, u':'};
    connections_.push_back(Connection{localName, resource.remoteName, std::u16string(userName),
                                      (flags & kConnectUpdateProfile) != 0, true});
    return kNoError;
}

WinError MemoryNetworkProvider::cancelConnection(std::u16string_view name, bool force) {
    std::lock_guard lock(mutex_);
    WinError result;
    if (nextCancelFailure_) {
        result = *std::exchange(nextCancelFailure_, std::nullopt);
    } else {
        result = cancel(name);
    }
    cancelCalls_.push_back(CancelCall{std::u16string(name), force, result});
    return result;
}

WinError MemoryNetworkProvider::cancel(std::u16string_view name) {
    // A drive name cancels the connection of that letter; anything else is taken as a remote
    // name and cancels the connections to it that have no drive: a drive goes only by its letter.
    const std::optional<char16_t> letter = driveLetterOf(name);
    const size_t before = connections_.size();
    std::erase_if(connections_, [&](const Connection& c) {
        if (letter)
            return driveLetterOf(c.localName) == letter;
        return !name.empty() && c.localName.empty() && remoteNamesEqual(c.remoteName, name);
    });
    return connections_.size() == before ? kErrorNotConnected : kNoError;
}

WinError MemoryNetworkProvider::getConnection(std::u16string_view localName,
                                              std::u16string& remoteName) {
    std::lock_guard lock(mutex_);
    const std::optional<char16_t> letter = driveLetterOf(localName);
    if (!letter)
        return kErrorBadDevice;
    for (const Connection& c : connections_) {
        if (driveLetterOf(c.localName) == letter) {
            remoteName = c.remoteName;
            return kNoError;
        }
    }
    return kErrorNotConnected;
}

WinError MemoryNetworkProvider::openEnum(uint32_t, uint32_t, uint32_t, const NetResource& container,
                                         std::unique_ptr<NetEnumeration>& enumeration) {
    std::lock_guard lock(mutex_);
    const std::optional<UncName> name = parseUncName(container.remoteName);
    if (!name)
        return kErrorBadNetName;
    Server* server = findServer(name->host);
    if (!server)
        return kErrorBadNetPath;
    std::vector<NetResource> entries;
    if (name->share.empty()) {
        for (const Share& share : server->shares) {
            if (isListedShare(share.name, share.type))
                entries.push_back(shareResource(name->host, share.name, share.comment));
        }
    }
    enumeration = std::make_unique<ListEnumeration>(std::move(entries));
    return kNoError;
}

WinError MemoryNetworkProvider::enumResource(NetEnumeration& enumeration, uint32_t maxCount,
                                             std::vector<NetResource>& entries) {
    return nextListEntries(enumeration, maxCount, entries);
}

WinError MemoryNetworkProvider::closeEnum(std::unique_ptr<NetEnumeration> enumeration) {
    return closeListEnumeration(std::move(enumeration));
}

uint32_t MemoryNetworkProvider::getLogicalDriveStrings(std::u16string& buffer) {
    std::lock_guard lock(mutex_);
    std::set<char16_t> letters = localDrives_;
    for (const Connection& c : connections_) {
        if (auto letter = driveLetterOf(c.localName))
            letters.insert(*letter);
    }
    return writeDriveStrings(letters, buffer);
}

}  // namespace platform
