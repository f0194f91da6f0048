// Device descriptions come from any device on the network: reading one must never crash, and a
// tree that is built must hold together (parent links, inherited location).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "upnp/device_description.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view body(reinterpret_cast<const char*>(data), size);
    auto tree =
        upnp::processDescription(body, "http://192.168.1.20:50000/desc.xml", "10.0.0.1", 1800);
    if (!tree)
        return 0;
    upnp::forEachDevicePreOrder(*tree, [&](upnp::DeviceRecord& device) {
        if (device.LocationURL != tree->LocationURL)
            std::abort();
        for (const auto& embedded : device.embeddedDevices)
            if (embedded->parent != &device)
                std::abort();
        for (const auto& service : device.services)
            if (service->device != &device)
                std::abort();
    });
    return 0;
}
