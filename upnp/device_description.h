#pragma once

// Reading a device description document into a tree of device records (see device_record.h).
// Pure functions of their input: no sockets, no tables, no handlers; the control point registers
// and announces the tree they return.
//
// Threads: any thread; nothing is shared.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "upnp/device_record.h"

namespace upnp {

// The DLNA namespace whose "X_DLNADOC" and "X_DLNACAP" elements go into `CustomTags`.
inline constexpr std::string_view kDlnaDeviceNamespace = "urn:schemas-dlna-org:device-1-0";

// The most device records one description yields (root included). A description names at most a
// handful of devices; the rest of a longer one is left out (with a trace line), so that one
// document cannot make discovery report, keep and walk hundreds of thousands of devices.
inline constexpr size_t kMaxDevicesPerTree = 64;

// The base URL of a description without a URLBase element: "http://host:port/" made from the
// description URL.
std::string defaultBaseUrl(std::string_view descriptionUrl);

// A service URL made absolute against `baseUrl` (which ends with "/"): a text of at least 7
// bytes starting with "http:/" is kept, a text starting with "/" loses that slash, any other
// text is appended as it is.
std::string resolveServiceUrl(std::string_view baseUrl, std::string_view text);

// A presentation URL made absolute: kept when it contains "://", otherwise appended to the base
// URL without its leading "/".
std::string resolvePresentationUrl(std::string_view baseUrl, std::string_view text);

// The device tree of `body` (at most `kMaxDevicesPerTree` devices, read in document order), or
// null when the document cannot be read or has no "device" child under its root element. Every
// record gets `interfaceAddress` and `lifetimeSeconds`; the root's `LocationURL` is
// `descriptionUrl` and embedded devices inherit it. `controlPoint` becomes every record's back link
// (may be null).
std::unique_ptr<DeviceRecord> processDescription(std::string_view body,
                                                 std::string_view descriptionUrl,
                                                 std::string_view interfaceAddress,
                                                 uint32_t lifetimeSeconds,
                                                 ControlPoint* controlPoint = nullptr);

// Calls `visit` for the root and then its embedded devices depth first, in list order (the
// order in which a tree is announced).
template <class Visit>
void forEachDevicePreOrder(DeviceRecord& device, Visit&& visit) {
    visit(device);
    for (auto& embedded : device.embeddedDevices)
        forEachDevicePreOrder(*embedded, visit);
}

}  // namespace upnp
