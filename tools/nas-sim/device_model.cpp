#include "tools/nas-sim/device_model.h"

#include <cstdio>
#include <set>

#include "tools/nas-sim/addresses.h"

namespace nassim {

namespace {

std::string hex(uint64_t value, int digits) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%0*llx", digits, static_cast<unsigned long long>(value));
    return buffer;
}

ServiceModel service(const std::string& name, int version, const std::string& urlPrefix,
                     bool leadingSlash) {
    // Control point resolution differs for "/x" and "x"; the NAS uses both forms on purpose.
    const std::string slash = leadingSlash ? "/" : "";
    ServiceModel model;
    model.type = "urn:schemas-upnp-org:service:" + name + ":" + std::to_string(version);
    model.id = "urn:upnp-org:serviceId:" + name;
    model.scpdUrl = slash + urlPrefix + "scpd/" + name + ".xml";
    model.controlUrl = slash + urlPrefix + "control/" + name;
    model.eventSubUrl = slash + urlPrefix + "event/" + name;
    return model;
}

DeviceModel homevaultRoot(int number, const std::string& suffix) {
    DeviceModel model;
    model.udn = kHomevaultUdnPrefix + suffix;
    model.deviceType = "urn:schemas-upnp-org:device:MediaServer:1";
    model.friendlyName = "Homevault " + std::to_string(number);
    model.manufacturer = "Homevault";
    model.manufacturerUrl = "http://www.example.com/homevault";
    model.modelDescription = "Homevault network storage";
    model.modelName = "Homevault";
    model.modelNumber = "HV-2";
    model.modelUrl = "http://www.example.com/homevault/hv-2";
    model.serialNumber = suffix;
    model.dlnaTags = true;
    model.services.push_back(service("ContentDirectory", 1, "upnp/", true));
    model.services.push_back(service("ConnectionManager", 1, "upnp/", false));
    return model;
}

DeviceModel otherRoot(int number, const std::string& suffix) {
    DeviceModel model;
    model.udn = "uuid:0a1e7d3c-7b2f-4c1e-9d2a-" + suffix;
    model.deviceType = "urn:schemas-upnp-org:device:MediaRenderer:1";
    model.friendlyName = "Media Player " + std::to_string(number);
    model.manufacturer = "Example Audio";
    model.manufacturerUrl = "http://www.example.com/audio";
    model.modelDescription = "Network media player";
    model.modelName = "Player One";
    model.modelNumber = "P1";
    model.modelUrl = "http://www.example.com/audio/p1";
    model.serialNumber = suffix;
    model.services.push_back(service("RenderingControl", 1, "", true));
    model.services.push_back(service("ConnectionManager", 1, "", true));
    model.services.push_back(service("AVTransport", 1, "", true));
    return model;
}

DeviceModel embeddedDevice(const DeviceModel& root, int index, const std::string& suffix) {
    DeviceModel model;
    model.udn = "uuid:e3b0dded-" + hex(static_cast<uint64_t>(index), 4) + "-4000-8000-" + suffix;
    model.deviceType = "urn:schemas-upnp-org:device:Basic:1";
    model.friendlyName = root.friendlyName + " part " + std::to_string(index);
    model.manufacturer = root.manufacturer;
    model.modelName = root.modelName + " part";
    model.services.push_back(
        service("ConnectionManager", 1, "part" + std::to_string(index) + "/", true));
    return model;
}

void collectTargets(const DeviceModel& device, std::vector<SsdpTarget>& targets) {
    targets.push_back({device.udn, device.udn});
    targets.push_back({device.deviceType, device.udn + "::" + device.deviceType});
    for (const DeviceModel& child : device.embedded)
        collectTargets(child, targets);
}

void collectServiceTargets(const DeviceModel& device, std::vector<SsdpTarget>& targets) {
    std::set<std::string> seen;
    for (const ServiceModel& s : device.services) {
        if (seen.insert(s.type).second)
            targets.push_back({s.type, device.udn + "::" + s.type});
    }
    for (const DeviceModel& child : device.embedded)
        collectServiceTargets(child, targets);
}

}  // namespace

std::string SimDevice::origin() const {
    std::string text = "http://" + formatIpv4(address);
    if (httpPort != 80)
        text += ":" + std::to_string(httpPort);
    return text;
}

std::string SimDevice::locationUrl() const {
    return origin() + descriptionPath;
}

std::vector<SimDevice> buildDevices(const SimOptions& options) {
    std::vector<SimDevice> devices;
    devices.reserve(static_cast<size_t>(options.deviceCount()));
    for (int i = 0; i < options.deviceCount(); ++i) {
        SimDevice device;
        device.number = i + 1;
        device.homevault = i < options.homevaultCount;
        device.address = *loopbackAddressAfter(options.baseAddress, static_cast<uint32_t>(i));
        device.httpPort = options.httpPort;
        device.lifetimeSeconds = options.lifetimeSeconds;
        device.framing = options.framing;
        device.fault = options.descriptionFault;
        // The 12 hex digits end in the device address, so runs on other bases never collide.
        const std::string suffix = "0010" + hex(device.address, 8);
        device.root = device.homevault ? homevaultRoot(device.number, suffix)
                                       : otherRoot(device.number - options.homevaultCount, suffix);
        device.root.presentationUrl = "/";
        for (int e = 1; e <= options.embeddedCount; ++e)
            device.root.embedded.push_back(embeddedDevice(device.root, e, suffix));
        devices.push_back(std::move(device));
    }
    return devices;
}

std::vector<SsdpTarget> announcementTargets(const DeviceModel& root) {
    std::vector<SsdpTarget> targets;
    targets.push_back({"upnp:rootdevice", root.udn + "::upnp:rootdevice"});
    collectTargets(root, targets);
    collectServiceTargets(root, targets);
    return targets;
}

}  // namespace nassim
