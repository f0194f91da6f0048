#include "tools/nas-sim/description_xml.h"

namespace nassim {

namespace {

void element(std::string& out, const std::string& indent, const char* name,
             const std::string& text) {
    out += indent + "<" + name + ">" + xmlEscape(text) + "</" + name + ">\n";
}

void writeDevice(std::string& out, const SimDevice& owner, const DeviceModel& device,
                 const std::string& indent) {
    const std::string in = indent + "  ";
    out += indent + "<device>\n";
    element(out, in, "deviceType", device.deviceType);
    element(out, in, "friendlyName", device.friendlyName);
    element(out, in, "manufacturer", device.manufacturer);
    if (!device.manufacturerUrl.empty())
        element(out, in, "manufacturerURL", device.manufacturerUrl);
    if (!device.modelDescription.empty())
        element(out, in, "modelDescription", device.modelDescription);
    element(out, in, "modelName", device.modelName);
    if (!device.modelNumber.empty())
        element(out, in, "modelNumber", device.modelNumber);
    if (!device.modelUrl.empty())
        element(out, in, "modelURL", device.modelUrl);
    if (!device.serialNumber.empty())
        element(out, in, "serialNumber", device.serialNumber);
    element(out, in, "UDN", device.udn);
    if (device.dlnaTags) {
        // One prefix declared on the element itself, one inherited from the root element: both
        // forms are common in the field.
        out += in + "<dlna:X_DLNADOC xmlns:dlna=\"" + kDlnaNamespace +
               "\">DMS-1.50</dlna:X_DLNADOC>\n";
        out += in + "<dlna:X_DLNACAP>av-upload,image-upload</dlna:X_DLNACAP>\n";
    }
    out += in + "<iconList>\n" + in + "  <icon>\n";
    out += in + "    <mimetype>image/png</mimetype><width>48</width><height>48</height>" +
           "<depth>24</depth><url>/icons/48.png</url>\n";
    out += in + "  </icon>\n" + in + "</iconList>\n";
    if (!device.services.empty()) {
        out += in + "<serviceList>\n";
        for (const ServiceModel& s : device.services) {
            const std::string si = in + "    ";
            out += in + "  <service>\n";
            element(out, si, "serviceType", s.type);
            element(out, si, "serviceId", s.id);
            element(out, si, "SCPDURL", s.scpdUrl);
            element(out, si, "controlURL", s.controlUrl);
            element(out, si, "eventSubURL", s.eventSubUrl);
            out += in + "  </service>\n";
        }
        out += in + "</serviceList>\n";
    }
    if (!device.embedded.empty()) {
        out += in + "<deviceList>\n";
        for (const DeviceModel& child : device.embedded)
            writeDevice(out, owner, child, in + "  ");
        out += in + "</deviceList>\n";
    }
    if (!device.presentationUrl.empty())
        element(out, in, "presentationURL", owner.origin() + device.presentationUrl);
    out += indent + "</device>\n";
}

}  // namespace

std::string xmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string descriptionDocument(const SimDevice& device, bool urlBase) {
    std::string out = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
    out += "<root xmlns=\"urn:schemas-upnp-org:device-1-0\" xmlns:dlna=\"";
    out += kDlnaNamespace;
    out += "\">\n";
    out += "  <specVersion>\n    <major>1</major>\n    <minor>0</minor>\n  </specVersion>\n";
    if (urlBase)
        element(out, "  ", "URLBase", device.origin() + "/upnp");
    writeDevice(out, device, device.root, "  ");
    out += "</root>\n";
    return out;
}

std::string malformedDescriptionDocument(const SimDevice& device) {
    std::string out = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
    out += "<root xmlns=\"urn:schemas-upnp-org:device-1-0\">\n";
    out += "  <specVersion><major>1</minor></specVersion>\n";
    out += "  <device>\n    <deviceType>" + xmlEscape(device.root.deviceType) + "</deviceType>\n";
    out += "    <UDN>" + xmlEscape(device.root.udn) + "</UDN>\n";
    out += "    <friendlyName>" + xmlEscape(device.root.friendlyName) + "\n";
    return out;
}

}  // namespace nassim
