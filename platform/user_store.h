#pragma once

// The per-user store: hierarchical keys ("Network\Z") holding named values that are 32-bit
// numbers or texts, the way the platform keeps per-user settings. Key and value names compare
// without regard to case.
//
// Everything lives in one file (`$XDG_CONFIG_HOME/drivescout/user-store`, else
// `~/.config/drivescout/user-store`), mode 0600. Each change re-reads the file and writes it
// anew to a temporary file renamed over it, under an exclusive lock on a lock file beside it, so
// several threads and processes may change it at once. A damaged file is reported in a trace line
// and read as empty; the next change moves it aside as `user-store.damaged` before writing.
//
// A `UserStore` is a cheap value (the path of its file); any thread may use any instance.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win_error.h"

namespace platform {

class UserStoreKey;

class UserStore {
  public:
    explicit UserStore(std::filesystem::path file);
    // The store of the current user, at the place the environment names now.
    static UserStore forCurrentUser();

    const std::filesystem::path& file() const { return file_; }

    // 0, or kErrorFileNotFound when the key does not exist.
    WinError openKey(std::u16string_view path, std::unique_ptr<UserStoreKey>& key) const;
    // Opens the key, creating it and its parents when missing.
    WinError createKey(std::u16string_view path, std::unique_ptr<UserStoreKey>& key) const;
    // Removes the key, its values and its subkeys; kErrorFileNotFound when missing.
    WinError deleteKey(std::u16string_view path) const;

  private:
    std::filesystem::path file_;
};

// An open key. Values are read from and written to the file at each call; a key deleted
// meanwhile answers kErrorFileNotFound.
class UserStoreKey {
  public:
    UserStoreKey(UserStore store, std::u16string path);

    const std::u16string& path() const { return path_; }

    // kErrorFileNotFound when missing; kErrorInvalidData when the value is not of that type.
    WinError queryNumber(std::u16string_view name, uint32_t& value) const;
    WinError queryText(std::u16string_view name, std::u16string& value) const;
    WinError setNumber(std::u16string_view name, uint32_t value);
    WinError setText(std::u16string_view name, std::u16string_view value);
    WinError deleteValue(std::u16string_view name);
    // Names of the direct subkeys, in order without regard to case.
    WinError subkeys(std::vector<std::u16string>& names) const;

  private:
    UserStore store_;
    std::u16string path_;
};

// $HOME, else the home folder of the effective user's account (never a shared folder).
std::filesystem::path userHomeDirectory();

// Closing a key only releases the handle; kErrorInvalidParameter for a null one.
WinError closeKey(std::unique_ptr<UserStoreKey> key);

inline constexpr WinError kErrorInvalidData = 13;

}  // namespace platform
