// How fast the stack reads what arrives from the network: HTTP response heads (description
// fetches), SSDP datagrams (search answers and announcements, with the header lookups the SSDP
// client makes) and description documents.
#include <benchmark/benchmark.h>

#include <string>
#include <string_view>

#include "upnp/http_packet.h"
#include "upnp/xml_reader.h"

namespace {

constexpr std::string_view kResponseHead =
    "HTTP/1.1 200 OK\r\n"
    "Content-Type: text/xml; charset=\"utf-8\"\r\n"
    "Content-Length: 2345\r\n"
    "Date: Thu, 10 Dec 2026 10:00:00 GMT\r\n"
    "Server: Linux/5.10 UPnP/1.0 Homevault/2.1\r\n"
    "Connection: keep-alive\r\n"
    "Accept-Ranges: bytes\r\n"
    "\r\n";

constexpr std::string_view kSearchAnswer =
    "HTTP/1.1 200 OK\r\n"
    "CACHE-CONTROL: max-age=1800\r\n"
    "DATE: Thu, 10 Dec 2026 10:00:00 GMT\r\n"
    "EXT:\r\n"
    "LOCATION: http://192.168.1.20:50000/desc.xml\r\n"
    "SERVER: Linux/5.10 UPnP/1.0 Homevault/2.1\r\n"
    "ST: upnp:rootdevice\r\n"
    "USN: uuid:3b2b54a3-5512-4a2b-93f2-001122334455::upnp:rootdevice\r\n"
    "\r\n";

constexpr std::string_view kNotify =
    "NOTIFY * HTTP/1.1\r\n"
    "HOST: 239.255.255.250:1900\r\n"
    "CACHE-CONTROL: max-age=1800\r\n"
    "LOCATION: http://192.168.1.20:50000/desc.xml\r\n"
    "NT: upnp:rootdevice\r\n"
    "NTS: ssdp:alive\r\n"
    "SERVER: Linux/5.10 UPnP/1.0 Homevault/2.1\r\n"
    "USN: uuid:3b2b54a3-5512-4a2b-93f2-001122334455::upnp:rootdevice\r\n"
    "\r\n";

constexpr std::string_view kDescription =
    "<?xml version=\"1.0\"?>\r\n"
    "<root xmlns=\"urn:schemas-upnp-org:device-1-0\">\r\n"
    "  <specVersion><major>1</major><minor>0</minor></specVersion>\r\n"
    "  <device xmlns:dlna=\"urn:schemas-dlna-org:device-1-0\">\r\n"
    "    <deviceType>urn:schemas-upnp-org:device:Basic:1</deviceType>\r\n"
    "    <friendlyName>NAS One</friendlyName>\r\n"
    "    <manufacturer>Homevault</manufacturer>\r\n"
    "    <modelName>HV-2</modelName>\r\n"
    "    <dlna:X_DLNADOC>DMS-1.50</dlna:X_DLNADOC>\r\n"
    "    <UDN>uuid:3b2b54a3-5512-4a2b-93f2-001122334455</UDN>\r\n"
    "    <presentationURL>/index.php</presentationURL>\r\n"
    "    <serviceList><service>\r\n"
    "      <serviceType>urn:schemas-upnp-org:service:Dummy:1</serviceType>\r\n"
    "      <serviceId>urn:upnp-org:serviceId:Dummy</serviceId>\r\n"
    "      <SCPDURL>/scpd.xml</SCPDURL><controlURL>/ctl/1</controlURL>\r\n"
    "      <eventSubURL>/evt/1</eventSubURL>\r\n"
    "    </service></serviceList>\r\n"
    "  </device>\r\n"
    "</root>\r\n";

void BM_ParseResponseHead(benchmark::State& state) {
    for (auto _ : state) {
        auto packet = upnp::parsePacketHeader(kResponseHead);
        benchmark::DoNotOptimize(packet->getHeaderValue("Content-Length"));
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kResponseHead.size()));
}
BENCHMARK(BM_ParseResponseHead);

// One datagram as the SSDP client handles it: parse, then look up the headers it reads.
void readDatagram(std::string_view datagram) {
    auto packet = upnp::parsePacketHeader(datagram);
    for (std::string_view name : {"LOCATION", "USN", "CACHE-CONTROL", "NT", "NTS"})
        benchmark::DoNotOptimize(packet->getHeaderValue(name));
}

void BM_SsdpSearchAnswer(benchmark::State& state) {
    for (auto _ : state)
        readDatagram(kSearchAnswer);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SsdpSearchAnswer);

void BM_SsdpNotify(benchmark::State& state) {
    for (auto _ : state)
        readDatagram(kNotify);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SsdpNotify);

void BM_DescriptionDocument(benchmark::State& state) {
    for (auto _ : state) {
        auto document = upnp::parseXml(kDescription);
        if (upnp::processXml(document->first()) != upnp::kXmlOk)
            state.SkipWithError("description did not check");
        upnp::buildNamespaceTables(document->first());
        for (upnp::XmlElement* element = document->first(); element; element = element->next) {
            if (element->isStart)
                benchmark::DoNotOptimize(upnp::readElementText(*element));
        }
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kDescription.size()));
}
BENCHMARK(BM_DescriptionDocument);

}  // namespace

BENCHMARK_MAIN();
