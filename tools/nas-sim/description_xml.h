#pragma once

// The description document a device serves at its LOCATION, in the UPnP device architecture's
// form: root element in the device-1-0 namespace, specVersion, optional URLBase, one device
// element with its services and embedded devices.

#include <string>
#include <string_view>

#include "tools/nas-sim/device_model.h"

namespace nassim {

// `urlBase`: add <URLBase>http://<address>[:port]/upnp</URLBase> (no trailing "/", which the
// reader is expected to add).
std::string descriptionDocument(const SimDevice& device, bool urlBase);

// A document that starts like a description but is not well-formed XML (mismatched and
// missing end tags), for readers that must fail cleanly.
std::string malformedDescriptionDocument(const SimDevice& device);

// Escapes &, <, >, " and ' for element text and attribute values.
std::string xmlEscape(std::string_view text);

}  // namespace nassim
