// The per-user store on the registry: the store of the current user is HKEY_CURRENT_USER itself,
// so "Network\Z" is the key Windows keeps for drive Z's remembered connection. A store made for
// a path of its own (tests) lives apart, under HKCU\Software\DriveScout\Stores\<path>. Every call
// opens the key it needs and closes it again, so a key deleted meanwhile answers
// kErrorFileNotFound like the file store.

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <optional>

#include "platform/network_names.h"
#include "platform/user_store.h"
#include "platform/user_store_file.h"
#include "platform/windows/wide_text.h"

namespace platform {
namespace fs = std::filesystem;
namespace {

constexpr std::u16string_view kSeparateStores = u"Software\\DriveScout\\Stores\\";

// The registry path of `path` in the store kept for `file`; nothing when the path is malformed.
std::optional<std::u16string> registryPath(const fs::path& file, std::u16string_view path) {
    if (!normalizeKeyPath(path))
        return std::nullopt;
    while (!path.empty() && path.front() == u'\\')
        path.remove_prefix(1);
    while (!path.empty() && path.back() == u'\\')
        path.remove_suffix(1);
    if (file.empty())
        return std::u16string(path);
    std::u16string base(kSeparateStores);
    for (char16_t c : file.u16string())
        base += (c == u'\\' || c == u'/' || c == u':') ? u'_' : c;
    return path.empty() ? base : base + u"\\" + std::u16string(path);
}

// Owns an open registry key.
struct OpenKey {
    HKEY handle = nullptr;
    ~OpenKey() {
        if (handle != nullptr)
            ::RegCloseKey(handle);
    }
};

WinError openNative(const fs::path& file, std::u16string_view path, REGSAM access, OpenKey& key) {
    const std::optional<std::u16string> native = registryPath(file, path);
    if (!native)
        return kErrorInvalidParameter;
    return static_cast<WinError>(
        ::RegOpenKeyExW(HKEY_CURRENT_USER, wide(*native), 0, access, &key.handle));
}

}  // namespace

fs::path userHomeDirectory() {
    if (const wchar_t* profile = ::_wgetenv(L"USERPROFILE"); profile && profile[0] != 0)
        return fs::path(profile);
    return fs::path(L"C:\\");
}

UserStore::UserStore(fs::path file) : file_(std::move(file)) {}

UserStore UserStore::forCurrentUser() {
    return UserStore(fs::path());
}

WinError UserStore::openKey(std::u16string_view path, std::unique_ptr<UserStoreKey>& key) const {
    OpenKey native;
    if (WinError result = openNative(file_, path, KEY_READ, native))
        return result;
    key = std::make_unique<UserStoreKey>(*this, std::u16string(path));
    return kNoError;
}

WinError UserStore::createKey(std::u16string_view path, std::unique_ptr<UserStoreKey>& key) const {
    const std::optional<std::u16string> native = registryPath(file_, path);
    if (!native)
        return kErrorInvalidParameter;
    OpenKey created;
    const LSTATUS result =
        ::RegCreateKeyExW(HKEY_CURRENT_USER, wide(*native), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_READ | KEY_WRITE, nullptr, &created.handle, nullptr);
    if (result != ERROR_SUCCESS)
        return static_cast<WinError>(result);
    key = std::make_unique<UserStoreKey>(*this, std::u16string(path));
    return kNoError;
}

WinError UserStore::deleteKey(std::u16string_view path) const {
    const std::optional<std::u16string> native = registryPath(file_, path);
    const std::optional<std::u16string> normal = normalizeKeyPath(path);
    if (!native || !normal || normal->empty())
        return kErrorInvalidParameter;
    // Removes the key itself with everything below it.
    return static_cast<WinError>(::RegDeleteTreeW(HKEY_CURRENT_USER, wide(*native)));
}

UserStoreKey::UserStoreKey(UserStore store, std::u16string path)
    : store_(std::move(store)), path_(std::move(path)) {}

WinError UserStoreKey::queryNumber(std::u16string_view name, uint32_t& value) const {
    OpenKey key;
    if (WinError result = openNative(store_.file(), path_, KEY_READ, key))
        return result;
    DWORD type = 0;
    DWORD number = 0;
    DWORD size = sizeof number;
    const std::u16string valueName(name);
    const LSTATUS result = ::RegQueryValueExW(key.handle, wide(valueName), nullptr, &type,
                                              reinterpret_cast<BYTE*>(&number), &size);
    if (result == ERROR_MORE_DATA || (result == ERROR_SUCCESS && type != REG_DWORD))
        return kErrorInvalidData;
    if (result != ERROR_SUCCESS)
        return static_cast<WinError>(result);
    value = number;
    return kNoError;
}

WinError UserStoreKey::queryText(std::u16string_view name, std::u16string& value) const {
    OpenKey key;
    if (WinError result = openNative(store_.file(), path_, KEY_READ, key))
        return result;
    const std::u16string valueName(name);
    DWORD type = 0;
    DWORD size = 0;
    LSTATUS result =
        ::RegQueryValueExW(key.handle, wide(valueName), nullptr, &type, nullptr, &size);
    if (result != ERROR_SUCCESS)
        return static_cast<WinError>(result);
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return kErrorInvalidData;
    std::u16string text(size / 2 + 1, u'\0');
    size = static_cast<DWORD>(text.size() * 2);
    result = ::RegQueryValueExW(key.handle, wide(valueName), nullptr, &type,
                                reinterpret_cast<BYTE*>(text.data()), &size);
    if (result != ERROR_SUCCESS)
        return static_cast<WinError>(result);
    // The stored text may or may not carry its terminating zero.
    const size_t zero = text.find(u'\0');
    text.resize(zero == std::u16string::npos ? text.size() : zero);
    value = std::move(text);
    return kNoError;
}

WinError UserStoreKey::setNumber(std::u16string_view name, uint32_t value) {
    OpenKey key;
    if (WinError result = openNative(store_.file(), path_, KEY_SET_VALUE, key))
        return result;
    const DWORD number = value;
    return static_cast<WinError>(::RegSetValueExW(key.handle, wide(std::u16string(name)), 0,
                                                  REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                                                  sizeof number));
}

WinError UserStoreKey::setText(std::u16string_view name, std::u16string_view value) {
    OpenKey key;
    if (WinError result = openNative(store_.file(), path_, KEY_SET_VALUE, key))
        return result;
    const std::u16string text(value);
    return static_cast<WinError>(::RegSetValueExW(key.handle, wide(std::u16string(name)), 0, REG_SZ,
                                                  reinterpret_cast<const BYTE*>(text.c_str()),
                                                  static_cast<DWORD>((text.size() + 1) * 2)));
}

WinError UserStoreKey::deleteValue(std::u16string_view name) {
    OpenKey key;
    if (WinError result = openNative(store_.file(), path_, KEY_SET_VALUE, key))
        return result;
    return static_cast<WinError>(::RegDeleteValueW(key.handle, wide(std::u16string(name))));
}

WinError UserStoreKey::subkeys(std::vector<std::u16string>& names) const {
    OpenKey key;
    if (WinError result = openNative(store_.file(), path_, KEY_READ, key))
        return result;
    std::vector<std::u16string> found;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD length = 256;
        const LSTATUS result =
            ::RegEnumKeyExW(key.handle, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        if (result != ERROR_SUCCESS)
            return static_cast<WinError>(result);
        found.emplace_back(reinterpret_cast<const char16_t*>(name), length);
    }
    std::sort(found.begin(), found.end(), [](const std::u16string& a, const std::u16string& b) {
        return toUpper(a) < toUpper(b);
    });
    names = std::move(found);
    return kNoError;
}

WinError closeKey(std::unique_ptr<UserStoreKey> key) {
    return key ? kNoError : kErrorInvalidParameter;
}

}  // namespace platform
