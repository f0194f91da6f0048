#include "platform/user_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <vector>

#include "platform/network_names.h"
#include "platform/trace.h"
#include "platform/user_store_file.h"

namespace platform {
namespace fs = std::filesystem;
namespace {

constexpr WinError kErrorWriteFault = 29;

WinError errorFromErrno(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
        case EROFS:
            return kErrorAccessDenied;
        case ENOMEM:
            return kErrorNotEnoughMemory;
        default:
            return kErrorWriteFault;
    }
}

// Closes a descriptor (and so releases its lock) when it goes.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

ParsedStore load(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return {};
    std::ostringstream text;
    text << in.rdbuf();
    ParsedStore parsed = parseStoreFile(text.str());
    if (parsed.damaged) {
        traceNarrow("user store " + file.string() + " is damaged at line " +
                    std::to_string(parsed.damagedLine) + "; read as empty");
    }
    return parsed;
}

WinError makeDirectory(const fs::path& directory) {
    std::error_code error;
    if (fs::is_directory(directory, error))
        return kNoError;
    const fs::path parent = directory.parent_path();
    if (!parent.empty() && parent != directory) {
        if (WinError result = makeDirectory(parent))
            return result;
    }
    if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST)
        return errorFromErrno(errno);
    return kNoError;
}

WinError writeAtomically(const fs::path& file, const std::string& text) {
    static std::atomic<unsigned> counter{0};
    const fs::path temporary =
        file.string() + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
    FileDescriptor fd(
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR));
    if (fd.get() < 0)
        return errorFromErrno(errno);
    size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd.get(), text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = errno;
            ::unlink(temporary.c_str());
            return errorFromErrno(error);
        }
        written += static_cast<size_t>(n);
    }
    if (::fsync(fd.get()) != 0 || ::rename(temporary.c_str(), file.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return errorFromErrno(error);
    }
    return kNoError;
}

// Runs `change` on the current contents under the file lock and writes the result when it
// returns 0.
WinError modify(const fs::path& file, const std::function<WinError(StoreContents&)>& change) {
    if (WinError result = makeDirectory(file.parent_path()))
        return result;
    const fs::path lockFile = file.string() + ".lock";
    FileDescriptor lock(::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, S_IRUSR | S_IWUSR));
    if (lock.get() < 0)
        return errorFromErrno(errno);
    while (::flock(lock.get(), LOCK_EX) != 0) {
        if (errno != EINTR)
            return errorFromErrno(errno);
    }
    ParsedStore parsed = load(file);
    if (WinError result = change(parsed.contents))
        return result;
    if (parsed.damaged) {
        const fs::path aside = file.string() + ".damaged";
        ::rename(file.c_str(), aside.c_str());
    }
    return writeAtomically(file, formatStoreFile(parsed.contents));
}

std::optional<StoredKey> readKey(const fs::path& file, std::u16string_view normal) {
    ParsedStore parsed = load(file);
    auto it = parsed.contents.find(std::u16string(normal));
    if (it == parsed.contents.end())
        return std::nullopt;
    return std::move(it->second);
}

// The key and every parent exists once a key exists; the root always does.
bool keyExists(const StoreContents& contents, const std::u16string& normal) {
    if (normal.empty() || contents.count(normal))
        return true;
    const std::u16string prefix = normal + u"\\";
    auto it = contents.lower_bound(prefix);
    return it != contents.end() && it->first.compare(0, prefix.size(), prefix) == 0;
}

// Writes `value` into the existing key at `keyPath`; a value already there keeps the case of
// its name as first written.
WinError storeValue(const fs::path& file, const std::u16string& keyPath, StoredValue value) {
    const std::u16string normal = *normalizeKeyPath(keyPath);
    return modify(file, [&](StoreContents& contents) {
        if (!keyExists(contents, normal))
            return kErrorFileNotFound;
        StoredKey& key = contents[normal];
        if (key.path.empty())
            key.path = keyPath;
        if (StoredValue* stored = findValue(key, value.name)) {
            value.name = stored->name;
            *stored = std::move(value);
        } else {
            key.values.push_back(std::move(value));
        }
        return kNoError;
    });
}

}  // namespace

fs::path userHomeDirectory() {
    if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && found->pw_dir[0] == '/')
        return found->pw_dir;
    // No home at all: a folder of this user's own under the temporary folder.
    return fs::temp_directory_path() / ("drivescout-home-" + std::to_string(::geteuid()));
}

UserStore::UserStore(fs::path file) : file_(std::move(file)) {}

UserStore UserStore::forCurrentUser() {
    fs::path base;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/') {
        base = config;
    } else {
        base = userHomeDirectory() / ".config";
    }
    return UserStore(base / "drivescout" / "user-store");
}

WinError UserStore::openKey(std::u16string_view path, std::unique_ptr<UserStoreKey>& key) const {
    const std::optional<std::u16string> normal = normalizeKeyPath(path);
    if (!normal)
        return kErrorInvalidParameter;
    if (!keyExists(load(file_).contents, *normal))
        return kErrorFileNotFound;
    key = std::make_unique<UserStoreKey>(*this, std::u16string(path));
    return kNoError;
}

WinError UserStore::createKey(std::u16string_view path, std::unique_ptr<UserStoreKey>& key) const {
    const std::optional<std::u16string> normal = normalizeKeyPath(path);
    if (!normal)
        return kErrorInvalidParameter;
    WinError result = modify(file_, [&](StoreContents& contents) {
        StoredKey& stored = contents[*normal];
        if (stored.path.empty())
            stored.path = std::u16string(path);
        return kNoError;
    });
    if (result)
        return result;
    key = std::make_unique<UserStoreKey>(*this, std::u16string(path));
    return kNoError;
}

WinError UserStore::deleteKey(std::u16string_view path) const {
    const std::optional<std::u16string> normal = normalizeKeyPath(path);
    if (!normal || normal->empty())
        return kErrorInvalidParameter;
    return modify(file_, [&](StoreContents& contents) {
        if (!keyExists(contents, *normal))
            return kErrorFileNotFound;
        const std::u16string prefix = *normal + u"\\";
        std::erase_if(contents, [&](const auto& entry) {
            return entry.first == *normal || entry.first.compare(0, prefix.size(), prefix) == 0;
        });
        return kNoError;
    });
}

UserStoreKey::UserStoreKey(UserStore store, std::u16string path)
    : store_(std::move(store)), path_(std::move(path)) {}

WinError UserStoreKey::queryNumber(std::u16string_view name, uint32_t& value) const {
    const std::optional<StoredKey> key = readKey(store_.file(), *normalizeKeyPath(path_));
    const StoredValue* stored = key ? findValue(*key, name) : nullptr;
    if (!stored)
        return kErrorFileNotFound;
    if (!stored->isNumber)
        return kErrorInvalidData;
    value = stored->number;
    return kNoError;
}

WinError UserStoreKey::queryText(std::u16string_view name, std::u16string& value) const {
    const std::optional<StoredKey> key = readKey(store_.file(), *normalizeKeyPath(path_));
    const StoredValue* stored = key ? findValue(*key, name) : nullptr;
    if (!stored)
        return kErrorFileNotFound;
    if (stored->isNumber)
        return kErrorInvalidData;
    value = stored->text;
    return kNoError;
}

WinError UserStoreKey::setNumber(std::u16string_view name, uint32_t value) {
    return storeValue(store_.file(), path_, StoredValue{std::u16string(name), true, value, {}});
}

WinError UserStoreKey::setText(std::u16string_view name, std::u16string_view value) {
    return storeValue(store_.file(), path_,
                      StoredValue{std::u16string(name), false, 0, std::u16string(value)});
}

WinError UserStoreKey::deleteValue(std::u16string_view name) {
    const std::u16string normal = *normalizeKeyPath(path_);
    return modify(store_.file(), [&](StoreContents& contents) {
        auto it = contents.find(normal);
        if (it == contents.end())
            return kErrorFileNotFound;
        const size_t removed = std::erase_if(it->second.values, [&](const StoredValue& value) {
            return equalsIgnoringCase(value.name, name);
        });
        return removed ? kNoError : kErrorFileNotFound;
    });
}

WinError UserStoreKey::subkeys(std::vector<std::u16string>& names) const {
    const std::u16string normal = *normalizeKeyPath(path_);
    const StoreContents contents = load(store_.file()).contents;
    if (!keyExists(contents, normal))
        return kErrorFileNotFound;
    const std::u16string prefix = normal.empty() ? normal : normal + u"\\";
    names.clear();
    for (const auto& [path, key] : contents) {
        if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0)
            continue;
        // The first component below this key, as written when that key was made.
        const size_t end = path.find(u'\\', prefix.size());
        const std::u16string child = path.substr(prefix.size(), end - prefix.size());
        if (!names.empty() && equalsIgnoringCase(names.back(), child))
            continue;
        const std::optional<std::u16string> written = normalizeKeyPath(key.path);
        std::u16string display = child;
        if (written && *written == path) {
            std::u16string_view trimmed = key.path;
            while (!trimmed.empty() && trimmed.front() == u'\\')
                trimmed.remove_prefix(1);
            display = std::u16string(trimmed.substr(prefix.size(), child.size()));
        }
        names.push_back(display);
    }
    return kNoError;
}

WinError closeKey(std::unique_ptr<UserStoreKey> key) {
    return key ? kNoError : kErrorInvalidParameter;
}

}  // namespace platform
