// The Windows network (MPR) as the system's network provider: every call goes to its WNet
// counterpart and returns the system's error code unchanged.

#include <windows.h>

#include <winnetwk.h>

#include <utility>
#include <vector>

#include "platform/default_network_provider.h"
#include "platform/windows/wide_text.h"

namespace platform {
namespace {

// A NETRESOURCEW whose texts point into copies it owns.
class NativeResource {
  public:
    explicit NativeResource(const NetResource& resource)
        : localName_(resource.localName),
          remoteName_(resource.remoteName),
          comment_(resource.comment),
          provider_(resource.provider) {
        native_.dwScope = resource.scope;
        native_.dwType = resource.type;
        native_.dwDisplayType = resource.displayType;
        native_.dwUsage = resource.usage;
        native_.lpLocalName = mutableWideOrNull(localName_);
        native_.lpRemoteName = mutableWideOrNull(remoteName_);
        native_.lpComment = mutableWideOrNull(comment_);
        native_.lpProvider = mutableWideOrNull(provider_);
    }
    NativeResource(const NativeResource&) = delete;
    NativeResource& operator=(const NativeResource&) = delete;

    NETRESOURCEW* get() { return &native_; }

  private:
    std::u16string localName_, remoteName_, comment_, provider_;
    NETRESOURCEW native_{};
};

NetResource fromNative(const NETRESOURCEW& native) {
    NetResource resource;
    resource.scope = native.dwScope;
    resource.type = native.dwType;
    resource.displayType = native.dwDisplayType;
    resource.usage = native.dwUsage;
    resource.localName = fromWide(native.lpLocalName);
    resource.remoteName = fromWide(native.lpRemoteName);
    resource.comment = fromWide(native.lpComment);
    resource.provider = fromWide(native.lpProvider);
    return resource;
}

class WNetEnumeration final : public NetEnumeration {
  public:
    explicit WNetEnumeration(HANDLE handle) : handle_(handle) {}
    ~WNetEnumeration() override {
        if (handle_ != nullptr)
            ::WNetCloseEnum(handle_);
    }
    WNetEnumeration(const WNetEnumeration&) = delete;
    WNetEnumeration& operator=(const WNetEnumeration&) = delete;

    HANDLE handle() const { return handle_; }
    WinError close() { return ::WNetCloseEnum(std::exchange(handle_, nullptr)); }

  private:
    HANDLE handle_;
};

class WNetNetworkProvider final : public NetworkProvider {
  public:
    WinError addConnection(const NetResource& resource, std::u16string_view password,
                           std::u16string_view userName, uint32_t flags) override {
        NativeResource native(resource);
        const std::u16string passwordText(password);
        const std::u16string userText(userName);
        return ::WNetAddConnection2W(native.get(), wide(passwordText),
                                     userText.empty() ? nullptr : wide(userText), flags);
    }

    WinError cancelConnection(std::u16string_view name, bool force) override {
        const std::u16string text(name);
        return ::WNetCancelConnection2W(wide(text), 0, force ? TRUE : FALSE);
    }

    WinError getConnection(std::u16string_view localName, std::u16string& remoteName) override {
        const std::u16string local(localName);
        std::vector<wchar_t> buffer(MAX_PATH);
        DWORD length = static_cast<DWORD>(buffer.size());
        DWORD result = ::WNetGetConnectionW(wide(local), buffer.data(), &length);
        if (result == ERROR_MORE_DATA) {
            buffer.resize(length);
            result = ::WNetGetConnectionW(wide(local), buffer.data(), &length);
        }
        if (result == NO_ERROR)
            remoteName = fromWide(buffer.data());
        return result;
    }

    WinError openEnum(uint32_t scope, uint32_t type, uint32_t usage, const NetResource& container,
                      std::unique_ptr<NetEnumeration>& enumeration) override {
        NativeResource native(container);
        HANDLE handle = nullptr;
        const DWORD result = ::WNetOpenEnumW(scope, type, usage, native.get(), &handle);
        if (result == NO_ERROR)
            enumeration = std::make_unique<WNetEnumeration>(handle);
        return result;
    }

    WinError enumResource(NetEnumeration& enumeration, uint32_t maxCount,
                          std::vector<NetResource>& entries) override {
        auto* open = dynamic_cast<WNetEnumeration*>(&enumeration);
        if (open == nullptr)
            return kErrorInvalidParameter;
        std::vector<unsigned char> buffer(16 * 1024);
        DWORD count = maxCount;
        DWORD size = static_cast<DWORD>(buffer.size());
        DWORD result = ::WNetEnumResourceW(open->handle(), &count, buffer.data(), &size);
        if (result == ERROR_MORE_DATA && count == 0) {
            buffer.resize(size);
            count = maxCount;
            result = ::WNetEnumResourceW(open->handle(), &count, buffer.data(), &size);
        }
        if (result != NO_ERROR)
            return result;
        const auto* records = reinterpret_cast<const NETRESOURCEW*>(buffer.data());
        for (DWORD i = 0; i < count; ++i)
            entries.push_back(fromNative(records[i]));
        return kNoError;
    }

    WinError closeEnum(std::unique_ptr<NetEnumeration> enumeration) override {
        auto* open = dynamic_cast<WNetEnumeration*>(enumeration.get());
        if (open == nullptr)
            return kErrorInvalidParameter;
        return open->close();
    }

    uint32_t getLogicalDriveStrings(std::u16string& buffer) override {
        const DWORD needed = ::GetLogicalDriveStringsW(0, nullptr);
        if (needed == 0)
            return 0;
        std::vector<wchar_t> native(needed + 1);
        const DWORD written =
            ::GetLogicalDriveStringsW(static_cast<DWORD>(native.size()), native.data());
        if (written == 0 || written > native.size())
            return 0;
        buffer.assign(native.begin(), native.begin() + written + 1);
        return written;
    }
};

}  // namespace

NetworkProvider& defaultNetworkProvider() {
    static WNetNetworkProvider provider;
    return provider;
}

}  // namespace platform
