#include "upnp/http_packet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace upnp {
namespace {

// A search answer as a Homevault sends it.
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
    "USN: uuid:1234-5678::upnp:rootdevice\r\n"
    "\r\n";

std::vector<std::string> headerNames(const HttpPacket& packet) {
    std::vector<std::string> names;
    for (const HttpHeader& header : packet.headers())
        names.push_back(header.name);
    return names;
}

TEST(ParsePacketHeader, SearchAnswer) {
    auto packet = parsePacketHeader(kSearchAnswer);
    ASSERT_NE(packet, nullptr);
    EXPECT_FALSE(packet->isRequest());
    EXPECT_TRUE(packet->method.empty());
    EXPECT_EQ(packet->version, "1.1");
    EXPECT_EQ(packet->statusCode, 200);
    EXPECT_EQ(packet->reason, "OK");
    EXPECT_EQ(packet->headers().size(), 7u);
    EXPECT_EQ(getHeaderValue(*packet, "location"), "http://192.168.1.20:50000/desc.xml");
    EXPECT_EQ(getHeaderValue(*packet, "Ext"), "");
    EXPECT_EQ(getHeaderValue(*packet, "Content-Length"), std::nullopt);
}

TEST(ParsePacketHeader, NotifyRequestLine) {
    auto packet = parsePacketHeader(kNotify);
    ASSERT_NE(packet, nullptr);
    EXPECT_TRUE(packet->isRequest());
    EXPECT_EQ(packet->method, "NOTIFY");
    EXPECT_EQ(packet->uri, "*");
    EXPECT_EQ(packet->version, "1.1");
    EXPECT_EQ(packet->statusCode, -1);
    EXPECT_EQ(getHeaderValue(*packet, "NTS"), "ssdp:alive");
    EXPECT_EQ(getHeaderValue(*packet, "nt"), "upnp:rootdevice");
}

struct StartLineRow {
    std::string head;
    bool parses;
    std::string method;
    std::string uri;
    std::string version;
    int status;
    std::string reason;
};

class StartLineRows : public ::testing::TestWithParam<StartLineRow> {};

TEST_P(StartLineRows, ParsesOrRejects) {
    const StartLineRow& row = GetParam();
    auto packet = parsePacketHeader(row.head);
    ASSERT_EQ(packet != nullptr, row.parses);
    if (!packet)
        return;
    EXPECT_EQ(packet->method, row.method);
    EXPECT_EQ(packet->uri, row.uri);
    EXPECT_EQ(packet->version, row.version);
    EXPECT_EQ(packet->statusCode, row.status);
    EXPECT_EQ(packet->reason, row.reason);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StartLineRows,
    ::testing::Values(
        StartLineRow{"GET /desc.xml HTTP/1.1\r\n\r\n", true, "GET", "/desc.xml", "1.1", -1, ""},
        StartLineRow{"M-SEARCH * HTTP/1.1\r\n", true, "M-SEARCH", "*", "1.1", -1, ""},
        // The reason phrase is the rest of the line, spaces included.
        StartLineRow{"HTTP/1.1 404 Not Found\r\n\r\n", true, "", "", "1.1", 404, "Not Found"},
        StartLineRow{"HTTP/1.0 200 OK", true, "", "", "1.0", 200, "OK"},
        // Fewer fields: accepted, with status 0 and an empty reason where they are missing.
        StartLineRow{"HTTP/1.1 200\r\n\r\n", true, "", "", "1.1", 200, ""},
        StartLineRow{"HTTP/1.1\r\n\r\n", true, "", "", "1.1", 0, ""},
        StartLineRow{"HTTP/\r\n", true, "", "", "", 0, ""},
        // A status code that is not a number is 0.
        StartLineRow{"HTTP/1.1 abc Odd\r\n", true, "", "", "1.1", 0, "Odd"},
        StartLineRow{"HTTP/1.1 -200 Odd\r\n", true, "", "", "1.1", 0, "Odd"},
        StartLineRow{"HTTP/1.1 99999999999 Big\r\n", true, "", "", "1.1", 0, "Big"},
        StartLineRow{"HTTP/1.1  200 OK\r\n", true, "", "", "1.1", 0, "200 OK"},
        // Request line with two tokens: the version is what follows the last token's "/".
        StartLineRow{"GET /a/b\r\n", true, "GET", "/a/b", "a/b", -1, ""},
        StartLineRow{"GET x\r\n", true, "GET", "x", "", -1, ""},
        // Unusable start lines.
        StartLineRow{"GET\r\nHost: x\r\n\r\n", false, "", "", "", 0, ""},
        StartLineRow{"", false, "", "", "", 0, ""},
        StartLineRow{"\r\nHost: x\r\n\r\n", false, "", "", "", 0, ""},
        StartLineRow{" /x HTTP/1.1\r\n", false, "", "", "", 0, ""},
        StartLineRow{"garbage", false, "", "", "", 0, ""},
        // "HTTP/" is matched case-sensitively, so this is a request with method "http/1.1".
        StartLineRow{"http/1.1 200 OK\r\n", true, "http/1.1", "200", "", -1, ""}));

struct HeaderRow {
    std::string lines;  // header lines after "HTTP/1.1 200 OK\r\n"
    std::vector<std::string> names;
    std::string lookedUp;
    std::optional<std::string> value;
};

class HeaderRows : public ::testing::TestWithParam<HeaderRow> {};

TEST_P(HeaderRows, HeadersAsExpected) {
    const HeaderRow& row = GetParam();
    auto packet = parsePacketHeader("HTTP/1.1 200 OK\r\n" + row.lines);
    ASSERT_NE(packet, nullptr);
    EXPECT_EQ(headerNames(*packet), row.names);
    const auto value = getHeaderValue(*packet, row.lookedUp);
    if (row.value) {
        ASSERT_TRUE(value.has_value());
        EXPECT_EQ(*value, *row.value);
    } else {
        EXPECT_FALSE(value.has_value());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, HeaderRows,
    ::testing::Values(
        // The value is trimmed of blanks; the name is not.
        HeaderRow{"Content-Length:   42  \r\n\r\n", {"Content-Length"}, "content-length", "42"},
        HeaderRow{"Host : x\r\n\r\n", {"Host "}, "Host", std::nullopt},
        // A continuation line is appended without separator, less its first character.
        HeaderRow{"X-Note: a\r\n b\r\n\r\n", {"X-Note"}, "X-Note", "ab"},
        HeaderRow{"X-Note: a\r\n\t b\r\n  c \r\n\r\n", {"X-Note"}, "x-note", "a b c "},
        // A continuation before any header, or after a dropped line, is dropped.
        HeaderRow{" stray\r\nA: 1\r\n\r\n", {"A"}, "A", "1"},
        HeaderRow{"A: 1\r\nno colon\r\n more\r\n\r\n", {"A"}, "A", "1"},
        // Repeated headers: the list keeps both, the lookup gives the last.
        HeaderRow{"CACHE-CONTROL: max-age=1800\r\nCache-Control: max-age=60\r\n\r\n",
                  {"CACHE-CONTROL", "Cache-Control"},
                  "cache-control",
                  "max-age=60"},
        // A line without a colon is skipped.
        HeaderRow{"A: 1\r\nBroken line\r\nB: 2\r\n\r\n", {"A", "B"}, "B", "2"},
        // The value is everything after the first colon.
        HeaderRow{"LOCATION: http://h:80/x\r\n\r\n", {"LOCATION"}, "Location", "http://h:80/x"},
        // Lines after the first empty line belong to the body.
        HeaderRow{"A: 1\r\n\r\nB: 2\r\n", {"A"}, "B", std::nullopt},
        // A head that ends without the empty line still yields its headers.
        HeaderRow{"A: 1\r\nB: 2", {"A", "B"}, "b", "2"},
        // A lone LF does not end a line.
        HeaderRow{"A: 1\nB: 2\r\n\r\n", {"A"}, "A", "1\nB: 2"},
        HeaderRow{"EXT:\r\n\r\n", {"EXT"}, "ext", ""},
        HeaderRow{"X:   \r\n\r\n", {"X"}, "x", "   "},
        HeaderRow{": v\r\n\r\n", {""}, "", std::nullopt}));

TEST(ParsePacketHeader, CopiesItsTexts) {
    std::string buffer(kNotify);
    auto packet = parsePacketHeader(buffer);
    ASSERT_NE(packet, nullptr);
    buffer.assign(buffer.size(), 'x');
    EXPECT_EQ(packet->method, "NOTIFY");
    EXPECT_EQ(getHeaderValue(*packet, "USN"), "uuid:1234-5678::upnp:rootdevice");
}

TEST(ParsePacketHeader, OverlongLineIsHandled) {
    std::string head = "HTTP/1.1 200 OK\r\nX-Long: " + std::string(100000, 'a') + "\r\n" +
                       std::string(50000, 'b') + "\r\n\r\n";
    auto packet = parsePacketHeader(head);
    ASSERT_NE(packet, nullptr);
    EXPECT_EQ(getHeaderValue(*packet, "x-long")->size(), 100000u);
    EXPECT_EQ(packet->headers().size(), 1u);
}

TEST(ParsePacketHeader, ManyHeadersStayLinear) {
    std::string head = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < 20000; ++i)
        head += "h" + std::to_string(i) + ":" + std::to_string(i) + "\r\n";
    auto packet = parsePacketHeader(head);
    ASSERT_NE(packet, nullptr);
    EXPECT_EQ(packet->headers().size(), 20000u);
    EXPECT_EQ(getHeaderValue(*packet, "H19999"), "19999");
}

TEST(HttpPacket, BuildersCopyTheirTexts) {
    auto packet = createEmptyPacket();
    EXPECT_EQ(packet->version, "1.0");
    EXPECT_EQ(packet->statusCode, -1);
    EXPECT_TRUE(packet->method.empty());
    EXPECT_TRUE(packet->headers().empty());
    std::string name = "Server";
    std::string value = "Drive Scout";
    packet->addHeader(name, value);
    name = "zzz";
    value = "zzz";
    EXPECT_EQ(packet->getHeaderValue("SERVER"), "Drive Scout");
    packet->setStatus(503, "Service Unavailable");
    EXPECT_FALSE(packet->isRequest());
    EXPECT_EQ(packet->reason, "Service Unavailable");
}

TEST(PacketToString, ResponseWithoutHeaders) {
    auto packet = createEmptyPacket();
    packet->setVersion("1.1");
    packet->setStatus(200, "OK");
    EXPECT_EQ(packetToString(*packet), "HTTP/1.1 200 OK\r\n\r\n");
}

TEST(PacketToString, RequestWithHeadersAndBody) {
    auto packet = createEmptyPacket();
    packet->setVersion("1.1");
    packet->setRequestLine("POST", "/ctl");
    packet->addHeader("Content-Length", "4");
    packet->addHeader("A", "");
    packet->body = "data";
    EXPECT_EQ(packetToString(*packet),
              "POST /ctl HTTP/1.1\r\nContent-Length: 4\r\nA: \r\n\r\ndata");
}

TEST(PacketToString, StatusCodesOfAnyWidth) {
    auto packet = createEmptyPacket();
    packet->setStatus(2147483647, "Wide");
    EXPECT_EQ(packetToString(*packet), "HTTP/1.0 2147483647 Wide\r\n\r\n");
    packet->setStatus(0, "");
    EXPECT_EQ(packetToString(*packet), "HTTP/1.0 0 \r\n\r\n");
}

struct FoldRow {
    size_t valueLength;
    std::vector<size_t> pieces;  // lengths of the written pieces
};

class FoldRows : public ::testing::TestWithParam<FoldRow> {};

TEST_P(FoldRows, LongValuesAreFoldedIn800BytePieces) {
    const FoldRow& row = GetParam();
    std::string value;
    for (size_t i = 0; i < row.valueLength; ++i)
        value.push_back(static_cast<char>('a' + i % 26));
    auto packet = createEmptyPacket();
    packet->setStatus(200, "OK");
    packet->addHeader("X", value);
    const std::string text = packetToString(*packet);

    std::string expected = "HTTP/1.0 200 OK\r\nX: ";
    size_t at = 0;
    for (size_t i = 0; i < row.pieces.size(); ++i) {
        if (i > 0)
            expected += "\r\n ";
        expected += value.substr(at, row.pieces[i]);
        at += row.pieces[i];
    }
    expected += "\r\n\r\n";
    EXPECT_EQ(text, expected);

    // Folded or not, the value reads back unchanged.
    auto reparsed = parsePacketHeader(text);
    ASSERT_NE(reparsed, nullptr);
    EXPECT_EQ(reparsed->getHeaderValue("X"), value);
}

INSTANTIATE_TEST_SUITE_P(Rows, FoldRows,
                         ::testing::Values(FoldRow{1599, {1599}}, FoldRow{1600, {800, 800}},
                                           FoldRow{1601, {800, 800, 1}},
                                           FoldRow{2500, {800, 800, 800, 100}}, FoldRow{1, {1}}));

TEST(PacketToString, EmptyValueIsWrittenAfterColonAndSpace) {
    auto packet = createEmptyPacket();
    packet->setStatus(200, "OK");
    packet->addHeader("EXT", "");
    const std::string text = packetToString(*packet);
    EXPECT_EQ(text, "HTTP/1.0 200 OK\r\nEXT: \r\n\r\n");
    // Trimming leaves a value made only of blanks as it is, so it reads back as one space.
    EXPECT_EQ(parsePacketHeader(text)->getHeaderValue("EXT"), " ");
}

TEST(ClonePacket, CopiesHeadAndAddressesNotBody) {
    auto packet = parsePacketHeader(kSearchAnswer);
    ASSERT_NE(packet, nullptr);
    packet->body = "body";
    packet->fullUri = "http://x/y";
    packet->remoteAddress = 0x1401A8C0;
    packet->remotePort = 50000;
    packet->localAddress = 0x0A01A8C0;
    auto copy = clonePacket(*packet);
    EXPECT_EQ(copy->statusCode, 200);
    EXPECT_EQ(copy->reason, "OK");
    EXPECT_EQ(copy->version, "1.1");
    EXPECT_EQ(headerNames(*copy), headerNames(*packet));
    EXPECT_EQ(copy->getHeaderValue("usn"), packet->getHeaderValue("usn"));
    EXPECT_EQ(copy->remoteAddress, 0x1401A8C0u);
    EXPECT_EQ(copy->remotePort, 50000);
    EXPECT_EQ(copy->localAddress, 0x0A01A8C0u);
    EXPECT_TRUE(copy->body.empty());
    EXPECT_FALSE(copy->fullUri.has_value());
    packet.reset();
    EXPECT_EQ(copy->getHeaderValue("ST"), "upnp:rootdevice");
}

TEST(PacketToString, ParsedMessageRoundTrips) {
    auto packet = parsePacketHeader(kNotify);
    ASSERT_NE(packet, nullptr);
    EXPECT_EQ(packetToString(*packet), kNotify);

    // "EXT:" has an empty value, which the serializer writes as "EXT: ".
    auto answer = parsePacketHeader(kSearchAnswer);
    ASSERT_NE(answer, nullptr);
    std::string expected(kSearchAnswer);
    expected.replace(expected.find("EXT:"), 4, "EXT: ");
    EXPECT_EQ(packetToString(*answer), expected);
}

TEST(CreateRequestPacket, SerializesToTheStacksRequest) {
    auto packet = createRequestPacket("192.168.1.20", 50000, "/desc.xml", "GET");
    ASSERT_NE(packet, nullptr);
    EXPECT_EQ(packetToString(*packet),
              "GET /desc.xml HTTP/1.1\r\n"
              "Host: 192.168.1.20:50000\r\n"
              "User-Agent: WINDOWS UPnP/1.0 DriveScout/1.0\r\n"
              "\r\n");
}

TEST(CreateRequestPacket, EmptyPathIsKept) {
    auto packet = createRequestPacket("h", 80, "", "GET");
    ASSERT_NE(packet, nullptr);
    EXPECT_EQ(packetToString(*packet).substr(0, 16), "GET  HTTP/1.1\r\nH");
}

TEST(CreateRequestPacket, RefusesTextsThatWouldAddLines) {
    EXPECT_EQ(createRequestPacket("h", 80, "/x", ""), nullptr);
    EXPECT_EQ(createRequestPacket("h", 80, "/x\r\nEvil: 1", "GET"), nullptr);
    EXPECT_EQ(createRequestPacket("h", 80, "/x\nEvil: 1", "GET"), nullptr);
    EXPECT_EQ(createRequestPacket("h\r", 80, "/x", "GET"), nullptr);
    EXPECT_EQ(createRequestPacket("h", 80, std::string_view("/x\0y", 4), "GET"), nullptr);
    EXPECT_EQ(createRequestPacket("h", 80, "/x", "GE\nT"), nullptr);
}

}  // namespace
}  // namespace upnp
