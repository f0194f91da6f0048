// Device records come from descriptions fetched over the network: whatever UDN, location URL and
// friendly name they carry, the SDK lists, matches, filters and releases devices without harm.
// The same bytes also go through the wide-string conversions and operations the SDK uses.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "drivescout/sdk.h"
#include "sdk/upnp_sdk.h"
#include "upnp/device_record.h"

namespace {

void ignoreEvent(int32_t, CAbstractUPnPDevice* device, void*) {
    if (device != nullptr)
        (void)LBString(device->GetUDNPrefix()).GetLength();
}

// Splits the input at its first two zero bytes into UDN, location URL and friendly name.
upnp::DeviceRecord recordFrom(std::string_view bytes) {
    std::string_view parts[3];
    for (int i = 0; i < 2; ++i) {
        size_t zero = bytes.find('\0');
        parts[i] = bytes.substr(0, zero);
        bytes = zero == std::string_view::npos ? std::string_view() : bytes.substr(zero + 1);
    }
    parts[2] = bytes;
    upnp::DeviceRecord record;
    record.UDN = std::string(parts[0]);
    record.LocationURL = std::string(parts[1]);
    record.FriendlyName = std::string(parts[2]);
    return record;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // Wide-string operations over text built from the input.
    LBString text = LBString::FromUtf8(bytes);
    LBString adopted = LBString::Adopt(LBStringArgFromUtf8(std::string(bytes).c_str()));
    (void)text.CompareNoCase(adopted);
    (void)text.Find(u"-", static_cast<int>(size % 7));
    (void)text.Mid(static_cast<int>(size % 5), static_cast<int>(size % 11)).GetLength();
    text.RemovePrefix(u"\\\\");
    text.RemoveSuffix(u":");
    text.TrimLeft();
    text.TrimRight();
    text.Delete(static_cast<int>(size % 3), 2);
    LBString formatted;
    formatted.Format(u"%s|%d|%.3s|%-8s", adopted.GetString(), int(size), text.GetString(),
                     text.GetString());

    // One session keeps discovery running for the whole run, so each input costs no threads.
    static const UPnPSession keeper = [] {
        UPnPSession session = nullptr;
        CUPnPSDK::OpenSession(&session);
        CUPnPSDK::RegisterEventMonitor(session, LBString(), ignoreEvent, nullptr);
        CUPnPSDK::StartEventMonitor(session, CUPnPSDK::EnsureInstance());
        return session;
    }();
    (void)keeper;

    // The device list fed with the record through a monitor filtered by the input, then emptied.
    UPnPSession session = nullptr;
    CUPnPSDK::OpenSession(&session);
    CUPnPSDK::RegisterEventMonitor(session, LBString::FromUtf8(bytes.substr(0, 24)), ignoreEvent,
                                   nullptr);
    CUPnPSDK::StartEventMonitor(session, CUPnPSDK::EnsureInstance());
    upnp::DeviceRecord record = recordFrom(bytes);
    CUPnPSDK::OnDeviceChanged(&record, DEVICE_ADDED);
    CUPnPSDK::OnDeviceChanged(&record, DEVICE_ADDED);
    CUPnPSDK::OnDeviceChanged(&record, DEVICE_REMOVED);
    CUPnPSDK::OnDeviceChanged(&record, static_cast<int32_t>(size % 4));
    CUPnPSDK::StopEventMonitor(session);
    CUPnPSDK::UnRegisterEventMonitor(session);
    CUPnPSDK::CloseSession(session);
    CUPnPSDK::ReleaseAll();
    return 0;
}
