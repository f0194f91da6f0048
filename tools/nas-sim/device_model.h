#pragma once

// The simulated devices: what each one says in its description and in its SSDP messages. Pure
// data, no sockets; the simulator owns one `SimDevice` per root device.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/nas-sim/options.h"

namespace nassim {

inline constexpr const char* kHomevaultUdnPrefix = "uuid:3b2b54a3-5512-4a2b-93f2-";
inline constexpr const char* kDlnaNamespace = "urn:schemas-dlna-org:device-1-0";

struct ServiceModel {
    std::string type;  // urn:schemas-upnp-org:service:ConnectionManager:1
    std::string id;    // urn:upnp-org:serviceId:ConnectionManager
    std::string scpdUrl;
    std::string controlUrl;
    std::string eventSubUrl;
};

// One device element of a description, with its embedded devices.
struct DeviceModel {
    std::string udn;  // with its "uuid:" prefix
    std::string deviceType;
    std::string friendlyName;
    std::string manufacturer;
    std::string manufacturerUrl;
    std::string modelDescription;
    std::string modelName;
    std::string modelNumber;
    std::string modelUrl;
    std::string serialNumber;
    std::string presentationUrl;  // path on the device's origin; empty: no element
    bool dlnaTags = false;        // X_DLNADOC / X_DLNACAP elements
    std::vector<ServiceModel> services;
    std::vector<DeviceModel> embedded;
};

enum class Presence {
    Present,  // answers searches and announces itself
    Silent,   // neither: it expires at control points without a goodbye
    Gone,     // said byebye
};

// One root device with an address of its own.
struct SimDevice {
    int number = 0;  // 1-based, as used in stdin commands and output lines
    bool homevault = false;
    uint32_t address = 0;
    uint16_t httpPort = 80;
    std::string descriptionPath = "/description.xml";
    int relocations = 0;
    int lifetimeSeconds = 1800;
    Framing framing = Framing::Length;
    DescriptionFault fault = DescriptionFault::None;
    Presence presence = Presence::Present;
    DeviceModel root;

    // "http://127.0.1.1/description.xml"; the port appears when it is not 80.
    std::string locationUrl() const;
    // "http://127.0.1.1" (with ":port" when not 80): where the web application lives.
    std::string origin() const;
};

std::vector<SimDevice> buildDevices(const SimOptions& options);

// One SSDP notification type with its unique service name.
struct SsdpTarget {
    std::string nt;   // upnp:rootdevice, uuid:..., or a device or service type
    std::string usn;  // uuid:...::upnp:rootdevice, uuid:..., uuid:...::<type>
};

// Every target a root device announces, in the order of the UPnP device architecture: the root
// device (rootdevice, uuid, type), then each embedded device depth first (uuid, type), then each
// distinct service type of each device.
std::vector<SsdpTarget> announcementTargets(const DeviceModel& root);

}  // namespace nassim
