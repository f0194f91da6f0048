#pragma once

// The control point's records of one device description: a tree of DeviceRecord (the root device
// and its embedded devices) with their ServiceRecords.
//
// Ownership: a record owns its embedded devices (`embeddedDevices`) and its services (`services`);
// `parent` and `device` are non-owning back links, so a whole tree goes with its root. The root
// is owned by whoever holds the tree's references (the control point); the control point frees
// the tree when the root's `referenceCount` drops to 0.
//
// Threads: records are built, changed and freed on the chain thread only. Handlers that receive a
// `const DeviceRecord*` may read it during the call and must copy what they keep.
//
// Texts are raw copies of the description's element texts (no trimming, no entity decoding);
// an absent element leaves its text empty.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace upnp {

struct ControlPoint;
struct DeviceRecord;

struct ServiceRecord {
    int MaxVersion = 1;  // the service element's "MaxVersion" attribute
    std::string ServiceType;
    std::string ServiceId;
    std::string SCPDURL;             // absolute
    std::string ControlURL;          // absolute
    std::string EventSubURL;         // absolute
    DeviceRecord* device = nullptr;  // owning device (non-owning link)
};

// Namespace URI → (element name → text), case-sensitive keys.
using CustomTagTable = std::map<std::string, std::map<std::string, std::string>>;

struct DeviceRecord {
    ControlPoint* controlPoint = nullptr;  // back link

    std::string DeviceType;
    std::string UDN;  // without its leading "uuid:"
    std::string FriendlyName;
    std::string Manufacturer;
    std::string ManufacturerURL;
    std::string ModelName;
    std::string ModelDescription;
    std::string ModelNumber;
    std::string ModelURL;
    std::string PresentationURL;  // made absolute
    std::string LocationURL;      // the description URL, copied from the root into embedded devices
    int MaxVersion = 1;           // the device element's "MaxVersion" attribute
    std::string InterfaceAddress;  // dotted IPv4 local address of the connection that fetched it
    uint32_t CacheTime = 0;     // lifetime in seconds from the announcement that led to the fetch
    CustomTagTable CustomTags;  // "X_DLNADOC" / "X_DLNACAP" of "urn:schemas-dlna-org:device-1-0"

    bool announced = false;       // reported through onDeviceAdded
    int64_t lastNoticeTime = 0;   // wall-clock seconds of the last accepted announcement (root)
    std::string pendingLocation;  // new description URL waiting for the location-change timer

    DeviceRecord* parent = nullptr;                              // non-owning; null for the root
    std::vector<std::unique_ptr<DeviceRecord>> embeddedDevices;  // newest first
    std::vector<std::unique_ptr<ServiceRecord>> services;        // newest first

    int referenceCount = 0;  // meaningful on the root only
};

}  // namespace upnp
