#include "upnp/device_description.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace upnp {
namespace {

constexpr const char* kTwoEmbedded = R"(<?xml version="1.0"?>
<root xmlns="urn:schemas-upnp-org:device-1-0" xmlns:dlna="urn:schemas-dlna-org:device-1-0">
<specVersion><major>1</major><minor>0</minor></specVersion>
<device MaxVersion="3">
<deviceType>urn:schemas-upnp-org:device:Basic:1</deviceType>
<friendlyName>Homevault &amp; Co</friendlyName>
<manufacturer>Maker</manufacturer>
<modelName>HV-1</modelName>
<UDN>uuid:3b2b54a3-5512-4a2b-93f2-000000000001</UDN>
<dlna:X_DLNADOC>DMS-1.50</dlna:X_DLNADOC>
<presentationURL>/index.php</presentationURL>
<serviceList>
<service><serviceType>urn:a:1</serviceType><serviceId>urn:id:a</serviceId>
<SCPDURL>scpd.xml</SCPDURL><controlURL>/ctl/1</controlURL>
<eventSubURL>http://10.0.0.9:80/evt</eventSubURL></service>
<service MaxVersion="2"><serviceType>urn:b:1</serviceType></service>
</serviceList>
<deviceList>
<device><friendlyName>first</friendlyName><UDN>uuid:emb-1</UDN>
<deviceList><device><friendlyName>nested</friendlyName><UDN>uuid:emb-1-1</UDN></device></deviceList>
</device>
<device><friendlyName>second</friendlyName><UDN>uuid:emb-2</UDN></device>
</deviceList>
</device>
</root>)";

TEST(DeviceDescription, BuildsTheTreeWithEmbeddedDevicesNewestFirst) {
    auto root =
        processDescription(kTwoEmbedded, "http://192.168.1.20:50000/desc.xml", "192.168.1.2", 1800);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->UDN, "3b2b54a3-5512-4a2b-93f2-000000000001");
    EXPECT_EQ(root->FriendlyName, "Homevault &amp; Co");  // raw, no entity decoding
    EXPECT_EQ(root->MaxVersion, 3);
    EXPECT_EQ(root->InterfaceAddress, "192.168.1.2");
    EXPECT_EQ(root->CacheTime, 1800u);
    EXPECT_EQ(root->LocationURL, "http://192.168.1.20:50000/desc.xml");
    EXPECT_EQ(root->PresentationURL, "http://192.168.1.20:50000/index.php");
    EXPECT_EQ(root->CustomTags.at(std::string(kDlnaDeviceNamespace)).at("X_DLNADOC"), "DMS-1.50");

    std::vector<std::string> order;
    forEachDevicePreOrder(*root, [&](DeviceRecord& device) {
        order.push_back(device.UDN);
        EXPECT_EQ(device.LocationURL, root->LocationURL);
    });
    EXPECT_EQ(order, (std::vector<std::string>{"3b2b54a3-5512-4a2b-93f2-000000000001", "emb-2",
                                               "emb-1", "emb-1-1"}));
    EXPECT_EQ(root->embeddedDevices[0]->parent, root.get());
    EXPECT_EQ(root->embeddedDevices[1]->embeddedDevices[0]->parent, root->embeddedDevices[1].get());
}

TEST(DeviceDescription, ServicesAreNewestFirstWithAbsoluteUrls) {
    auto root = processDescription(kTwoEmbedded, "http://192.168.1.20:50000/desc.xml", "", 60);
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(root->services.size(), 2u);
    const ServiceRecord& incomplete = *root->services[0];
    EXPECT_EQ(incomplete.ServiceType, "urn:b:1");
    EXPECT_EQ(incomplete.MaxVersion, 2);
    EXPECT_EQ(incomplete.ControlURL, "");  // a missing element leaves the field empty
    const ServiceRecord& full = *root->services[1];
    EXPECT_EQ(full.MaxVersion, 1);
    EXPECT_EQ(full.ServiceId, "urn:id:a");
    EXPECT_EQ(full.SCPDURL, "http://192.168.1.20:50000/scpd.xml");
    // A single slash between port and path.
    EXPECT_EQ(full.ControlURL, "http://192.168.1.20:50000/ctl/1");
    EXPECT_EQ(full.EventSubURL, "http://10.0.0.9:80/evt");
    EXPECT_EQ(full.device, root.get());
}

TEST(DeviceDescription, UrlBaseGivesTheBaseWithATrailingSlash) {
    const char* body = R"(<root><URLBase>http://10.1.1.1:8080/base</URLBase>
<device><UDN>uuid:abcdef</UDN><presentationURL>http://x/y</presentationURL>
<serviceList><service><controlURL>ctl</controlURL></service></serviceList></device></root>)";
    auto root = processDescription(body, "http://192.168.1.20:50000/desc.xml", "", 0);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->services[0]->ControlURL, "http://10.1.1.1:8080/base/ctl");
    EXPECT_EQ(root->PresentationURL, "http://x/y");
}

TEST(DeviceDescription, ResolutionRules) {
    struct Case {
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"/ctl/1", "http://h:1/ctl/1"},
        {"ctl/1", "http://h:1/ctl/1"},
        {"http://o:2/c", "http://o:2/c"},
        {"http:/", "http://h:1/http:/"},
        {"https://o/c", "http://h:1/https://o/c"},
        {"", "http://h:1/"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(resolveServiceUrl("http://h:1/", c.text), c.expected) << c.text;
    EXPECT_EQ(resolvePresentationUrl("http://h:1/", "https://o/p"), "https://o/p");
    EXPECT_EQ(resolvePresentationUrl("http://h:1/", "/p"), "http://h:1/p");
    EXPECT_EQ(defaultBaseUrl("http://192.168.1.20:50000/desc.xml"), "http://192.168.1.20:50000/");
    EXPECT_EQ(defaultBaseUrl("http://192.168.1.20/desc.xml"), "http://192.168.1.20:80/");
}

TEST(DeviceDescription, DocumentsThatCannotBeReadFail) {
    const char* bodies[] = {
        "",
        "not xml at all",
        "<root><device><UDN>uuid:abcdef</UDN></root>",           // mismatched tags
        "<root><specVersion/></root>",                           // no device
        "<root><Device><UDN>uuid:abcdef</UDN></Device></root>",  // names are case-sensitive
    };
    for (const char* body : bodies)
        EXPECT_EQ(processDescription(body, "http://h:1/d.xml", "", 1), nullptr) << body;
}

TEST(DeviceDescription, ShortOrForeignUdnsAndDlnaTagsOfOtherNamespaces) {
    const char* body = R"(<root xmlns:x="urn:other"><device><UDN>uuid:</UDN>
<x:X_DLNACAP>cap</x:X_DLNACAP><X_DLNADOC>doc</X_DLNADOC>
<deviceList><device><UDN>plain-udn</UDN></device></deviceList></device></root>)";
    auto root = processDescription(body, "http://h:1/d.xml", "", 1);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->UDN, "");  // "uuid:" alone is not longer than 5 bytes
    EXPECT_TRUE(root->CustomTags.empty());
    EXPECT_EQ(root->embeddedDevices[0]->UDN, "plain-udn");
}

TEST(DeviceDescription, LastOfRepeatedElementsWins) {
    const char* body =
        "<root><device><friendlyName>a</friendlyName><friendlyName>b</friendlyName>"
        "<UDN>uuid:first-udn</UDN><UDN>uuid:second-udn</UDN></device></root>";
    auto root = processDescription(body, "http://h:1/d.xml", "", 1);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->FriendlyName, "b");
    EXPECT_EQ(root->UDN, "second-udn");
}

// A description naming more devices than a tree may hold keeps the first ones in document order
// (depth first), still listed newest first; the rest is left out.
TEST(DeviceDescription, ATreeHoldsAtMostItsBoundOfDevicesInDocumentOrder) {
    std::string body = "<root><device><UDN>uuid:root-1</UDN><deviceList>";
    body +=
        "<device><UDN>uuid:nested-parent</UDN><deviceList><device><UDN>uuid:nested-child</UDN>"
        "</device></deviceList></device>";
    for (int i = 0; i < 100; ++i)
        body += "<device><UDN>uuid:flat-" + std::to_string(i) + "</UDN></device>";
    body += "</deviceList></device></root>";
    auto root = processDescription(body, "http://h:1/d.xml", "", 1);
    ASSERT_NE(root, nullptr);
    std::vector<std::string> order;
    forEachDevicePreOrder(*root, [&](DeviceRecord& device) { order.push_back(device.UDN); });
    ASSERT_EQ(order.size(), kMaxDevicesPerTree);
    // root, nested parent and child, flat-0 .. flat-60 kept; newest first under the root.
    const size_t flatKept = kMaxDevicesPerTree - 3;
    ASSERT_EQ(root->embeddedDevices.size(), flatKept + 1);
    EXPECT_EQ(root->embeddedDevices.front()->UDN, "flat-" + std::to_string(flatKept - 1));
    EXPECT_EQ(root->embeddedDevices[flatKept - 1]->UDN, "flat-0");
    EXPECT_EQ(root->embeddedDevices.back()->UDN, "nested-parent");
    ASSERT_EQ(root->embeddedDevices.back()->embeddedDevices.size(), 1u);
    EXPECT_EQ(root->embeddedDevices.back()->embeddedDevices[0]->UDN, "nested-child");
}

}  // namespace
}  // namespace upnp
