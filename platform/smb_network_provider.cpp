#include "platform/smb_network_provider.h"

#include <libsmbclient.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <type_traits>

#include "platform/gvfs_mount.h"
#include "platform/network_names.h"
#include "platform/share_enumeration.h"
#include "platform/user_store.h"
#include "platform/utf.h"

namespace platform {
namespace {

constexpr int kSmbTimeoutMs = 10000;

struct SmbCredentials {
    std::string user;
    std::string password;
};

void copyField(char* target, int size, const std::string& value) {
    if (size <= 0)
        return;
    const size_t length = std::min(value.size(), static_cast<size_t>(size - 1));
    std::memcpy(target, value.data(), length);
    target[length] = '\0';
}

void authenticate(SMBCCTX* context, const char*, const char*, char*, int, char* user, int userSize,
                  char* password, int passwordSize) {
    const auto* credentials = static_cast<const SmbCredentials*>(smbc_getOptionUserData(context));
    copyField(user, userSize, credentials->user);
    copyField(password, passwordSize, credentials->password);
}

// libsmbclient keeps process-wide state (its configuration, talloc stack frames) behind the
// contexts; one context at a time keeps that state out of reach of races.
std::recursive_mutex smbClientMutex;

// One fresh libsmbclient context: no server or session cached from an earlier call, so the
// credentials given are the ones the server judges.
class SmbSession {
  public:
    SmbSession(std::u16string_view user, std::u16string_view password)
        : lock_(smbClientMutex),
          credentials_{utf16ToUtf8(user), utf16ToUtf8(password)},
          context_(smbc_new_context()) {
        if (!context_)
            return;
        smbc_setDebug(context_, 0);
        smbc_setOptionUserData(context_, &credentials_);
        smbc_setFunctionAuthDataWithContext(context_, authenticate);
        smbc_setOptionUseKerberos(context_, false);
        smbc_setOptionFallbackAfterKerberos(context_, true);
        smbc_setOptionUseCCache(context_, false);
        // Without this, refused credentials would silently become an anonymous session.
        smbc_setOptionNoAutoAnonymousLogin(context_, true);
        smbc_setPort(context_, smbPort());
        smbc_setTimeout(context_, kSmbTimeoutMs);
        if (!smbc_init_context(context_)) {
            smbc_free_context(context_, 1);
            context_ = nullptr;
        }
    }
    ~SmbSession() {
        if (context_)
            smbc_free_context(context_, 1);
        std::fill(credentials_.password.begin(), credentials_.password.end(), '\0');
    }
    SmbSession(const SmbSession&) = delete;
    SmbSession& operator=(const SmbSession&) = delete;

    // 0 when the folder can be listed, else the errno of the failure.
    int probe(const std::string& url) { return list(url, nullptr); }

    // Lists the folder (or the shares of a server), handing each entry to `entry`.
    template <typename Visit>
    int list(const std::string& url, Visit visit) {
        if (!context_)
            return ENOMEM;
        errno = 0;
        SMBCFILE* dir = smbc_getFunctionOpendir(context_)(context_, url.c_str());
        if (!dir)
            return errno ? errno : EIO;
        if constexpr (!std::is_same_v<Visit, std::nullptr_t>) {
            while (const smbc_dirent* entry = smbc_getFunctionReaddir(context_)(context_, dir))
                visit(*entry);
        }
        smbc_getFunctionClosedir(context_)(context_, dir);
        return 0;
    }

  private:
    std::lock_guard<std::recursive_mutex> lock_;
    SmbCredentials credentials_;
    SMBCCTX* context_;
};

std::string encodeComponent(std::u16string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : utf16ToUtf8(text)) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c >= 0x80 || std::strchr("-._~$!'()*+,;=", c);
        if (plain) {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 0xF];
        }
    }
    return encoded;
}

std::u16string letterName(char16_t letter) {
    return std::u16string{letter, u':'};
}

std::u16string rememberedKey(char16_t letter) {
    return u"Network\\" + std::u16string(1, letter);
}

struct Remembered {
    char16_t letter;
    std::u16string remoteName;
};

// Connections remembered in the per-user store: single-letter subkeys of "Network".
std::vector<Remembered> rememberedConnections(const UserStore& store) {
    std::vector<Remembered> remembered;
    std::unique_ptr<UserStoreKey> network;
    if (store.openKey(u"Network", network) != kNoError)
        return remembered;
    std::vector<std::u16string> names;
    network->subkeys(names);
    for (const std::u16string& name : names) {
        const std::optional<char16_t> letter = driveLetterOf(name);
        if (!letter || name.size() != 1)
            continue;
        std::unique_ptr<UserStoreKey> key;
        std::u16string remote;
        if (store.openKey(rememberedKey(*letter), key) == kNoError)
            key->queryText(u"RemotePath", remote);
        remembered.push_back(Remembered{*letter, remote});
    }
    return remembered;
}

WinError remember(char16_t letter, const std::u16string& remoteName, std::u16string_view userName) {
    const UserStore store = UserStore::forCurrentUser();
    std::unique_ptr<UserStoreKey> key;
    WinError result = store.createKey(rememberedKey(letter), key);
    if (!result)
        result = key->setText(u"RemotePath", remoteName);
    if (!result)
        result = key->setText(u"UserName", userName);
    if (!result)
        result = key->setText(u"ProviderName", kNetworkProviderName);
    if (!result)
        result = key->setNumber(u"ConnectionType", 1);
    if (!result)
        result = key->setNumber(u"DeferFlags", 1);
    return result;
}

std::set<char16_t> storedLocalDrives(const UserStore& store) {
    std::set<char16_t> letters;
    std::unique_ptr<UserStoreKey> key;
    std::u16string text;
    if (store.openKey(kLocalDrivesKey, key) == kNoError &&
        key->queryText(u"Letters", text) == kNoError) {
        for (char16_t c : text) {
            if (auto letter = driveLetterOf(std::u16string_view(&c, 1)))
                letters.insert(*letter);
        }
    }
    return letters;
}

}  // namespace

WinError winErrorFromSmbErrno(int error) {
    switch (error) {
        case 0:
            return kNoError;
        case ENOENT:
        case ENOTDIR:
            return kErrorBadNetName;
        case EACCES:
        case EPERM:
            return kErrorAccessDenied;
        case ENOMEM:
            return kErrorNotEnoughMemory;
        default:
            // ECONNREFUSED, ETIMEDOUT, EHOSTUNREACH, ENETUNREACH and whatever else keeps the
            // server out of reach.
            return kErrorBadNetPath;
    }
}

uint16_t smbPort() {
    auto parse = [](std::string_view text) -> std::optional<uint16_t> {
        unsigned value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc() || end != text.data() + text.size() || value == 0 || value > 65535)
            return std::nullopt;
        return static_cast<uint16_t>(value);
    };
    if (const char* text = std::getenv("DRIVESCOUT_SMB_PORT")) {
        if (auto port = parse(text))
            return *port;
    }
    std::unique_ptr<UserStoreKey> key;
    uint32_t stored = 0;
    if (UserStore::forCurrentUser().openKey(kSmbSettingsKey, key) == kNoError &&
        key->queryNumber(u"Port", stored) == kNoError && stored > 0 && stored <= 65535)
        return static_cast<uint16_t>(stored);
    return kDefaultSmbPort;
}

std::string smbUrl(std::u16string_view host, std::u16string_view share, std::u16string_view path) {
    std::string url = "smb://" + encodeComponent(host) + "/";
    if (!share.empty())
        url += encodeComponent(share) + "/";
    size_t start = 0;
    while (start < path.size()) {
        const size_t end = std::min(path.find(u'\\', start), path.size());
        url += encodeComponent(path.substr(start, end - start)) + "/";
        start = end + 1;
    }
    return url;
}

WinError SmbNetworkProvider::addConnection(const NetResource& resource,
                                           std::u16string_view password,
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

    std::lock_guard addLock(addMutex_);
    const UserStore store = UserStore::forCurrentUser();
    {
        std::lock_guard lock(mutex_);
        if (letter) {
            if (storedLocalDrives(store).count(*letter))
                return kErrorAlreadyAssigned;
            for (const Connection& c : connections_) {
                if (driveLetterOf(c.localName) == letter)
                    return kErrorAlreadyAssigned;
            }
            for (const Remembered& r : rememberedConnections(store)) {
                if (r.letter == *letter)
                    return kErrorAlreadyAssigned;
            }
        }
        if (!userName.empty()) {
            for (const Connection& c : connections_) {
                if (equalsIgnoringCase(c.host, remote->host) && !c.userName.empty() &&
                    !equalsIgnoringCase(c.userName, userName))
                    return kErrorSessionCredentialConflict;
            }
        }
    }

    const std::string url = smbUrl(remote->host, remote->share, remote->path);
    int error = SmbSession(userName, password).probe(url);
    if (error == EACCES || error == EPERM) {
        // Refused at the share: when the server also refuses these credentials at its root,
        // the logon itself failed.
        const int rootError = SmbSession(userName, password).probe(smbUrl(remote->host));
        if (rootError == EACCES || rootError == EPERM)
            return !userName.empty() && password.empty() ? kErrorInvalidPassword
                                                         : kErrorLogonFailure;
        return kErrorAccessDenied;
    }
    if (error)
        return winErrorFromSmbErrno(error);

    std::u16string localName = letter ? letterName(*letter) : std::u16string();
    if (letter && (flags & kConnectUpdateProfile)) {
        if (WinError result = remember(*letter, resource.remoteName, userName))
            return result;
    }
    {
        std::lock_guard lock(mutex_);
        connections_.push_back(Connection{localName, resource.remoteName, remote->host,
                                          std::u16string(userName), std::u16string(password)});
    }
    gvfsMountInBackground(url, utf16ToUtf8(userName), utf16ToUtf8(password));
    return kNoError;
}

WinError SmbNetworkProvider::cancelConnection(std::u16string_view name, bool) {
    // Nothing stays open on the server between calls, so cancelling is bookkeeping (and the
    // GVfs mount); open files cannot hold it up and `force` changes nothing. A drive name
    // cancels that drive, connected or remembered; a remote name cancels only connections made
    // without a drive, as lettered ones are the user's drives and go only by their letter.
    const std::optional<char16_t> letter = driveLetterOf(name);
    if (name.empty() || (!letter && !parseUncName(name)))
        return kErrorNotConnected;
    const UserStore store = UserStore::forCurrentUser();
    bool found = false;
    std::vector<std::u16string> released;
    {
        std::lock_guard lock(mutex_);
        std::erase_if(connections_, [&](const Connection& c) {
            const bool match = letter ? driveLetterOf(c.localName) == letter
                                      : c.localName.empty() && remoteNamesEqual(c.remoteName, name);
            if (match)
                released.push_back(c.remoteName);
            return match;
        });
        found = !released.empty();
        if (letter) {
            for (const Remembered& r : rememberedConnections(store)) {
                if (r.letter == *letter && store.deleteKey(rememberedKey(r.letter)) == kNoError)
                    found = true;
            }
        }
        // The mount goes when no connection to that share is left.
        std::erase_if(released, [&](const std::u16string& remote) {
            return std::any_of(connections_.begin(), connections_.end(), [&](const Connection& c) {
                return remoteNamesEqual(c.remoteName, remote);
            });
        });
    }
    for (const std::u16string& remote : released) {
        if (const std::optional<UncName> parsed = parseUncName(remote))
            gvfsUnmountInBackground(smbUrl(parsed->host, parsed->share, parsed->path));
    }
    return found ? kNoError : kErrorNotConnected;
}

WinError SmbNetworkProvider::getConnection(std::u16string_view localName,
                                           std::u16string& remoteName) {
    const std::optional<char16_t> letter = driveLetterOf(localName);
    if (!letter)
        return kErrorBadDevice;
    {
        std::lock_guard lock(mutex_);
        for (const Connection& c : connections_) {
            if (driveLetterOf(c.localName) == letter) {
                remoteName = c.remoteName;
                return kNoError;
            }
        }
    }
    for (const Remembered& r : rememberedConnections(UserStore::forCurrentUser())) {
        if (r.letter == *letter) {
            remoteName = r.remoteName;
            return kNoError;
        }
    }
    return kErrorNotConnected;
}

WinError SmbNetworkProvider::openEnum(uint32_t, uint32_t, uint32_t, const NetResource& container,
                                      std::unique_ptr<NetEnumeration>& enumeration) {
    const std::optional<UncName> name = parseUncName(container.remoteName);
    if (!name)
        return kErrorBadNetName;
    if (!name->share.empty()) {
        // A share holds no further network resources.
        enumeration = std::make_unique<ListEnumeration>(std::vector<NetResource>{});
        return kNoError;
    }
    // The server is asked with the credentials of a connection held to it, else as guest.
    std::u16string user;
    std::u16string password;
    {
        std::lock_guard lock(mutex_);
        for (const Connection& c : connections_) {
            if (equalsIgnoringCase(c.host, name->host) && !c.userName.empty()) {
                user = c.userName;
                password = c.password;
                break;
            }
        }
    }
    std::vector<NetResource> entries;
    const int error =
        SmbSession(user, password).list(smbUrl(name->host), [&](const smbc_dirent& entry) {
            const std::u16string share = utf8ToUtf16(entry.name);
            const uint32_t type = entry.smbc_type == SMBC_FILE_SHARE ? 1 : 2;
            if (isListedShare(share, type))
                entries.push_back(shareResource(name->host, share,
                                                utf8ToUtf16(entry.comment ? entry.comment : "")));
        });
    if (error)
        return winErrorFromSmbErrno(error);
    enumeration = std::make_unique<ListEnumeration>(std::move(entries));
    return kNoError;
}

WinError SmbNetworkProvider::enumResource(NetEnumeration& enumeration, uint32_t maxCount,
                                          std::vector<NetResource>& entries) {
    return nextListEntries(enumeration, maxCount, entries);
}

WinError SmbNetworkProvider::closeEnum(std::unique_ptr<NetEnumeration> enumeration) {
    return closeListEnumeration(std::move(enumeration));
}

uint32_t SmbNetworkProvider::getLogicalDriveStrings(std::u16string& buffer) {
    const UserStore store = UserStore::forCurrentUser();
    std::set<char16_t> letters = storedLocalDrives(store);
    for (const Remembered& r : rememberedConnections(store))
        letters.insert(r.letter);
    {
        std::lock_guard lock(mutex_);
        for (const Connection& c : connections_) {
            if (auto letter = driveLetterOf(c.localName))
                letters.insert(*letter);
        }
    }
    return writeDriveStrings(letters, buffer);
}

}  // namespace platform
