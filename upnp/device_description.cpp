#include "upnp/device_description.h"

#include <algorithm>
#include <charconv>
#include <string>

#include "platform/trace.h"
#include "upnp/text_parsing.h"
#include "upnp/uri.h"
#include "upnp/xml_reader.h"

namespace upnp {

namespace {

struct BuildContext {
    std::string_view baseUrl;
    std::string_view interfaceAddress;
    uint32_t lifetime;
    ControlPoint* controlPoint;
    size_t devicesLeft;  // records this tree may still take
    size_t devicesSkipped = 0;
};

// The "MaxVersion" attribute as a decimal number; 1 when absent. A value that is not a number
// reads as 0, like a C string conversion would.
int readMaxVersion(const XmlElement& element) {
    // Attributes come in reverse document order; the first one written wins.
    int result = 1;
    for (const XmlAttribute& attribute : getAttributes(element)) {
        if (!equalsIgnoringCase(attribute.name, "MaxVersion"))
            continue;
        int value = 0;
        std::string_view text = attribute.value;
        while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
            text.remove_prefix(1);
        std::from_chars(text.data(), text.data() + text.size(), value);
        result = value;
    }
    return result;
}

std::string textOf(const XmlElement& element) {
    std::optional<std::string_view> text = readElementText(element);
    return text ? std::string(*text) : std::string();
}

template <class Visit>
void forEachChild(const XmlElement& parent, Visit&& visit) {
    for (XmlElement* child = parent.firstChild(); child != nullptr; child = child->nextSibling)
        if (child->isStart)
            visit(*child);
}

std::unique_ptr<ServiceRecord> buildService(const XmlElement& element, DeviceRecord& device,
                                            const BuildContext& context) {
    auto service = std::make_unique<ServiceRecord>();
    service->MaxVersion = readMaxVersion(element);
    service->device = &device;
    forEachChild(element, [&](const XmlElement& child) {
        if (child.name == "serviceType")
            service->ServiceType = textOf(child);
        else if (child.name == "serviceId")
            service->ServiceId = textOf(child);
        else if (child.name == "SCPDURL")
            service->SCPDURL = resolveServiceUrl(context.baseUrl, textOf(child));
        else if (child.name == "controlURL")
            service->ControlURL = resolveServiceUrl(context.baseUrl, textOf(child));
        else if (child.name == "eventSubURL")
            service->EventSubURL = resolveServiceUrl(context.baseUrl, textOf(child));
    });
    return service;
}

// Lists are built oldest first and turned round once complete: inserting each record at the
// front would cost time quadratic in the length of the list.
std::unique_ptr<DeviceRecord> buildDevice(const XmlElement& element, BuildContext& context) {
    --context.devicesLeft;
    auto device = std::make_unique<DeviceRecord>();
    device->controlPoint = context.controlPoint;
    device->InterfaceAddress.assign(context.interfaceAddress);
    device->CacheTime = context.lifetime;
    device->MaxVersion = readMaxVersion(element);

    forEachChild(element, [&](const XmlElement& child) {
        std::string_view name = child.name;
        if (name == "deviceList") {
            forEachChild(child, [&](const XmlElement& embeddedElement) {
                if (embeddedElement.name != "device")
                    return;
                if (context.devicesLeft == 0) {
                    ++context.devicesSkipped;
                    return;
                }
                auto embedded = buildDevice(embeddedElement, context);
                embedded->parent = device.get();
                device->embeddedDevices.push_back(std::move(embedded));
            });
        } else if (name == "UDN") {
            std::string text = textOf(child);
            if (text.size() > 5)
                device->UDN = text.starts_with("uuid:") ? text.substr(5) : text;
        } else if (name == "deviceType") {
            device->DeviceType = textOf(child);
        } else if (name == "friendlyName") {
            device->FriendlyName = textOf(child);
        } else if (name == "manufacturer") {
            device->Manufacturer = textOf(child);
        } else if (name == "manufacturerURL") {
            device->ManufacturerURL = textOf(child);
        } else if (name == "modelDescription") {
            device->ModelDescription = textOf(child);
        } else if (name == "modelName") {
            device->ModelName = textOf(child);
        } else if (name == "modelNumber") {
            device->ModelNumber = textOf(child);
        } else if (name == "modelURL") {
            device->ModelURL = textOf(child);
        } else if (name == "presentationURL") {
            device->PresentationURL = resolvePresentationUrl(context.baseUrl, textOf(child));
        } else if (name == "X_DLNACAP" || name == "X_DLNADOC") {
            if (lookupNamespace(child, child.prefix) == kDlnaDeviceNamespace)
                device->CustomTags[std::string(kDlnaDeviceNamespace)][std::string(name)] =
                    textOf(child);
        } else if (name == "serviceList") {
            forEachChild(child, [&](const XmlElement& serviceElement) {
                if (serviceElement.name == "service")
                    device->services.push_back(buildService(serviceElement, *device, context));
            });
        }
    });
    // Newest first, as the lists have always been kept.
    std::reverse(device->embeddedDevices.begin(), device->embeddedDevices.end());
    std::reverse(device->services.begin(), device->services.end());
    return device;
}

void inheritLocation(DeviceRecord& device) {
    for (auto& embedded : device.embeddedDevices) {
        if (embedded->LocationURL.empty())
            embedded->LocationURL = device.LocationURL;
        inheritLocation(*embedded);
    }
}

}  // namespace

std::string defaultBaseUrl(std::string_view descriptionUrl) {
    Uri uri = parseUri(descriptionUrl);
    return "http://" + uri.host + ":" + std::to_string(uri.port) + "/";
}

std::string resolveServiceUrl(std::string_view baseUrl, std::string_view text) {
    if (text.size() >= 7 && text.starts_with("http:/"))
        return std::string(text);
    if (text.starts_with("/"))
        text.remove_prefix(1);
    std::string result(baseUrl);
    result.append(text);
    return result;
}

std::string resolvePresentationUrl(std::string_view baseUrl, std::string_view text) {
    if (text.find("://") != std::string_view::npos)
        return std::string(text);
    return resolveServiceUrl(baseUrl, text.starts_with("/") ? text.substr(1) : text);
}

std::unique_ptr<DeviceRecord> processDescription(std::string_view body,
                                                 std::string_view descriptionUrl,
                                                 std::string_view interfaceAddress,
                                                 uint32_t lifetimeSeconds,
                                                 ControlPoint* controlPoint) {
    std::unique_ptr<XmlDocument> document = parseXml(body);
    if (!document || processXml(document->first()) != kXmlOk)
        return nullptr;
    buildNamespaceTables(document->first());
    // Declarations before the document element are skipped, so a description with a document
    // type declaration is still read.
    const XmlElement* root = document->rootElement();
    if (root == nullptr)
        return nullptr;

    std::string baseUrl;
    bool haveBase = false;
    const XmlElement* deviceElement = nullptr;
    forEachChild(*root, [&](const XmlElement& child) {
        if (!haveBase && child.name == "URLBase") {
            baseUrl = textOf(child);
            if (!baseUrl.ends_with("/"))
                baseUrl.push_back('/');
            haveBase = true;
        } else if (deviceElement == nullptr && child.name == "device") {
            deviceElement = &child;
        }
    });
    if (!haveBase)
        baseUrl = defaultBaseUrl(descriptionUrl);
    if (deviceElement == nullptr)
        return nullptr;

    BuildContext context{baseUrl, interfaceAddress, lifetimeSeconds, controlPoint,
                         kMaxDevicesPerTree};
    std::unique_ptr<DeviceRecord> tree = buildDevice(*deviceElement, context);
    if (context.devicesSkipped > 0)
        platform::traceNarrow(">>>processDescription: " + std::string(descriptionUrl) +
                              " describes " + std::to_string(context.devicesSkipped) +
                              " devices more than the " + std::to_string(kMaxDevicesPerTree) +
                              " a tree may hold; they are left out");
    tree->LocationURL.assign(descriptionUrl);
    inheritLocation(*tree);
    return tree;
}

}  // namespace upnp
