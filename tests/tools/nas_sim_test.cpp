// The NAS simulator seen from the network, the way a control point and the sign-in client see
// it: search answers, announcements, descriptions and the web API, over real sockets inside a
// private network namespace. Each test uses its own 127.77.<k>.0/24 addresses and ignores what
// other simulators (of tests running beside it) send.

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <algorithm>
#include <regex>
#include <set>
#include <sstream>

#include "support/netns.h"
#include "tools/raw_net.h"
#include "tools/sim_process.h"

namespace nassim_test {
namespace {

using namespace std::chrono_literals;

constexpr auto kCollect = 3000ms;

// Starts a simulator on 127.77.<block>.1 onwards and waits for "ready"; a test that cannot
// start one fails instead of hanging.
struct Sim {
    Sim(int block, std::vector<std::string> args)
        : prefix("127.77." + std::to_string(block) + "."), process([&] {
              args.insert(args.begin(), {"--base-address", prefix + "1", "--duration", "60"});
              return args;
          }()) {}

    std::string address(int device) const { return prefix + std::to_string(device); }

    // The device line printed at start: number, UDN, address, port, location, kind.
    std::vector<std::string> deviceLine(int device) {
        const auto line = process.waitForLine("device " + std::to_string(device) + " ");
        std::vector<std::string> words;
        if (!line)
            return words;
        std::istringstream in(*line);
        for (std::string word; in >> word;)
            words.push_back(word);
        return words;
    }

    std::string prefix;
    SimProcess process;
};

bool wellFormed(const std::string& xml) {
    tinyxml2::XMLDocument document;
    return document.Parse(xml.data(), xml.size()) == tinyxml2::XML_SUCCESS;
}

std::string udnOf(const MessageHead& head) {
    const std::string usn = head.get("USN");
    return usn.substr(0, usn.find("::"));
}

// Sends `search` and collects the answers from the simulator's devices: up to `expected` of
// them, then whatever else came before the answer to a marker search sent from a second socket
// (the simulator takes searches in order and answers them at once with --answer-at-once).
std::vector<Datagram> answersTo(UdpSocket& searcher, Sim& sim, const std::string& search,
                                size_t expected) {
    EXPECT_TRUE(searcher.sendToGroup(search));
    std::vector<Datagram> answers = searcher.receive(sim.prefix, expected, kCollect);
    UdpSocket marker;
    EXPECT_TRUE(marker.bindSearcher());
    EXPECT_TRUE(marker.sendToGroup(searchMessage("upnp:rootdevice")));
    EXPECT_FALSE(marker.receive(sim.prefix, 1, kCollect).empty()) << "marker not answered";
    for (Datagram& extra : searcher.receive(sim.prefix, 1000, 200ms))
        answers.push_back(std::move(extra));
    return answers;
}

TEST(NasSimulator, SearchAnswersComeFromTheAddressTheirLocationNames) {
    DS_REQUIRE_PRIVATE_NETNS();
    UdpSocket searcher;
    ASSERT_TRUE(searcher.bindSearcher());
    Sim sim(1, {"--homevault", "2", "--others", "1", "--embedded", "2", "--answer-at-once",
                "--no-initial-alive"});
    ASSERT_TRUE(sim.process.waitReady());

    ASSERT_TRUE(searcher.sendToGroup(searchMessage("upnp:rootdevice", "3")));
    const auto answers = searcher.receive(sim.prefix, 3, kCollect);
    ASSERT_EQ(answers.size(), 3u);

    std::set<std::string> senders;
    for (const Datagram& answer : answers) {
        SCOPED_TRACE(answer.text);
        const MessageHead head = readHead(answer.text);
        EXPECT_EQ(head.startLine, "HTTP/1.1 200 OK");
        EXPECT_EQ(head.get("CACHE-CONTROL"), "max-age=1800");
        EXPECT_TRUE(head.has("EXT"));
        EXPECT_EQ(head.get("EXT"), "");
        EXPECT_TRUE(head.has("DATE"));
        EXPECT_NE(head.get("SERVER").find("UPnP/1.0"), std::string::npos);
        EXPECT_EQ(head.get("ST"), "upnp:rootdevice");
        EXPECT_EQ(urlHost(head.get("LOCATION")), answer.from);
        const std::string usn = head.get("USN");
        EXPECT_EQ(usn.substr(usn.find("::")), "::upnp:rootdevice");
        EXPECT_TRUE(answer.text.ends_with("\r\n\r\n"));
        senders.insert(answer.from);

        // The answer names the device the simulator listed for that address.
        const int device = std::stoi(answer.from.substr(sim.prefix.size()));
        const auto line = sim.deviceLine(device);
        ASSERT_EQ(line.size(), 7u);
        EXPECT_EQ(line[2], udnOf(head));
        EXPECT_EQ(line[5], head.get("LOCATION"));
    }
    EXPECT_EQ(senders, (std::set<std::string>{sim.address(1), sim.address(2), sim.address(3)}));

    // Homevault UDNs: the maker's prefix and twelve hex digits.
    const std::regex homevault("uuid:3b2b54a3-5512-4a2b-93f2-[0-9a-f]{12}");
    EXPECT_TRUE(std::regex_match(sim.deviceLine(1)[2], homevault));
    EXPECT_TRUE(std::regex_match(sim.deviceLine(2)[2], homevault));
    EXPECT_FALSE(std::regex_match(sim.deviceLine(3)[2], homevault));
    EXPECT_EQ(sim.deviceLine(1)[6], "homevault");
    EXPECT_EQ(sim.deviceLine(3)[6], "other");
}

TEST(NasSimulator, SearchTargetChoosesTheAnswers) {
    DS_REQUIRE_PRIVATE_NETNS();
    UdpSocket searcher;
    ASSERT_TRUE(searcher.bindSearcher());
    Sim sim(2, {"--homevault", "2", "--others", "1", "--embedded", "2", "--answer-at-once",
                "--no-initial-alive"});
    ASSERT_TRUE(sim.process.waitReady());
    const std::string hv1 = sim.deviceLine(1)[2];
    const std::string hv1Location = sim.deviceLine(1)[5];
    const std::string part1 = "uuid:e3b0dded-0001-4000-8000-" + hv1.substr(hv1.size() - 12);

    struct Case {
        std::string st;
        size_t answers;  // two Homevaults and one other device, two embedded devices each
        std::set<std::string> senders;
    };
    const std::string a1 = sim.address(1), a2 = sim.address(2), a3 = sim.address(3);
    const Case cases[] = {
        // Root, UDN and type of each device, the embedded devices' UDNs and types, and one
        // answer per service type per device: 11 + 11 + 12.
        {"ssdp:all", 34, {a1, a2, a3}},
        {"upnp:rootdevice", 3, {a1, a2, a3}},
        {hv1, 1, {a1}},
        {part1, 1, {a1}},
        {"urn:schemas-upnp-org:device:MediaServer:1", 2, {a1, a2}},
        {"urn:schemas-upnp-org:device:MediaRenderer:1", 1, {a3}},
        {"urn:schemas-upnp-org:device:Basic:1", 6, {a1, a2, a3}},
        {"urn:schemas-upnp-org:service:ConnectionManager:1", 9, {a1, a2, a3}},
        {"urn:schemas-upnp-org:service:ContentDirectory:1", 2, {a1, a2}},
        // A version above the one offered, an unknown UDN, an unknown type: no answer.
        {"urn:schemas-upnp-org:device:MediaServer:2", 0, {}},
        {"uuid:00000000-0000-0000-0000-000000000000", 0, {}},
        {"urn:example-com:device:Toaster:1", 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.st);
        const auto answers = answersTo(searcher, sim, searchMessage(c.st), c.answers);
        EXPECT_EQ(answers.size(), c.answers);
        std::set<std::string> senders;
        for (const Datagram& answer : answers) {
            const MessageHead head = readHead(answer.text);
            senders.insert(answer.from);
            EXPECT_EQ(urlHost(head.get("LOCATION")), answer.from);
            if (c.st != "ssdp:all") {
                EXPECT_EQ(head.get("ST"), c.st);
            }
            if (c.st.starts_with("uuid:")) {
                EXPECT_EQ(head.get("USN"), c.st);
                // An embedded device is described by its root's document.
                EXPECT_EQ(head.get("LOCATION"), hv1Location);
            } else if (c.st != "ssdp:all") {
                EXPECT_TRUE(head.get("USN").ends_with("::" + c.st)) << head.get("USN");
            }
        }
        EXPECT_EQ(senders, c.senders);
    }
}

TEST(NasSimulator, SearchesThatAreNotAnsweredSayWhy) {
    DS_REQUIRE_PRIVATE_NETNS();
    UdpSocket searcher;
    ASSERT_TRUE(searcher.bindSearcher());
    Sim sim(3, {"--homevault", "1", "--answer-at-once", "--no-initial-alive"});
    ASSERT_TRUE(sim.process.waitReady());

    const std::string host = "HOST: 239.255.255.250:1900\r\n";
    const std::string man = "MAN: \"ssdp:discover\"\r\n";
    struct Case {
        std::string datagram;
        std::string reason;
    };
    const Case cases[] = {
        {"M-SEARCH * HTTP/1.1\r\n" + host + "MX: 1\r\nST: ssdp:all\r\n\r\n",
         "no-man-ssdp-discover"},
        {"M-SEARCH * HTTP/1.1\r\n" + host + "MAN: ssdp:discover\r\nMX: 1\r\nST: ssdp:all\r\n\r\n",
         "no-man-ssdp-discover"},
        {"M-SEARCH * HTTP/1.1\r\n" + host + man + "ST: ssdp:all\r\n\r\n", "no-mx"},
        {"M-SEARCH * HTTP/1.1\r\n" + host + man + "MX: soon\r\nST: ssdp:all\r\n\r\n", "bad-mx"},
        {"M-SEARCH * HTTP/1.1\r\n" + host + man + "MX: -1\r\nST: ssdp:all\r\n\r\n", "bad-mx"},
        {"M-SEARCH * HTTP/1.1\r\n" + host + man + "MX: 1\r\n\r\n", "no-st"},
        {"M-SEARCH /x HTTP/1.1\r\n" + host + man + "MX: 1\r\nST: ssdp:all\r\n\r\n",
         "bad-request-line"},
        {"M-SEARCH * HTTP/1.1\r\nbroken line\r\n\r\n", "bad-header"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.datagram);
        const size_t mark = sim.process.mark();
        const auto answers = answersTo(searcher, sim, c.datagram, 0);
        EXPECT_TRUE(answers.empty());
        EXPECT_TRUE(
            sim.process.waitForLine("search-ignored " + c.reason + " 127.0.0.1:", 2000ms, mark));
    }

    // Header names in any case, and an MX above 5 (taken as 5), are accepted.
    const auto answers = answersTo(
        searcher, sim,
        "M-SEARCH * HTTP/1.1\r\nhost: 239.255.255.250:1900\r\nman: \"ssdp:discover\"\r\nmx: 9\r\n"
        "st: upnp:rootdevice\r\n\r\n",
        1);
    EXPECT_EQ(answers.size(), 1u);
}

TEST(NasSimulator, AnswersAfterARandomDelayWithinMx) {
    DS_REQUIRE_PRIVATE_NETNS();
    UdpSocket searcher;
    ASSERT_TRUE(searcher.bindSearcher());
    Sim sim(4, {"--homevault", "3", "--max-answer-delay-ms", "300", "--no-initial-alive"});
    ASSERT_TRUE(sim.process.waitReady());
    ASSERT_TRUE(searcher.sendToGroup(searchMessage("upnp:rootdevice", "2")));
    EXPECT_EQ(searcher.receive(sim.prefix, 3, kCollect).size(), 3u);
    // Each device reports its own delay, within the bound.
    for (int device = 1; device <= 3; ++device) {
        const auto line = sim.process.waitForLine("search " + std::to_string(device) + " ");
        ASSERT_TRUE(line);
        const int delay = std::stoi(line->substr(line->rfind(' ') + 1));
        EXPECT_GE(delay, 0);
        EXPECT_LE(delay, 300);
    }
}

TEST(NasSimulator, ServesItsDescriptionInEachFraming) {
    DS_REQUIRE_PRIVATE_NETNS();
    Sim sim(5, {"--homevault", "1", "--others", "1", "--embedded", "2", "--no-initial-alive"});
    ASSERT_TRUE(sim.process.waitReady());
    const std::string udn = sim.deviceLine(1)[2];

    for (const std::string framing : {"length", "chunked", "close"}) {
        SCOPED_TRACE(framing);
        const size_t mark = sim.process.mark();
        sim.process.send("framing all " + framing);
        ASSERT_TRUE(sim.process.waitForLine("ok framing all", SimProcess::kWait, mark));
        const HttpResult result = httpGet(sim.address(1), 80, "/description.xml");
        ASSERT_TRUE(result.complete);
        EXPECT_EQ(result.status, 200);
        EXPECT_EQ(result.framing, framing);
        EXPECT_NE(result.head.get("Content-Type").find("text/xml"), std::string::npos);
        ASSERT_TRUE(wellFormed(result.body)) << result.body;

        tinyxml2::XMLDocument document;
        document.Parse(result.body.data(), result.body.size());
        const auto* root = document.RootElement();
        ASSERT_NE(root, nullptr);
        EXPECT_STREQ(root->Name(), "root");
        EXPECT_STREQ(root->Attribute("xmlns"), "urn:schemas-upnp-org:device-1-0");
        const auto* device = root->FirstChildElement("device");
        ASSERT_NE(device, nullptr);
        EXPECT_EQ(std::string(device->FirstChildElement("UDN")->GetText()), udn);
        EXPECT_STREQ(device->FirstChildElement("modelName")->GetText(), "Homevault");
        EXPECT_STREQ(device->FirstChildElement("friendlyName")->GetText(), "Homevault 1");
        EXPECT_NE(device->FirstChildElement("manufacturer"), nullptr);
        EXPECT_EQ(std::string(device->FirstChildElement("presentationURL")->GetText()),
                  "http://" + sim.address(1) + "/");
        EXPECT_EQ(root->FirstChildElement("URLBase"), nullptr);
        int embedded = 0;
        for (const auto* child =
                 device->FirstChildElement("deviceList")->FirstChildElement("device");
             child; child = child->NextSiblingElement("device")) {
            ++embedded;
            EXPECT_NE(std::string(child->FirstChildElement("UDN")->GetText()), udn);
        }
        EXPECT_EQ(embedded, 2);
        EXPECT_TRUE(
            sim.process.waitForLine("http 1 GET /description.xml 200", SimProcess::kWait, mark));
    }

    // An HTTP/1.0 client cannot take chunks: the body ends with the connection instead.
    sim.process.send("framing 2 chunked");
    ASSERT_TRUE(sim.process.waitForLine("ok framing 2"));
    const HttpResult old = httpGet(sim.address(2), 80, "/description.xml", "HTTP/1.0");
    EXPECT_EQ(old.status, 200);
    EXPECT_EQ(old.framing, "close");
    EXPECT_TRUE(wellFormed(old.body));
    // Other paths are not there.
    EXPECT_EQ(httpGet(sim.address(1), 80, "/nothing.xml").status, 404);
}

TEST(NasSimulator, KeepsAConnectionOpenForAnotherRequest) {
    DS_REQUIRE_PRIVATE_NETNS();
    Sim sim(6,
            {"--homevault", "1", "--framing", "chunked", "--users", "alice", "--no-initial-alive"});
    ASSERT_TRUE(sim.process.waitReady());
    const std::string host = "Host: " + sim.address(1) + "\r\n";
    const auto bytes = exchange(sim.address(1), 80,
                                "GET /description.xml HTTP/1.1\r\n" + host + "\r\n" +
                                    "HEAD /description.xml HTTP/1.1\r\n" + host + "\r\n" +
                                    "GET /index.php/mv_global/get_users HTTP/1.1\r\n" + host +
                                    "Connection: close\r\n\r\n");
    ASSERT_TRUE(bytes);
    const HttpResult first = readResponse(*bytes);
    ASSERT_TRUE(first.complete);
    EXPECT_EQ(first.status, 200);
    EXPECT_FALSE(first.head.has("Connection"));
    EXPECT_TRUE(wellFormed(first.body));
    const HttpResult head = readResponse(first.rest, true);
    EXPECT_EQ(head.status, 200);
    const HttpResult third = readResponse(head.rest);
    ASSERT_TRUE(third.complete);
    EXPECT_EQ(third.status, 200);
    EXPECT_EQ(third.head.get("Connection"), "close");
    EXPECT_NE(third.body.find("alice"), std::string::npos);
    EXPECT_EQ(third.rest, "");
}

TEST(NasSimulator, DescriptionFailsWhenToldTo) {
    DS_REQUIRE_PRIVATE_NETNS();
    Sim sim(7, {"--homevault", "2", "--fail-description", "404", "--no-initial-alive"});
    ASSERT_TRUE(sim.process.waitReady());
    EXPECT_EQ(httpGet(sim.address(1), 80, "/description.xml").status, 404);

    sim.process.send("fail 2 malformed");
    ASSERT_TRUE(sim.process.waitForLine("ok fail 2"));
    const HttpResult malformed = httpGet(sim.address(2), 80, "/description.xml");
    EXPECT_EQ(malformed.status, 200);
    EXPECT_FALSE(malformed.body.empty());
    EXPECT_FALSE(wellFormed(malformed.body));

    // Held: read, logged, never answered; the connection stays open.
    sim.process.send("fail 1 hang");
    ASSERT_TRUE(sim.process.waitForLine("ok fail 1"));
    EXPECT_FALSE(nassim_test::exchange(sim.address(1), 80,
                                       "GET /description.xml HTTP/1.1\r\nHost: x\r\n\r\n",
                                       std::chrono::milliseconds(500))
                     .has_value());
    EXPECT_TRUE(sim.process.waitForLine("http 1 GET /description.xml hang"));

    sim.process.send("fail all none");
    ASSERT_TRUE(sim.process.waitForLine("ok fail all"));
    EXPECT_TRUE(wellFormed(httpGet(sim.address(1), 80, "/description.xml").body));
    EXPECT_TRUE(wellFormed(httpGet(sim.address(2), 80, "/description.xml").body));
}

TEST(NasSimulator, ListsItsUsersInOrder) {
    DS_REQUIRE_PRIVATE_NETNS();
    Sim sim(8, {"--homevault", "1", "--others", "1", "--users", "carol,alice,bob",
                "--no-initial-alive"});
    ASSERT_TRUE(sim.process.waitReady());
    const HttpResult result = httpGet(sim.address(1), 80, "/index.php/mv_global/get_users");
    EXPECT_EQ(result.status, 200);
    tinyxml2::XMLDocument document;
    ASSERT_EQ(document.Parse(result.body.data(), result.body.size()), tinyxml2::XML_SUCCESS);
    std::vector<std::string> names;
    for (const auto* user = document.RootElement()->FirstChildElement(); user;
         user = user->NextSiblingElement())
        names.emplace_back(user->Attribute("username"));
    EXPECT_EQ(names, (std::vector<std::string>{"carol", "alice", "bob"}));
    EXPECT_TRUE(sim.process.waitForLine("http 1 GET /index.php/mv_global/get_users 200"));
    // Only a Homevault has the web application.
    EXPECT_EQ(httpGet(sim.address(2), 80, "/index.php/mv_global/get_users").status, 404);
}

TEST(NasSimulator, ChecksPasswordsAndHandsOutASignedInAddress) {
    DS_REQUIRE_PRIVATE_NETNS();
    Sim sim(9, {"--homevault", "1", "--users", "alice,bob,eve", "--password",
                "alice=secret,bob=p@ss word", "--no-initial-alive"});
    ASSERT_TRUE(sim.process.waitReady());
    const std::string path = "/index.php/mv_login/validate_user";
    const std::string signedIn = "http://" + sim.address(1) + "/hearthlink/";

    struct Case {
        std::string body;
        int status;
        std::string outcome;
    };
    const Case cases[] = {
        {"username=alice&password=secret&retToken=1", 200, "accepted"},
        {"username=bob&password=p%40ss+word&retToken=1", 200, "accepted"},
        {"username=eve&password=&retToken=1", 200, "accepted"},  // no password configured
        {"username=alice&password=Secret&retToken=1", 403, "wrong-password"},
        {"username=mallory&password=secret&retToken=1", 403, "unknown-user"},
        {"username=alice&retToken=1", 403, "missing-field"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        const size_t mark = sim.process.mark();
        const HttpResult result = httpPostForm(sim.address(1), path, c.body);
        EXPECT_EQ(result.status, c.status);
        if (c.status == 200) {
            EXPECT_TRUE(
                std::regex_match(result.body, std::regex(signedIn + "\\?token=[0-9a-f]{32}")))
                << result.body;
        } else {
            EXPECT_FALSE(result.body.starts_with("http://")) << result.body;
        }
        EXPECT_TRUE(sim.process.waitFor(
            [&](const std::string& line) {
                return line.starts_with("http 1 POST " + path + " " + std::to_string(c.status)) &&
                       line.ends_with(" " + c.outcome);
            },
            SimProcess::kWait, mark));
    }
    // A client that waits for "100 Continue" before its body gets it.
    {
        const std::string body = "username=alice&password=secret&retToken=1";
        const auto bytes = exchange(sim.address(1), 80,
                                    "POST " + path +
                                        " HTTP/1.1\r\nHost: x\r\nExpect: 100-continue\r\n"
                                        "Connection: close\r\nContent-Length: " +
                                        std::to_string(body.size()) + "\r\n\r\n",
                                    5000ms, body);
        ASSERT_TRUE(bytes);
        ASSERT_TRUE(bytes->starts_with("HTTP/1.1 100 Continue\r\n\r\n")) << *bytes;
        const HttpResult result = readResponse(bytes->substr(25));
        EXPECT_EQ(result.status, 200);
        EXPECT_TRUE(result.body.starts_with(signedIn + "?token="));
    }
    // Without retToken the address carries no token.
    EXPECT_EQ(httpPostForm(sim.address(1), path, "username=alice&password=secret").body, signedIn);
    // Only POST signs in.
    EXPECT_EQ(httpGet(sim.address(1), 80, path).status, 405);
    // A POST without a length is refused rather than waited for.
    const auto noLength =
        exchange(sim.address(1), 80, "POST " + path + " HTTP/1.1\r\nHost: x\r\n\r\nusername=alice");
    ASSERT_TRUE(noLength);
    EXPECT_EQ(readResponse(*noLength).status, 411);
}

TEST(NasSimulator, WrongPasswordCanBeAPlainTextAnswer) {
    DS_REQUIRE_PRIVATE_NETNS();
    Sim sim(10, {"--homevault", "1", "--users", "alice", "--password", "alice=secret",
                 "--login-failure", "text", "--no-initial-alive"});
    ASSERT_TRUE(sim.process.waitReady());
    const HttpResult result = httpPostForm(sim.address(1), "/index.php/mv_login/validate_user",
                                           "username=alice&password=nope&retToken=1");
    EXPECT_EQ(result.status, 200);
    EXPECT_FALSE(result.body.empty());
    EXPECT_FALSE(lowerCase(result.body).starts_with("http://"));
}

// Announcements received on the SSDP group from the simulator's devices until `count` arrived.
std::vector<MessageHead> notifications(UdpSocket& listener, Sim& sim, size_t count) {
    std::vector<MessageHead> heads;
    for (const Datagram& datagram : listener.receive(sim.prefix, count, kCollect)) {
        MessageHead head = readHead(datagram.text);
        EXPECT_EQ(head.startLine, "NOTIFY * HTTP/1.1");
        EXPECT_EQ(head.get("HOST"), "239.255.255.250:1900");
        if (head.has("LOCATION")) {
            EXPECT_EQ(urlHost(head.get("LOCATION")), datagram.from);
        }
        heads.push_back(std::move(head));
    }
    return heads;
}

TEST(NasSimulator, AnnouncesItselfAtStartAndSaysGoodbyeOnQuit) {
    DS_REQUIRE_PRIVATE_NETNS();
    UdpSocket listener;
    ASSERT_TRUE(listener.bindGroupListener());
    Sim sim(11, {"--homevault", "1", "--embedded", "1", "--lifetime", "900"});
    ASSERT_TRUE(sim.process.waitReady());
    const std::string udn = sim.deviceLine(1)[2];
    const std::string location = sim.deviceLine(1)[5];

    // Root (rootdevice, UDN, type), the embedded device (UDN, type), one per service type of
    // each device (two on the root, one on the embedded device).
    const auto alive = notifications(listener, sim, 8);
    ASSERT_EQ(alive.size(), 8u);
    std::set<std::string> nts;
    for (const MessageHead& head : alive) {
        nts.insert(head.get("NT"));
        EXPECT_EQ(head.get("NTS"), "ssdp:alive");
        EXPECT_EQ(head.get("CACHE-CONTROL"), "max-age=900");
        EXPECT_EQ(head.get("LOCATION"), location);
        EXPECT_NE(head.get("SERVER").find("UPnP/1.0"), std::string::npos);
        const std::string usn = head.get("USN");
        EXPECT_TRUE(usn == head.get("NT") || usn.ends_with("::" + head.get("NT"))) << usn;
    }
    EXPECT_EQ(alive[0].get("NT"), "upnp:rootdevice");
    EXPECT_EQ(alive[0].get("USN"), udn + "::upnp:rootdevice");
    EXPECT_TRUE(nts.count(udn));
    EXPECT_TRUE(nts.count("urn:schemas-upnp-org:device:MediaServer:1"));
    EXPECT_TRUE(nts.count("urn:schemas-upnp-org:device:Basic:1"));
    EXPECT_TRUE(nts.count("urn:schemas-upnp-org:service:ContentDirectory:1"));
    EXPECT_TRUE(sim.process.waitForLine("notify 1 alive 8"));

    sim.process.send("quit");
    const auto byebye = notifications(listener, sim, 8);
    ASSERT_EQ(byebye.size(), 8u);
    for (const MessageHead& head : byebye) {
        EXPECT_EQ(head.get("NTS"), "ssdp:byebye");
        EXPECT_FALSE(head.has("LOCATION"));
        EXPECT_FALSE(head.has("CACHE-CONTROL"));
        EXPECT_TRUE(head.has("USN"));
    }
    EXPECT_EQ(byebye[0].get("USN"), udn + "::upnp:rootdevice");
    EXPECT_TRUE(sim.process.waitForLine("exit quit"));
    EXPECT_EQ(sim.process.waitExit(5000ms), 0);
}

TEST(NasSimulator, CommandsChangeWhatADeviceSays) {
    DS_REQUIRE_PRIVATE_NETNS();
    UdpSocket listener;
    ASSERT_TRUE(listener.bindGroupListener());
    UdpSocket searcher;
    ASSERT_TRUE(searcher.bindSearcher());
    Sim sim(12, {"--homevault", "2", "--answer-at-once", "--no-initial-alive"});
    ASSERT_TRUE(sim.process.waitReady());
    const std::string a1 = sim.address(1);
    const size_t perDevice = 5;  // rootdevice, UDN, type, two service types

    // A new description path, announced at once; the old one is gone.
    sim.process.send("relocate 1");
    auto heads = notifications(listener, sim, perDevice);
    ASSERT_EQ(heads.size(), perDevice);
    EXPECT_EQ(heads[0].get("LOCATION"), "http://" + a1 + "/description-2.xml");
    EXPECT_EQ(httpGet(a1, 80, "/description-2.xml").status, 200);
    EXPECT_EQ(httpGet(a1, 80, "/description.xml").status, 404);

    // A new port too.
    sim.process.send("relocate 1 8080");
    heads = notifications(listener, sim, perDevice);
    ASSERT_EQ(heads.size(), perDevice);
    EXPECT_EQ(heads[0].get("LOCATION"), "http://" + a1 + ":8080/description-3.xml");
    EXPECT_EQ(httpGet(a1, 8080, "/description-3.xml").status, 200);
    // The web application's address follows the device.
    EXPECT_TRUE(wellFormed(httpGet(a1, 8080, "/description-3.xml").body));

    // A lifetime of 0, then an explicit announcement and an update.
    sim.process.send("lifetime 1 0");
    sim.process.send("alive 1");
    heads = notifications(listener, sim, perDevice);
    ASSERT_EQ(heads.size(), perDevice);
    EXPECT_EQ(heads[0].get("CACHE-CONTROL"), "max-age=0");
    sim.process.send("update 1");
    heads = notifications(listener, sim, perDevice);
    ASSERT_EQ(heads.size(), perDevice);
    EXPECT_EQ(heads[0].get("NTS"), "ssdp:update");
    EXPECT_TRUE(heads[0].has("LOCATION"));

    // Silenced: no answers and no goodbye. Device 2 answers as before.
    size_t mark = sim.process.mark();
    sim.process.send("silence 1");
    ASSERT_TRUE(sim.process.waitForLine("ok silence 1", SimProcess::kWait, mark));
    auto answers = answersTo(searcher, sim, searchMessage("upnp:rootdevice"), 1);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].from, sim.address(2));
    EXPECT_TRUE(listener.receive(sim.prefix, 1, 100ms).empty());

    // Back, then gone with a goodbye: answers stop again.
    sim.process.send("alive 1");
    EXPECT_EQ(notifications(listener, sim, perDevice).size(), perDevice);
    EXPECT_EQ(answersTo(searcher, sim, searchMessage("upnp:rootdevice"), 2).size(), 2u);
    sim.process.send("byebye 1");
    heads = notifications(listener, sim, perDevice);
    ASSERT_EQ(heads.size(), perDevice);
    EXPECT_EQ(heads[0].get("NTS"), "ssdp:byebye");
    answers = answersTo(searcher, sim, searchMessage("upnp:rootdevice"), 1);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].from, sim.address(2));

    // Mistakes are reported, not acted on.
    mark = sim.process.mark();
    for (const std::string bad :
         {"alive 3", "lifetime 1", "fail 1 maybe", "relocate 1 0", "jump 1"})
        sim.process.send(bad);
    sim.process.send("silence 2");
    ASSERT_TRUE(sim.process.waitForLine("ok silence 2", SimProcess::kWait, mark));
    const auto lines = sim.process.lines();
    EXPECT_EQ(std::count_if(lines.begin() + static_cast<long>(mark), lines.end(),
                            [](const std::string& line) { return line.starts_with("error "); }),
              5);

    // Neither device is present any more, so quit sends no goodbye.
    sim.process.send("quit");
    EXPECT_TRUE(sim.process.waitForLine("exit quit"));
    EXPECT_TRUE(listener.receive(sim.prefix, 1, 200ms).empty());
}

TEST(NasSimulator, EndsByItselfAfterItsDuration) {
    DS_REQUIRE_PRIVATE_NETNS();
    UdpSocket listener;
    ASSERT_TRUE(listener.bindGroupListener());
    SimProcess process({"--base-address", "127.77.13.1", "--duration", "1", "--homevault", "1"});
    ASSERT_TRUE(process.waitReady());
    EXPECT_TRUE(process.waitForLine("exit duration"));
    EXPECT_EQ(process.waitExit(5000ms), 0);
    bool sawGoodbye = false;
    // Five announcements at start, five goodbyes at the end.
    for (const Datagram& datagram : listener.receive("127.77.13.", 10, 2000ms))
        sawGoodbye = sawGoodbye || readHead(datagram.text).get("NTS") == "ssdp:byebye";
    EXPECT_TRUE(sawGoodbye);
}

TEST(NasSimulator, SaysGoodbyeWhenTerminated) {
    DS_REQUIRE_PRIVATE_NETNS();
    UdpSocket listener;
    ASSERT_TRUE(listener.bindGroupListener());
    Sim sim(14, {"--homevault", "1", "--no-initial-alive"});
    ASSERT_TRUE(sim.process.waitReady());
    sim.process.terminate();
    EXPECT_TRUE(sim.process.waitForLine("exit signal"));
    EXPECT_EQ(sim.process.waitExit(5000ms), 0);
    const auto goodbyes = listener.receive(sim.prefix, 5, kCollect);
    ASSERT_EQ(goodbyes.size(), 5u);
    for (const Datagram& datagram : goodbyes)
        EXPECT_EQ(readHead(datagram.text).get("NTS"), "ssdp:byebye");
}

TEST(NasSimulator, RefusesToStartOutsideLoopbackOrWithBadOptions) {
    DS_REQUIRE_PRIVATE_NETNS();
    const std::vector<std::vector<std::string>> cases = {
        {"--base-address", "10.0.0.1"},
        {"--base-address", "239.255.255.250"},
        {"--base-address", "127.255.255.254", "--homevault", "2"},  // the second leaves 127/8
        {"--base-address", "127.0.0"},
        {"--homevault", "0"},
        {"--homevault", "1", "--framing", "gzip"},
        {"--homevault", "1", "--duration", "0"},
        {"--users", "al ice"},
        {"--password", "alice"},
        {"--wat"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args[0] + " " + (args.size() > 1 ? args[1] : ""));
        SimProcess process(args);
        ASSERT_TRUE(process.started());
        EXPECT_EQ(process.waitExit(5000ms), 2);
        EXPECT_TRUE(process.lines().empty());  // never "ready"
    }
}

TEST(NasSimulator, FiveHundredDevicesAnswerOneSearchAtOnce) {
    DS_REQUIRE_PRIVATE_NETNS();
    UdpSocket searcher;
    ASSERT_TRUE(searcher.bindSearcher());
    // 127.78.0.1 to 127.78.1.244: a range no other test uses.
    SimProcess sim({"--base-address", "127.78.0.1", "--homevault", "500", "--answer-at-once",
                    "--no-initial-alive", "--duration", "60"});
    ASSERT_TRUE(sim.waitForLine("ready", 60000ms));
    ASSERT_TRUE(searcher.sendToGroup(searchMessage("upnp:rootdevice")));
    const auto answers = searcher.receive("127.78.", 500, 10000ms);
    ASSERT_EQ(answers.size(), 500u);
    std::set<std::string> senders;
    for (const Datagram& answer : answers) {
        EXPECT_EQ(urlHost(readHead(answer.text).get("LOCATION")), answer.from);
        senders.insert(answer.from);
    }
    EXPECT_EQ(senders.size(), 500u);
}

}  // namespace
}  // namespace nassim_test
