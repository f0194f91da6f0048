// The NAS simulator's wire-format pieces on their own: the search parser, search target
// matching, the HTTP request reader and response writer, the form reader, the command and option
// parsers. No sockets.

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include "tools/nas-sim/addresses.h"
#include "tools/nas-sim/commands.h"
#include "tools/nas-sim/description_xml.h"
#include "tools/nas-sim/device_model.h"
#include "tools/nas-sim/http_request.h"
#include "tools/nas-sim/http_response.h"
#include "tools/nas-sim/options.h"
#include "tools/nas-sim/ssdp_wire.h"
#include "tools/nas-sim/web_api.h"

namespace nassim {
namespace {

TEST(NasSimWire, ParsesIpv4Addresses) {
    struct Case {
        const char* text;
        std::optional<uint32_t> address;
    };
    const Case cases[] = {
        {"127.0.1.1", 0x7F000101u},
        {"0.0.0.0", 0u},
        {"255.255.255.255", 0xFFFFFFFFu},
        {"256.0.0.1", std::nullopt},
        {"1.2.3", std::nullopt},
        {"1.2.3.4.5", std::nullopt},
        {"", std::nullopt},
        {"1..2.3", std::nullopt},
        {"1.2.3.4 ", std::nullopt},
        {"1.2.3.1000", std::nullopt},
        {"-1.2.3.4", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parseIpv4(c.text), c.address);
    }
    EXPECT_EQ(formatIpv4(0x7F4D0C01u), "127.77.12.1");
}

TEST(NasSimWire, KeepsEveryDeviceAddressOnLoopback) {
    EXPECT_TRUE(isLoopbackHost(0x7F000001u));
    EXPECT_FALSE(isLoopbackHost(0x7F000000u));  // network
    EXPECT_FALSE(isLoopbackHost(0x7FFFFFFFu));  // broadcast
    EXPECT_FALSE(isLoopbackHost(0x0A000001u));
    EXPECT_FALSE(isLoopbackHost(kSsdpGroup));
    EXPECT_EQ(loopbackAddressAfter(0x7F000101u, 499), 0x7F000101u + 499);
    EXPECT_EQ(loopbackAddressAfter(0x7FFFFFFEu, 0), 0x7FFFFFFEu);
    EXPECT_EQ(loopbackAddressAfter(0x7FFFFFFEu, 1), std::nullopt);
    EXPECT_EQ(loopbackAddressAfter(0x7FFFFFFEu, 0xFFFFFFFFu), std::nullopt);
    EXPECT_EQ(loopbackAddressAfter(0x0A000001u, 0), std::nullopt);
}

TEST(NasSimWire, OptionsRefuseAddressesOutsideLoopback) {
    struct Case {
        std::vector<std::string_view> args;
        bool good;
    };
    const Case cases[] = {
        {{}, true},
        {{"--base-address", "127.255.255.254"}, true},
        {{"--base-address", "127.255.255.254", "--others", "1"}, false},
        {{"--base-address", "127.0.0.0"}, false},
        {{"--base-address", "192.168.1.20"}, false},
        {{"--homevault", "2000"}, true},
        {{"--homevault", "2000", "--others", "1"}, false},
        {{"--homevault", "-1"}, false},
        {{"--http-port", "0"}, false},
        {{"--http-port", "65536"}, false},
        {{"--duration", "3601"}, false},
        {{"--embedded", "17"}, false},
        {{"--lifetime", "0"}, true},
        {{"--users", "alice,,bob"}, false},
        {{"--users"}, false},
        {{"--password", "alice=a=b"}, true},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (auto arg : c.args)
            joined += std::string(arg) + " ";
        SCOPED_TRACE(joined);
        const OptionsResult result = parseOptions(c.args);
        EXPECT_EQ(result.options.has_value(), c.good) << result.error;
        EXPECT_EQ(result.error.empty(), c.good);
    }
    const auto parsed = parseOptions({"--users", "carol,alice", "--password", "alice=a=b"});
    ASSERT_TRUE(parsed.options);
    EXPECT_EQ(parsed.options->users, (std::vector<std::string>{"carol", "alice"}));
    EXPECT_EQ(parsed.options->passwords.at("alice"), "a=b");
}

TEST(NasSimWire, ReadsSearchRequests) {
    struct Case {
        std::string datagram;
        std::string st;  // empty: rejected
        int mx;
    };
    const std::string man = "MAN: \"ssdp:discover\"\r\n";
    const Case cases[] = {
        {"M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\n" + man +
             "MX: 3\r\nST: upnp:rootdevice\r\n\r\n",
         "upnp:rootdevice", 3},
        // Bare line feeds, spaces around values, names in any case.
        {"M-SEARCH * HTTP/1.1\nman:  \"ssdp:discover\" \nmx:0\nst:  ssdp:all  \n\n", "ssdp:all", 0},
        // MX above 5, even far above, is taken as 5.
        {"M-SEARCH * HTTP/1.1\r\n" + man + "MX: 120\r\nST: ssdp:all\r\n\r\n", "ssdp:all", 5},
        {"M-SEARCH * HTTP/1.1\r\n" + man + "MX: 99999999999999999999999\r\nST: ssdp:all\r\n\r\n",
         "ssdp:all", 5},
        {"M-SEARCH * HTTP/1.1\r\n" + man + "MX: 1\r\nST: ssdp:all", "ssdp:all", 1},
        {"M-SEARCH * HTTP/1.1\r\n" + man + "MX: 1.5\r\nST: ssdp:all\r\n\r\n", "", 0},
        {"M-SEARCH * HTTP/1.1\r\n" + man + "MX:\r\nST: ssdp:all\r\n\r\n", "", 0},
        {"M-SEARCH * HTTP/1.1\r\n" + man + "MX: 1\r\nST:\r\n\r\n", "", 0},
        {"M-SEARCH * HTTP/1.1\r\nMAN: ssdp:discover\r\nMX: 1\r\nST: ssdp:all\r\n\r\n", "", 0},
        {"NOTIFY * HTTP/1.1\r\n" + man + "MX: 1\r\nST: ssdp:all\r\n\r\n", "", 0},
        {"M-SEARCH * RTSP/1.0\r\n" + man + "MX: 1\r\nST: ssdp:all\r\n\r\n", "", 0},
        {"M-SEARCH *\r\n" + man + "MX: 1\r\nST: ssdp:all\r\n\r\n", "", 0},
        {"M-SEARCH * HTTP/1.1\r\n: no name\r\n", "", 0},
        {"", "", 0},
        {std::string("M-SEARCH * HTTP/1.1\r\n\0\r\n", 25), "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.datagram);
        const SearchParse parse = parseSearchRequest(c.datagram);
        if (c.st.empty()) {
            EXPECT_FALSE(parse.request);
            EXPECT_FALSE(parse.rejection.empty());
            EXPECT_EQ(parse.rejection.find(' '), std::string::npos);
        } else {
            ASSERT_TRUE(parse.request) << parse.rejection;
            EXPECT_EQ(parse.request->searchTarget, c.st);
            EXPECT_EQ(parse.request->mxSeconds, c.mx);
        }
    }
}

SimOptions oneHomevault(int embedded) {
    SimOptions options;
    options.embeddedCount = embedded;
    return options;
}

TEST(NasSimWire, MatchesSearchTargetsByTypeAndVersion) {
    const SimDevice device = buildDevices(oneHomevault(1)).at(0);
    const auto count = [&](std::string_view st) { return searchAnswers(device.root, st).size(); };
    EXPECT_EQ(count("ssdp:all"), announcementTargets(device.root).size());
    EXPECT_EQ(count("upnp:rootdevice"), 1u);
    EXPECT_EQ(count(device.root.udn), 1u);
    EXPECT_EQ(count(device.root.embedded.at(0).udn), 1u);
    EXPECT_EQ(count("urn:schemas-upnp-org:device:MediaServer:1"), 1u);
    EXPECT_EQ(count("urn:schemas-upnp-org:device:MediaServer:2"), 0u);
    EXPECT_EQ(count("urn:schemas-upnp-org:device:MediaServer"), 0u);
    EXPECT_EQ(count("urn:schemas-upnp-org:device:MediaServer:0"), 0u);
    EXPECT_EQ(count("urn:schemas-upnp-org:device:MediaServer:x"), 0u);
    EXPECT_EQ(count("urn:schemas-upnp-org:service:ConnectionManager:1"), 2u);
    EXPECT_EQ(count("UPNP:ROOTDEVICE"), 0u);
    EXPECT_EQ(count(""), 0u);
    EXPECT_EQ(count(":"), 0u);
    const auto answers = searchAnswers(device.root, "urn:schemas-upnp-org:device:MediaServer:1");
    EXPECT_EQ(answers.at(0).usn, device.root.udn + "::urn:schemas-upnp-org:device:MediaServer:1");
}

TEST(NasSimWire, AnnouncesRootThenEmbeddedThenServices) {
    const SimDevice device = buildDevices(oneHomevault(2)).at(0);
    const auto targets = announcementTargets(device.root);
    ASSERT_EQ(targets.size(), 11u);
    EXPECT_EQ(targets[0].nt, "upnp:rootdevice");
    EXPECT_EQ(targets[0].usn, device.root.udn + "::upnp:rootdevice");
    EXPECT_EQ(targets[1].nt, device.root.udn);
    EXPECT_EQ(targets[1].usn, device.root.udn);
    EXPECT_EQ(targets[2].nt, device.root.deviceType);
    EXPECT_EQ(targets[3].nt, device.root.embedded[0].udn);
    EXPECT_EQ(targets[5].nt, device.root.embedded[1].udn);
    EXPECT_EQ(targets[7].nt, "urn:schemas-upnp-org:service:ContentDirectory:1");
}

TEST(NasSimWire, FormatsSsdpMessages) {
    const SsdpTarget target{"upnp:rootdevice", "uuid:1234-5678::upnp:rootdevice"};
    EXPECT_EQ(formatSearchAnswer(target, "http://127.0.1.1/description.xml", 1800,
                                 "Thu, 10 Dec 2026 14:00:00 GMT"),
              std::string("HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=1800\r\n"
                          "DATE: Thu, 10 Dec 2026 14:00:00 GMT\r\nEXT:\r\n"
                          "LOCATION: http://127.0.1.1/description.xml\r\nSERVER: ") +
                  kServerHeader +
                  "\r\nST: upnp:rootdevice\r\nUSN: uuid:1234-5678::upnp:rootdevice\r\n"
                  "Content-Length: 0\r\n\r\n");
    EXPECT_EQ(formatNotify(NotifyKind::Byebye, target, "http://x/", 1800),
              "NOTIFY * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nNT: upnp:rootdevice\r\n"
              "NTS: ssdp:byebye\r\nUSN: uuid:1234-5678::upnp:rootdevice\r\n\r\n");
    const std::string alive = formatNotify(NotifyKind::Alive, target, "http://x/", 0);
    EXPECT_NE(alive.find("\r\nCACHE-CONTROL: max-age=0\r\n"), std::string::npos);
    EXPECT_NE(alive.find("\r\nLOCATION: http://x/\r\n"), std::string::npos);
    EXPECT_NE(alive.find("\r\nNTS: ssdp:alive\r\n"), std::string::npos);
    EXPECT_NE(formatNotify(NotifyKind::Update, target, "http://x/", 0).find("NTS: ssdp:update"),
              std::string::npos);
}

TEST(NasSimWire, ReadsRequestsInPiecesAndBackToBack) {
    const std::string two =
        "POST /index.php/mv_login/validate_user HTTP/1.1\r\nHost: a\r\nContent-Length: 5\r\n\r\n"
        "a=b&c"
        "GET /description.xml HTTP/1.0\r\nConnection: keep-alive\r\n\r\n";
    HttpRequestParser parser;
    std::vector<HttpRequest> requests;
    for (char c : two) {
        parser.append(std::string_view(&c, 1));
        HttpRequest request;
        int status = 0;
        const auto result = parser.next(request, status);
        ASSERT_NE(result, HttpRequestParser::Status::Invalid);
        if (result == HttpRequestParser::Status::Complete)
            requests.push_back(request);
    }
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].body, "a=b&c");
    EXPECT_TRUE(requests[0].keepAlive());
    EXPECT_EQ(requests[0].header("host"), "a");
    EXPECT_EQ(requests[1].path(), "/description.xml");
    EXPECT_TRUE(requests[1].keepAlive());
    EXPECT_EQ(parser.buffered(), 0u);
}

TEST(NasSimWire, AsksForTheBodyOnceWhenTheClientExpectsContinue) {
    HttpRequestParser parser;
    HttpRequest request;
    int status = 0;
    parser.append("POST /x HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 3\r\n\r\n");
    EXPECT_EQ(parser.next(request, status), HttpRequestParser::Status::NeedMore);
    EXPECT_TRUE(parser.takeContinue());
    parser.append("a");
    EXPECT_EQ(parser.next(request, status), HttpRequestParser::Status::NeedMore);
    EXPECT_FALSE(parser.takeContinue());
    parser.append("bc");
    EXPECT_EQ(parser.next(request, status), HttpRequestParser::Status::Complete);
    EXPECT_EQ(request.body, "abc");
    EXPECT_FALSE(parser.takeContinue());

    // A body sent along with the head needs no interim answer.
    parser.append("POST /x HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 1\r\n\r\nz");
    EXPECT_EQ(parser.next(request, status), HttpRequestParser::Status::Complete);
    EXPECT_FALSE(parser.takeContinue());
}

TEST(NasSimWire, RefusesRequestsItCannotRead) {
    struct Case {
        std::string bytes;
        int status;
    };
    const Case cases[] = {
        {"GARBAGE\r\n\r\n", 400},
        {"GET / HTTP/2.0\r\n\r\n", 505},
        {"GET / FTP/1.0\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nno colon here\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nBad Name: x\r\n\r\n", 400},
        {"POST / HTTP/1.1\r\n\r\n", 411},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", 501},
        {"POST / HTTP/1.1\r\nContent-Length: 1x\r\n\r\n", 400},
        {"POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n", 400},
        {"POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n", 400},
        {"POST / HTTP/1.1\r\nContent-Length: 99999999999999999999999\r\n\r\n", 413},
        {"POST / HTTP/1.1\r\nContent-Length: 65537\r\n\r\n", 413},
        {"GET / HTTP/1.1\r\nX: " + std::string(kMaxRequestHead, 'a') + "\r\n\r\n", 431},
        {"GET / HTTP/1.1\r\nX: " + std::string(kMaxRequestHead + 10, 'a'), 431},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes.substr(0, 60));
        HttpRequestParser parser;
        parser.append(c.bytes);
        HttpRequest request;
        int status = 0;
        EXPECT_EQ(parser.next(request, status), HttpRequestParser::Status::Invalid);
        EXPECT_EQ(status, c.status);
    }
}

// Decodes a chunked body the way a client would.
std::string unchunk(std::string_view body) {
    std::string out;
    while (true) {
        const size_t end = body.find("\r\n");
        const size_t size = std::stoul(std::string(body.substr(0, end)), nullptr, 16);
        body.remove_prefix(end + 2);
        if (size == 0)
            return body == "\r\n" ? out : "<trailing bytes>";
        out += body.substr(0, size);
        EXPECT_EQ(body.substr(size, 2), "\r\n");
        body.remove_prefix(size + 2);
    }
}

TEST(NasSimWire, WritesEachFraming) {
    HttpResponse response;
    response.body = "<root>0123456789</root>";
    bool close = false;

    std::string out = formatResponse(response, Framing::Length, true, true, false, close);
    EXPECT_FALSE(close);
    EXPECT_NE(out.find("\r\nContent-Length: 23\r\n"), std::string::npos);
    EXPECT_TRUE(out.ends_with("\r\n\r\n" + response.body));

    out = formatResponse(response, Framing::Chunked, true, true, false, close);
    EXPECT_FALSE(close);
    EXPECT_NE(out.find("\r\nTransfer-Encoding: chunked\r\n"), std::string::npos);
    EXPECT_EQ(out.find("Content-Length"), std::string::npos);
    EXPECT_EQ(unchunk(std::string_view(out).substr(out.find("\r\n\r\n") + 4)), response.body);

    // No chunks for HTTP/1.0: the connection's end marks the body's.
    out = formatResponse(response, Framing::Chunked, false, true, false, close);
    EXPECT_TRUE(close);
    EXPECT_EQ(out.find("chunked"), std::string::npos);
    EXPECT_NE(out.find("\r\nConnection: close\r\n"), std::string::npos);

    out = formatResponse(response, Framing::Close, true, true, false, close);
    EXPECT_TRUE(close);
    EXPECT_EQ(out.find("Content-Length"), std::string::npos);
    EXPECT_TRUE(out.ends_with("\r\n\r\n" + response.body));

    out = formatResponse(response, Framing::Length, true, true, true, close);
    EXPECT_TRUE(out.ends_with("\r\n\r\n"));

    response.body.clear();
    out = formatResponse(response, Framing::Chunked, true, false, false, close);
    EXPECT_TRUE(close);
    EXPECT_TRUE(out.ends_with("\r\n\r\n0\r\n\r\n"));
}

TEST(NasSimWire, ReadsForms) {
    const auto form = parseForm("username=al%69ce&password=p%40ss+w%2Bd&retToken=1&username=bob");
    EXPECT_EQ(form.at("username"), "alice");  // the first of two wins
    EXPECT_EQ(form.at("password"), "p@ss w+d");
    EXPECT_EQ(form.at("retToken"), "1");
    EXPECT_EQ(parseForm("&&a&=b").at("a"), "");
    EXPECT_EQ(percentDecode("%zz%4"), "%zz%4");
    EXPECT_EQ(percentDecode("%"), "%");
    EXPECT_EQ(percentDecode("%41%4a%4A"), "AJJ");
}

TEST(NasSimWire, ChecksLogins) {
    const std::vector<std::string> users{"alice", "bob"};
    const std::map<std::string, std::string> passwords{{"alice", "secret"}};
    using Form = std::map<std::string, std::string>;
    EXPECT_EQ(checkLogin(Form{{"username", "alice"}, {"password", "secret"}}, users, passwords),
              LoginOutcome::Accepted);
    EXPECT_EQ(checkLogin(Form{{"username", "alice"}, {"password", ""}}, users, passwords),
              LoginOutcome::WrongPassword);
    EXPECT_EQ(checkLogin(Form{{"username", "bob"}, {"password", ""}}, users, passwords),
              LoginOutcome::Accepted);
    EXPECT_EQ(checkLogin(Form{{"username", "bob"}, {"password", "x"}}, users, passwords),
              LoginOutcome::WrongPassword);
    EXPECT_EQ(checkLogin(Form{{"username", "carol"}, {"password", ""}}, users, passwords),
              LoginOutcome::UnknownUser);
    EXPECT_EQ(checkLogin(Form{{"username", "alice"}}, users, passwords),
              LoginOutcome::MissingField);
}

TEST(NasSimWire, WritesWellFormedDocumentsWhateverTheNames) {
    SimOptions options = oneHomevault(2);
    options.users = {"a&b", "<c>", "d\"e"};
    SimDevice device = buildDevices(options).at(0);
    device.root.friendlyName = "Tom & Jerry's <NAS>";

    tinyxml2::XMLDocument description;
    const std::string text = descriptionDocument(device, true);
    ASSERT_EQ(description.Parse(text.data(), text.size()), tinyxml2::XML_SUCCESS);
    const auto* root = description.RootElement();
    EXPECT_STREQ(root->FirstChildElement("URLBase")->GetText(), "http://127.0.1.1/upnp");
    EXPECT_STREQ(root->FirstChildElement("device")->FirstChildElement("friendlyName")->GetText(),
                 "Tom & Jerry's <NAS>");

    tinyxml2::XMLDocument users;
    const std::string list = usersDocument(options.users);
    ASSERT_EQ(users.Parse(list.data(), list.size()), tinyxml2::XML_SUCCESS);
    std::vector<std::string> names;
    for (auto* user = users.RootElement()->FirstChildElement(); user;
         user = user->NextSiblingElement())
        names.emplace_back(user->Attribute("username"));
    EXPECT_EQ(names, options.users);

    tinyxml2::XMLDocument broken;
    const std::string bad = malformedDescriptionDocument(device);
    EXPECT_NE(broken.Parse(bad.data(), bad.size()), tinyxml2::XML_SUCCESS);
}

TEST(NasSimWire, ReadsCommands) {
    struct Case {
        const char* line;
        bool good;
        CommandKind kind;
        int device;
    };
    const Case cases[] = {
        {"alive 1", true, CommandKind::Alive, 1},
        {"  byebye all \r", true, CommandKind::Byebye, 0},
        {"update\t2", true, CommandKind::Update, 2},
        {"silence 3", true, CommandKind::Silence, 3},
        {"relocate 1", true, CommandKind::Relocate, 1},
        {"relocate 1 8080", true, CommandKind::Relocate, 1},
        {"lifetime 1 0", true, CommandKind::Lifetime, 1},
        {"fail all 404", true, CommandKind::Fail, 0},
        {"framing 1 close", true, CommandKind::Framing, 1},
        {"quit", true, CommandKind::Quit, 0},
        {"quit now", false, CommandKind::Quit, 0},
        {"alive", false, CommandKind::Alive, 0},
        {"alive 0", false, CommandKind::Alive, 0},
        {"alive 2001", false, CommandKind::Alive, 0},
        {"alive 1 2", false, CommandKind::Alive, 0},
        {"relocate 1 65536", false, CommandKind::Relocate, 0},
        {"lifetime 1 -5", false, CommandKind::Lifetime, 0},
        {"framing 1 gzip", false, CommandKind::Framing, 0},
        {"", false, CommandKind::Quit, 0},
        {"ALIVE 1", false, CommandKind::Alive, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const CommandParse parse = parseCommand(c.line);
        ASSERT_EQ(parse.command.has_value(), c.good) << parse.error;
        if (c.good) {
            EXPECT_EQ(parse.command->kind, c.kind);
            EXPECT_EQ(parse.command->device, c.device);
        }
    }
    EXPECT_EQ(parseCommand("relocate 1 8080").command->port, 8080);
    EXPECT_EQ(parseCommand("fail 1 malformed").command->fault, DescriptionFault::Malformed);
    EXPECT_EQ(parseCommand("fail 1 hang").command->fault, DescriptionFault::Hang);
    EXPECT_EQ(parseCommand("framing 1 chunked").command->framing, Framing::Chunked);
}

}  // namespace
}  // namespace nassim
