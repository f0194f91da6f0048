#include "platform/smb_network_provider.h"

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
#include "platform/smb_client_library.h"
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
    const auto* credentials =
        static_cast<const SmbCredentials*>(smbClientLibrary()->smbc_getOptionUserData(context));
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
          smb_(smbClientLibrary()),
          credentials_{utf16ToUtf8(user), utf16ToUtf8(password)} {
        if (!smb_ || !(context_ = smb_->smbc_new_context()))
            return;
        smb_->smbc_setDebug(context_, 0);
        smb_->smbc_setOptionUserData(context_, &credentials_);
        smb_->smbc_setFunctionAuthDataWithContext(context_, authenticate);
        smb_->smbc_setOptionUseKerberos(context_, false);
        smb_->smbc_setOptionFallbackAfterKerberos(context_, true);
        smb_->smbc_setOptionUseCCache(context_, false);
        // Without this, refused credentials would silently become an anonymous session.
        smb_->smbc_setOptionNoAutoAnonymousLogin(context_, true);
        smb_->smbc_setPort(context_, smbPort());
        smb_->smbc_setTimeout(context_, kSmbTimeoutMs);
        if (!smb_->smbc_init_context(context_)) {
            smb_->smbc_free_context(context_, 1);
            context_ = nullptr;
        }
    }
    ~SmbSession() {
        if (context_)
            smb_->smbc_free_context(context_, 1);
        std::fill(credentials_.password.begin(), credentials_.password.end(), '\0');
    }
    SmbSession(const SmbSession&) = delete;
    SmbSession& operator=(const SmbSession&) = delete;

    // 0 when the folder can be listed, else the errno of the failure (ELIBACC: no SMB client).
    int probe(const std::string& url) { return list(url, nullptr); }

    // Lists the folder (or the shares of a server), handing each entry to `entry`.
    template <typename Visit>
    int list(const std::string& url, Visit visit) {
        if (!smb_)
            return ELIBACC;
        if (!context_)
            return ENOMEM;
        errno = 0;
        SMBCFILE* dir = smb_->smbc_getFunctionOpendir(context_)(context_, url.c_str());
        if (!dir)
            return errno ? errno : EIO;
        if constexpr (!std::is_same_v<Visit, std::nullptr_t>) {
            while (const smbc_dirent* entry =
                       smb_->smbc_getFunctionReaddir(context_)(context_, dir))
                visit(*entry);
        }
        smb_->smbc_getFunctionClosedir(context_)(context_, dir);
        return 0;
    }

  private:
    std::lock_guard<std::recursive_mutex> lock_;
    const SmbClientLibrary* smb_;
    SmbCredentials credentials_;
    SMBCCTX* context_ = nullptr;
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

// "a/b/" of the folder path "a\\b" inside a share.
std::string encodedPath(std::u16string_view path) {
    std::string encoded;
    size_t start = 0;
    while (start < path.size()) {
        const size_t end = std::min(path.find(u'\\', start), path.size());
        encoded += encodeComponent(path.substr(start, end - start)) + "/";
        start = end + 1;
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
    std::u16string userName;
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
        Remembered entry{*letter, {}, {}};
        if (store.openKey(rememberedKey(*letter), key) == kNoError) {
            key->queryText(u"RemotePath", entry.remoteName);
            key->queryText(u"UserName", entry.userName);
        }
        remembered.push_back(std::move(entry));
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

// Mounts this provider made, by URL, so that whichever process cancels the last connection to a
// share unmounts it, and a mount the user made is never taken away.
void recordOwnMount(const std::string& url, bool own) {
    std::unique_ptr<UserStoreKey> key;
    const UserStore store = UserStore::forCurrentUser();
    if (own) {
        if (store.createKey(kMountsKey, key) == kNoError)
            key->setNumber(utf8ToUtf16(url), 1);
    } else if (store.openKey(kMountsKey, key) == kNoError) {
        key->deleteValue(utf8ToUtf16(url));
    }
}

bool isOwnMount(const std::string& url) {
    std::unique_ptr<UserStoreKey> key;
    uint32_t own = 0;
    return UserStore::forCurrentUser().openKey(kMountsKey, key) == kNoError &&
           key->queryNumber(utf8ToUtf16(url), own) == kNoError && own == 1;
}

std::string mountUrlOf(std::u16string_view remoteName) {
    const std::optional<UncName> remote = parseUncName(remoteName);
    return remote ? smbMountUrl(remote->host, remote->share, smbPort()) : std::string();
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
        case ELIBACC:
            // libsmbclient could not be loaded: to the caller, no SMB network is there.
            return kErrorNoNetwork;
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
    return url + encodedPath(path);
}

std::string smbMountUrl(std::u16string_view host, std::u16string_view share, uint16_t port) {
    std::string authority = utf16ToUtf8(host);
    if (authority.find(':') != std::string::npos)
        authority = "[" + authority + "]";
    else
        authority = encodeComponent(host);
    if (port != kDefaultSmbPort)
        authority += ":" + std::to_string(port);
    return "smb://" + authority + "/" + encodeComponent(share) + "/";
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

    std::u16string localName = letter ? letterName(*letter) : std::u16string();
    if (WinError result = connect(localName, resource.remoteName, userName, password, {}))
        return result;
    if (letter && (flags & kConnectUpdateProfile)) {
        if (WinError result = remember(*letter, resource.remoteName, userName)) {
            cancelConnection(localName, true);
            return result;
        }
    }
    return kNoError;
}

WinError SmbNetworkProvider::connect(std::u16string localName, const std::u16string& remoteName,
                                     std::u16string_view userName, std::u16string_view password,
                                     std::u16string_view domain) {
    const std::optional<UncName> remote = parseUncName(remoteName);
    if (!remote || remote->share.empty())
        return kErrorBadNetName;
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

    // The share itself is mounted (a folder inside it is a place within that mount).
    const std::string mountUrl = smbMountUrl(remote->host, remote->share, smbPort());
    GvfsLogin login{utf16ToUtf8(userName), utf16ToUtf8(domain), utf16ToUtf8(password)};
    const GvfsMountResult mounted = gvfsMount(mountUrl, login);
    std::fill(login.password.begin(), login.password.end(), '\0');
    if (mounted.error)
        return mounted.error;
    if (gvfsAvailable() && !mounted.alreadyMounted)
        recordOwnMount(mountUrl, true);
    std::lock_guard lock(mutex_);
    connections_.push_back(Connection{std::move(localName), remoteName, remote->host,
                                      std::u16string(userName), std::u16string(password),
                                      mountUrl});
    return kNoError;
}

WinError SmbNetworkProvider::cancelConnection(std::u16string_view name, bool) {
    // Nothing of ours stays open on the server between calls, so cancelling is bookkeeping and
    // the unmount; `force` changes nothing. A drive name cancels that drive, connected or
    // remembered; a remote name cancels only connections made without a drive, as lettered ones
    // are the user's drives and go only by their letter.
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
                if (r.letter == *letter && store.deleteKey(rememberedKey(r.letter)) == kNoError) {
                    found = true;
                    released.push_back(r.remoteName);
                }
            }
        }
    }
    // A mount goes when no connection to that share is left, active or remembered.
    std::set<std::string> mountUrls;
    for (const std::u16string& remote : released)
        mountUrls.insert(mountUrlOf(remote));
    {
        std::lock_guard lock(mutex_);
        for (const Connection& c : connections_)
            mountUrls.erase(c.mountUrl);
    }
    for (const Remembered& r : rememberedConnections(store))
        mountUrls.erase(mountUrlOf(r.remoteName));
    for (const std::string& url : mountUrls) {
        if (!url.empty() && isOwnMount(url)) {
            gvfsUnmount(url);
            recordOwnMount(url, false);
        }
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

std::vector<ConnectionInfo> SmbNetworkProvider::listConnections() {
    std::vector<ConnectionInfo> list;
    {
        std::lock_guard lock(mutex_);
        for (const Connection& c : connections_) {
            ConnectionInfo info;
            info.localName = c.localName;
            info.remoteName = c.remoteName;
            info.userName = c.userName;
            info.active = true;
            list.push_back(std::move(info));
        }
    }
    const UserStore store = UserStore::forCurrentUser();
    for (const Remembered& r : rememberedConnections(store)) {
        auto same = std::find_if(list.begin(), list.end(), [&](const ConnectionInfo& info) {
            return driveLetterOf(info.localName) == r.letter;
        });
        if (same == list.end()) {
            ConnectionInfo info;
            info.localName = letterName(r.letter);
            info.remoteName = r.remoteName;
            info.userName = r.userName;
            same = list.insert(list.end(), std::move(info));
        }
        same->remembered = true;
    }
    for (ConnectionInfo& info : list) {
        const std::optional<UncName> remote = parseUncName(info.remoteName);
        if (!remote)
            continue;
        // The place of the connected folder itself, which may lie inside the mounted share.
        const std::string url =
            smbMountUrl(remote->host, remote->share, smbPort()) + encodedPath(remote->path);
        info.mounted = gvfsIsMounted(url);
        info.location = info.mounted ? gvfsLocation(url) : url;
    }
    std::stable_sort(
        list.begin(), list.end(),
        [](const ConnectionInfo& a, const ConnectionInfo& b) { return a.localName < b.localName; });
    return list;
}

WinError SmbNetworkProvider::restoreConnection(std::u16string_view localName,
                                               std::u16string_view password,
                                               std::u16string_view domain) {
    const std::optional<char16_t> letter = driveLetterOf(localName);
    if (!letter)
        return kErrorBadDevice;
    std::lock_guard addLock(addMutex_);
    {
        std::lock_guard lock(mutex_);
        for (const Connection& c : connections_) {
            if (driveLetterOf(c.localName) == letter)
                return kNoError;
        }
    }
    const UserStore store = UserStore::forCurrentUser();
    for (const Remembered& r : rememberedConnections(store)) {
        if (r.letter != *letter)
            continue;
        return connect(letterName(r.letter), r.remoteName, r.userName, password, domain);
    }
    return kErrorNotConnected;
}

}  // namespace platform
