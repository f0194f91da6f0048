#include "upnp/ssdp_client.h"

#include <gtest/gtest.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "chain_test_support.h"
#include "platform/trace.h"
#include "socket_test_support.h"
#include "ssdp_test_support.h"
#include "support/netns.h"
#include "upnp/ssdp_protocol.h"

namespace upnp {
namespace {

using test::Fd;
using test::ipv4;
using test::runInFreshNetwork;
using test::runUntil;
using test::sendDatagram;
using test::udpPeer;
using test::Watchdog;

struct Reported {
    std::optional<std::string> uniqueDeviceName;
    bool alive = false;
    std::optional<std::string> descriptionUrl;
    int lifetimeSeconds = 0;
    SsdpOrigin origin = FromSearchResponse;

    bool operator==(const Reported&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Reported& r) {
    return out << "{udn=" << r.uniqueDeviceName.value_or("<none>") << " alive=" << r.alive
               << " url=" << r.descriptionUrl.value_or("<none>")
               << " lifetime=" << r.lifetimeSeconds << " origin=" << r.origin << "}";
}

std::optional<std::string> copy(std::optional<std::string_view> text) {
    return text ? std::optional<std::string>(std::string(*text)) : std::nullopt;
}

constexpr const char* kDevice = "127.9.0.20";
constexpr const char* kOther = "127.9.0.21";
constexpr const char* kZeroSource = "0.0.0.0";
const std::string kUrl = "http://127.9.0.20:50000/desc.xml";

// Lines of a message head; an empty optional leaves the header out.
std::string head(const std::string& startLine,
                 const std::vector<std::pair<std::string, std::optional<std::string>>>& headers) {
    std::string text = startLine + "\r\n";
    for (const auto& [name, value] : headers) {
        if (value)
            text += name + ": " + *value + "\r\n";
    }
    return text + "\r\n";
}

std::string answer(std::optional<std::string> location = kUrl,
                   std::optional<std::string> usn = "uuid:1234-5678::upnp:rootdevice",
                   std::optional<std::string> cacheControl = "max-age=1800",
                   const std::string& status = "200 OK") {
    return head("HTTP/1.1 " + status, {{"CACHE-CONTROL", cacheControl},
                                       {"LOCATION", location},
                                       {"ST", "upnp:rootdevice"},
                                       {"USN", usn}});
}

std::string notify(std::optional<std::string> nt, std::optional<std::string> nts,
                   std::optional<std::string> location = kUrl,
                   std::optional<std::string> usn = "uuid:1234-5678::upnp:rootdevice") {
    return head("NOTIFY * HTTP/1.1", {{"HOST", "239.255.255.250:1900"},
                                      {"CACHE-CONTROL", "max-age=1800"},
                                      {"LOCATION", location},
                                      {"NT", nt},
                                      {"NTS", nts},
                                      {"USN", usn}});
}

Reported fromAnswer(std::optional<std::string> udn = "1234-5678", int lifetime = 1800) {
    return {udn, true, kUrl, lifetime, FromSearchResponse};
}
Reported fromNotify(bool alive, std::optional<std::string> url = kUrl) {
    return {"1234-5678", alive, url, 1800, FromNotify};
}

struct DatagramCase {
    const char* name;
    const char* sender;
    std::string datagram;
    std::optional<Reported> expected;  // none: dropped
};

std::vector<DatagramCase> datagramCases() {
    return {
        {"answer from the host of its LOCATION", kDevice, answer(), fromAnswer()},
        {"answer from another host", kOther, answer(), std::nullopt},
        {"answer other than 200", kDevice, answer(kUrl, "uuid:1", "max-age=1", "404 Not Found"),
         std::nullopt},
        {"answer without LOCATION", kDevice, answer(std::nullopt), std::nullopt},
        {"LOCATION naming a host name", kDevice, answer("http://nas.local:50000/desc.xml"),
         std::nullopt},
        {"LOCATION naming the host as one number", kDevice, answer("http://2131296276/desc.xml"),
         std::nullopt},
        {"USN without ::", kDevice, answer(kUrl, "uuid:abcd-ef"), fromAnswer("abcd-ef")},
        {"USN shorter than uuid:", kDevice, answer(kUrl, "uuid"), fromAnswer(std::nullopt)},
        {"no USN", kDevice, answer(kUrl, std::nullopt), fromAnswer(std::nullopt)},
        {"max-age after another directive", kDevice,
         answer(kUrl, "uuid:1234-5678", "no-cache, max-age = 1800"), fromAnswer()},
        {"max-age in capitals", kDevice, answer(kUrl, "uuid:1234-5678", "MAX-AGE=60"),
         fromAnswer("1234-5678", 60)},
        {"max-age not a number", kDevice, answer(kUrl, "uuid:1234-5678", "max-age=soon"),
         fromAnswer("1234-5678", 0)},
        {"no max-age", kDevice, answer(kUrl, "uuid:1234-5678", "no-cache"),
         fromAnswer("1234-5678", 0)},
        {"no CACHE-CONTROL", kDevice, answer(kUrl, "uuid:1234-5678", std::nullopt),
         fromAnswer("1234-5678", 0)},
        {"max-age beyond int", kDevice, answer(kUrl, "uuid:1234-5678", "max-age=99999999999"),
         fromAnswer("1234-5678", ssdp::kMaxLifetimeSeconds)},
        {"max-age beyond a day", kDevice, answer(kUrl, "uuid:1234-5678", "max-age=86401"),
         fromAnswer("1234-5678", ssdp::kMaxLifetimeSeconds)},
        {"a second CACHE-CONTROL without max-age", kDevice,
         head("HTTP/1.1 200 OK", {{"CACHE-CONTROL", "max-age=1800"},
                                  {"LOCATION", kUrl},
                                  {"CACHE-CONTROL", "no-cache"},
                                  {"USN", "uuid:1234-5678"}}),
         fromAnswer()},
        {"a second CACHE-CONTROL with another max-age", kDevice,
         head("HTTP/1.1 200 OK", {{"CACHE-CONTROL", "max-age=1800"},
                                  {"LOCATION", kUrl},
                                  {"CACHE-CONTROL", "max-age=5"},
                                  {"USN", "uuid:1234-5678"}}),
         fromAnswer()},
        {"header names in lower case", kDevice,
         head("HTTP/1.1 200 OK",
              {{"location", kUrl}, {"usn", "uuid:1234-5678"}, {"cache-control", "max-age=1800"}}),
         fromAnswer()},
        {"alive root device", kDevice, notify("upnp:rootdevice", "ssdp:alive"), fromNotify(true)},
        {"alive root device in capitals", kDevice, notify("UPNP:ROOTDEVICE", "SSDP:ALIVE"),
         fromNotify(true)},
        {"alive device type", kDevice, notify("urn:schemas-upnp-org:device:Basic:1", "ssdp:alive"),
         std::nullopt},
        {"alive from another host", kOther, notify("upnp:rootdevice", "ssdp:alive"), std::nullopt},
        {"alive without LOCATION", kDevice, notify("upnp:rootdevice", "ssdp:alive", std::nullopt),
         std::nullopt},
        {"byebye without LOCATION", kDevice, notify("upnp:rootdevice", "ssdp:byebye", std::nullopt),
         fromNotify(false, std::nullopt)},
        {"byebye of a device type from another host", kOther,
         notify("urn:schemas-upnp-org:device:Basic:1", "ssdp:byebye"), fromNotify(false)},
        {"update", kDevice, notify("upnp:rootdevice", "ssdp:update"), fromNotify(false)},
        {"NOTIFY without NTS", kDevice, notify("upnp:rootdevice", std::nullopt), fromNotify(false)},
        {"search of another control point", kDevice,
         head("M-SEARCH * HTTP/1.1", {{"HOST", "239.255.255.250:1900"},
                                      {"MAN", "\"ssdp:discover\""},
                                      {"ST", "upnp:rootdevice"},
                                      {"LOCATION", kUrl}}),
         std::nullopt},
        {"not HTTP", kDevice, "hello", std::nullopt},
        // Linux hands broadcasts from 0.0.0.0 to the port-1900 listener: such a sender names
        // nobody, whatever the LOCATION says.
        {"alive from 0.0.0.0", kZeroSource,
         notify("upnp:rootdevice", "ssdp:alive", "http://0.0.0.0:50000/desc.xml"), std::nullopt},
        {"byebye from 0.0.0.0", kZeroSource, notify("upnp:rootdevice", "ssdp:byebye"),
         std::nullopt},
        {"start line only, no end of head", kDevice, "HTTP/1.1 200 OK", std::nullopt},
    };
}

std::vector<Reported> readDatagram(const SsdpSearchTarget& target, const std::string& datagram,
                                   uint32_t sender) {
    std::vector<Reported> reported;
    handleSsdpDatagram(target, datagram, sender, [&](const SsdpResult& r) {
        reported.push_back({copy(r.uniqueDeviceName), r.alive, copy(r.descriptionUrl),
                            r.lifetimeSeconds, r.origin});
    });
    return reported;
}

TEST(SsdpDatagram, HeaderRulesAndSenderCheck) {
    const auto target = SsdpSearchTarget::from(ssdp::kRootDeviceTarget);
    for (const DatagramCase& c : datagramCases()) {
        SCOPED_TRACE(c.name);
        const std::vector<Reported> got = readDatagram(target, c.datagram, ipv4(c.sender));
        if (c.expected) {
            ASSERT_EQ(got.size(), 1u);
            EXPECT_EQ(got[0], *c.expected);
        } else {
            EXPECT_TRUE(got.empty()) << got[0];
        }
    }
}

TEST(SsdpDatagram, SearchTargetSplitsIntoPrefixAndVersion) {
    const auto root = SsdpSearchTarget::from("upnp:rootdevice");
    EXPECT_EQ(root.prefixLength, 5u);
    EXPECT_EQ(root.version, 0);
    const auto basic = SsdpSearchTarget::from("urn:schemas-upnp-org:device:Basic:2");
    EXPECT_EQ(basic.prefixLength, std::string_view("urn:schemas-upnp-org:device:Basic:").size());
    EXPECT_EQ(basic.version, 2);
    const auto bare = SsdpSearchTarget::from("ssdpall");
    EXPECT_EQ(bare.prefixLength, 0u);
    EXPECT_EQ(bare.version, 0);
}

TEST(SsdpDatagram, AnnouncedTypeMatchesFromTheTargetVersionOn) {
    const auto target = SsdpSearchTarget::from("urn:schemas-upnp-org:device:Basic:2");
    const struct {
        const char* nt;
        bool passes;
    } cases[] = {
        {"urn:schemas-upnp-org:device:Basic:1", false},
        {"urn:schemas-upnp-org:device:Basic:2", true},
        {"urn:schemas-upnp-org:device:basic:3", true},
        {"urn:schemas-upnp-org:device:Other:3", false},
        {"upnp:rootdevice", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nt);
        EXPECT_EQ(readDatagram(target, notify(c.nt, "ssdp:alive"), ipv4(kDevice)).size(),
                  c.passes ? 1u : 0u);
    }
}

TEST(SsdpDatagram, LocationMustNameTheSenderInDottedForm) {
    const struct {
        const char* url;
        const char* sender;
        bool matches;
    } cases[] = {
        {"http://192.168.1.20:50000/desc.xml", "192.168.1.20", true},
        {"http://192.168.1.20:50000/desc.xml", "192.168.1.21", false},
        {"http://192.168.1.20/desc.xml", "192.168.1.20", true},
        {"http://255.255.255.255/desc.xml", "255.255.255.255", true},
        {"http://bad/desc.xml", "255.255.255.255", false},
        {"http://0xc0.168.1.20/desc.xml", "192.168.1.20", false},
        {"http:///desc.xml", "0.0.0.0", false},
        {"", "0.0.0.0", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(locationNamesSender(c.url, ipv4(c.sender)), c.matches);
    }
    // A NUL inside the host must not cut it short into the sender's address.
    EXPECT_FALSE(
        locationNamesSender(std::string("http://192.168.1.20\0.9/d", 25), ipv4("192.168.1.20")));
}

// The client on a chain with a manual clock, recording what its sink receives.
struct ClientUnderTest {
    ManualClock clock;
    std::unique_ptr<Chain> chain = createChain(clock);
    std::vector<Reported> reported;
    SsdpClient* client = nullptr;

    ClientUnderTest() {
        client = &createSsdpClient(
            *chain, ssdp::kRootDeviceTarget,
            [this](SsdpClient&, std::optional<std::string_view> udn, bool alive,
                   std::optional<std::string_view> url, int lifetime, SsdpOrigin origin, uint32_t) {
                reported.push_back({copy(udn), alive, copy(url), lifetime, origin});
            });
    }
    ~ClientUnderTest() {
        stopChain(*chain);
        startChain(*chain);  // stopped: runs no pass, destroys every object
    }
    uint16_t searchPort() const { return client->searchSocket()->boundPort(); }
};

// Each case goes over real sockets, from a peer bound to its sender address: answers to the
// search socket, requests to the group on port 1900. A sentinel from the same peer to the same
// socket follows every case, so once the sentinel is reported the case has been read.
TEST(SsdpClientSockets, EachCaseOverRealSockets) {
    DS_REQUIRE_PRIVATE_NETNS();
    runInFreshNetwork([] {
        Watchdog watchdog;
        ClientUnderTest t;
        ASSERT_NE(t.client->multicastListener(), nullptr);
        ASSERT_NE(t.client->searchSocket(), nullptr);
        runOnePass(*t.chain, 0);  // the first search, which joins the group
        std::map<std::string, Fd> peers;
        int sentinel = 0;
        for (const DatagramCase& c : datagramCases()) {
            SCOPED_TRACE(c.name);
            if (c.sender == std::string_view(kZeroSource))
                continue;  // no socket sends from 0.0.0.0: see DatagramFromZeroSource below
            Fd& peer = peers[c.sender];
            if (peer.get() < 0)
                peer = udpPeer(ipv4(c.sender));
            ASSERT_GE(peer.get(), 0);
            const bool isAnswer = c.datagram.rfind("HTTP/", 0) == 0;
            const uint32_t to = isAnswer ? ipv4("127.0.0.1") : ipv4("239.255.255.250");
            const uint16_t port = isAnswer ? t.searchPort() : ssdp::kPort;
            const std::string name = "sentinel-" + std::to_string(++sentinel);
            const std::string url = std::string("http://") + c.sender + "/s.xml";
            const std::string mark =
                isAnswer ? answer(url, "uuid:" + name)
                         : notify("upnp:rootdevice", "ssdp:alive", url, "uuid:" + name);
            t.reported.clear();
            ASSERT_TRUE(sendDatagram(peer.get(), c.datagram, to, port));
            ASSERT_TRUE(sendDatagram(peer.get(), mark, to, port));
            ASSERT_TRUE(runUntil(*t.chain, [&] {
                return !t.reported.empty() && t.reported.back().uniqueDeviceName == name;
            }));
            t.reported.pop_back();
            if (c.expected) {
                ASSERT_EQ(t.reported.size(), 1u);
                EXPECT_EQ(t.reported[0], *c.expected);
            } else {
                EXPECT_TRUE(t.reported.empty()) << t.reported[0];
            }
        }
    });
}

// Sends `payload` as a UDP datagram from 0.0.0.0:1900 to 255.255.255.255:1900 through a packet
// socket on lo, the way a host without an address broadcasts. False when the system does not
// allow it.
bool broadcastFromZeroSource(const std::string& payload) {
    Fd fd(::socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, htons(ETH_P_IP)));
    if (fd.get() < 0)
        return false;
    std::string frame(14, '\0');  // lo's Ethernet header: both addresses 0, type IPv4
    frame[12] = 0x08;
    const size_t ipLength = 20 + 8 + payload.size();
    unsigned char ip[20] = {0x45,
                            0,
                            static_cast<unsigned char>(ipLength >> 8),
                            static_cast<unsigned char>(ipLength & 0xff),
                            0,
                            0,
                            0x40,
                            0,
                            64,
                            IPPROTO_UDP,
                            0,
                            0,
                            0,
                            0,
                            0,
                            0,
                            255,
                            255,
                            255,
                            255};
    uint32_t sum = 0;
    for (size_t i = 0; i < sizeof ip; i += 2)
        sum += static_cast<uint32_t>(ip[i] << 8 | ip[i + 1]);
    while (sum >> 16)
        sum = (sum & 0xffff) + (sum >> 16);
    ip[10] = static_cast<unsigned char>(~sum >> 8);
    ip[11] = static_cast<unsigned char>(~sum & 0xff);
    frame.append(reinterpret_cast<const char*>(ip), sizeof ip);
    const size_t udpLength = 8 + payload.size();
    const unsigned char udp[8] = {0x07,
                                  0x6c,
                                  0x07,
                                  0x6c,
                                  static_cast<unsigned char>(udpLength >> 8),
                                  static_cast<unsigned char>(udpLength & 0xff),
                                  0,
                                  0};
    frame.append(reinterpret_cast<const char*>(udp), sizeof udp);
    frame += payload;
    sockaddr_ll target{};
    target.sll_family = AF_PACKET;
    target.sll_protocol = htons(ETH_P_IP);
    target.sll_ifindex = static_cast<int>(::if_nametoindex("lo"));
    target.sll_halen = 6;
    return ::sendto(fd.get(), frame.data(), frame.size(), 0, reinterpret_cast<sockaddr*>(&target),
                    sizeof target) == static_cast<ssize_t>(frame.size());
}

// The listener's previous datagram came from this host's own address; a broadcast from 0.0.0.0
// whose LOCATION names that address must not inherit it (it would make the control point fetch
// from a service that listens on loopback only). It is dropped, with a trace line.
TEST(SsdpClientSockets, DatagramFromZeroSourceIsDroppedNotCreditedToThePreviousSender) {
    DS_REQUIRE_PRIVATE_NETNS();
    runInFreshNetwork([] {
        Watchdog watchdog;
        platform::TraceCapture trace;
        ClientUnderTest t;
        runOnePass(*t.chain, 0);  // joins the group
        Fd own = udpPeer(ipv4("127.0.0.1"));
        const auto sentinel = [&](const std::string& name) {
            ASSERT_TRUE(sendDatagram(
                own.get(),
                notify("upnp:rootdevice", "ssdp:alive", "http://127.0.0.1/s.xml", "uuid:" + name),
                ipv4("239.255.255.250"), ssdp::kPort));
            ASSERT_TRUE(runUntil(*t.chain, [&] {
                return !t.reported.empty() && t.reported.back().uniqueDeviceName == name;
            }));
        };
        sentinel("sentinel-1");  // the listener's last sender is now 127.0.0.1
        t.reported.clear();
        const std::string intruder =
            notify("upnp:rootdevice", "ssdp:alive", "http://127.0.0.1:9/private/admin?x=1",
                   "uuid:intruder::upnp:rootdevice");
        if (!broadcastFromZeroSource(intruder))
            std::_Exit(test::kSkipExitCode);
        ASSERT_TRUE(runUntil(*t.chain, [&] {
            const auto lines = trace.lines();
            return !t.reported.empty() ||
                   std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
                       return line.find("from 0.0.0.0") != std::string::npos;
                   });
        }));
        sentinel("sentinel-2");
        ASSERT_EQ(t.reported.size(), 1u) << t.reported[0];
        EXPECT_TRUE(trace.contains(">>>AsyncUdpSocket: datagram of " +
                                   std::to_string(intruder.size()) +
                                   " bytes from 0.0.0.0 or an unreadable sender dropped"));
    });
}

// Reads the searches arriving at the group on port 1900, with their source addresses.
struct SearchListener {
    Fd fd{::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)};

    explicit SearchListener(const std::vector<uint32_t>& interfaces) {
        const int on = 1;
        ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(ssdp::kPort);
        EXPECT_EQ(::bind(fd.get(), reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
        for (uint32_t address : interfaces) {
            ip_mreq request{};
            request.imr_multiaddr.s_addr = ipv4("239.255.255.250");
            request.imr_interface.s_addr = address;
            EXPECT_EQ(
                ::setsockopt(fd.get(), IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request), 0);
        }
    }
    // Source address → the datagrams from it.
    std::map<uint32_t, std::vector<std::string>> drain() {
        std::map<uint32_t, std::vector<std::string>> got;
        char buffer[2048];
        for (;;) {
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t n = ::recvfrom(fd.get(), buffer, sizeof buffer, 0,
                                         reinterpret_cast<sockaddr*>(&from), &length);
            if (n < 0)
                return got;
            got[from.sin_addr.s_addr].emplace_back(buffer, static_cast<size_t>(n));
        }
    }
};

const std::string kSearchMessage =
    "M-SEARCH * HTTP/1.1\r\nMX: 3\r\nST: upnp:rootdevice\r\nHOST: 239.255.255.250:1900\r\n"
    "MAN: \"ssdp:discover\"\r\n\r\n";

// Two interfaces and the loopback: the first pass sends exactly the search message three times,
// each from its own interface's address; later passes send nothing more.
TEST(SsdpClientSockets, FirstPassSearchesOnceOnEveryAddress) {
    DS_REQUIRE_PRIVATE_NETNS();
    runInFreshNetwork([] {
        Watchdog watchdog;
        if (std::system("ip link add dsssdp0 type veth peer name dsssdp1") != 0)
            std::_Exit(test::kSkipExitCode);
        ASSERT_EQ(std::system("ip addr add 10.77.0.1/24 dev dsssdp0 && "
                              "ip addr add 10.77.1.1/24 dev dsssdp1 && "
                              "ip link set dsssdp0 up multicast on && "
                              "ip link set dsssdp1 up multicast on"),
                  0);
        const std::vector<uint32_t> addresses = {ipv4("10.77.0.1"), ipv4("10.77.1.1"),
                                                 ipv4("127.0.0.1")};
        SearchListener listener(addresses);
        ClientUnderTest t;
        const uint16_t port = t.searchPort();
        EXPECT_GE(port, ssdp::kSearchPortLowest);
        EXPECT_LT(port, ssdp::kSearchPortHighest);
        unsigned char ttl = 0;
        socklen_t length = sizeof ttl;
        ::getsockopt(t.client->searchSocket()->handle(), IPPROTO_IP, IP_MULTICAST_TTL, &ttl,
                     &length);
        EXPECT_EQ(ttl, 4);

        runOnePass(*t.chain, 0);
        std::vector<uint32_t> sorted = t.client->addressList();
        std::sort(sorted.begin(), sorted.end());
        std::vector<uint32_t> expected = addresses;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(sorted, expected);
        EXPECT_EQ(t.client->addressList().back(), ipv4("127.0.0.1"));

        std::map<uint32_t, std::vector<std::string>> searches;
        ASSERT_TRUE(runUntil(*t.chain, [&] {
            for (auto& [from, datagrams] : listener.drain())
                for (auto& d : datagrams)
                    searches[from].push_back(d);
            return searches.size() == 3;
        }));
        for (uint32_t address : addresses) {
            SCOPED_TRACE(address);
            ASSERT_TRUE(searches.count(address));
            for (const std::string& d : searches[address])
                EXPECT_EQ(d, kSearchMessage);
        }
        const size_t before = listener.drain().size();
        test::runPasses(*t.chain, 5);
        EXPECT_EQ(before + listener.drain().size(), 0u);
    });
}

// Another program holds port 1900 without address reuse: no listener, a trace line, and answers
// to the search still arrive on the search socket.
TEST(SsdpClientSockets, GoesOnWithoutTheListenerWhenPort1900IsHeld) {
    DS_REQUIRE_PRIVATE_NETNS();
    runInFreshNetwork([] {
        Watchdog watchdog;
        Fd holder(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(ssdp::kPort);
        ASSERT_EQ(::bind(holder.get(), reinterpret_cast<sockaddr*>(&local), sizeof local), 0);

        platform::TraceCapture trace;
        ClientUnderTest t;
        EXPECT_EQ(t.client->multicastListener(), nullptr);
        ASSERT_NE(t.client->searchSocket(), nullptr);
        EXPECT_TRUE(trace.contains(
            ">>>SsdpClient::createSsdpClient: cannot listen on UDP port 1900; going on with "
            "answers to the search only"));

        ip_mreq request{};
        request.imr_multiaddr.s_addr = ipv4("239.255.255.250");
        request.imr_interface.s_addr = ipv4("127.0.0.1");
        ASSERT_EQ(
            ::setsockopt(holder.get(), IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request), 0);
        runOnePass(*t.chain, 0);
        char buffer[512];
        const ssize_t n = ::recv(holder.get(), buffer, sizeof buffer, MSG_DONTWAIT);
        EXPECT_EQ(std::string(buffer, static_cast<size_t>(std::max<ssize_t>(n, 0))),
                  kSearchMessage);

        Fd device = udpPeer(ipv4(kDevice));
        ASSERT_TRUE(sendDatagram(device.get(), answer(), ipv4("127.0.0.1"), t.searchPort()));
        ASSERT_TRUE(runUntil(*t.chain, [&] { return !t.reported.empty(); }));
        EXPECT_EQ(t.reported[0], fromAnswer());
    });
}

// Regression: one search is never repeated, so every answer of a crowd that answers at once
// must be read. 500 devices on their own addresses answer before the client reads anything;
// every one of them is reported.
TEST(SsdpClientSockets, CrowdOf500AnswersAtOnceIsReportedWhole) {
    DS_REQUIRE_PRIVATE_NETNS();
    runInFreshNetwork([] {
        Watchdog watchdog(std::chrono::seconds(60));
        ClientUnderTest t;
        runOnePass(*t.chain, 0);
        constexpr int kDevices = 500;
        std::vector<Fd> devices;
        for (int i = 0; i < kDevices; ++i) {
            const std::string address =
                "127.10." + std::to_string(i / 200) + "." + std::to_string(1 + i % 200);
            devices.push_back(udpPeer(ipv4(address.c_str())));
            ASSERT_GE(devices.back().get(), 0);
            const std::string message =
                answer("http://" + address + ":49152/rootDesc.xml",
                       "uuid:crowd-" + std::to_string(i) + "::upnp:rootdevice");
            ASSERT_TRUE(
                sendDatagram(devices.back().get(), message, ipv4("127.0.0.1"), t.searchPort()));
        }
        std::set<std::string> names;
        runUntil(
            *t.chain,
            [&] {
                for (const Reported& r : t.reported)
                    names.insert(r.uniqueDeviceName.value_or(""));
                t.reported.clear();
                return names.size() == kDevices;
            },
            std::chrono::seconds(20));
        EXPECT_EQ(names.size(), static_cast<size_t>(kDevices));
    });
}

}  // namespace
}  // namespace upnp
