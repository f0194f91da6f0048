// The NAS web API client against a scripted HTTP server on 127.0.0.1 (the port is the client's
// test seam; the NAS itself is always asked on port 80).

#include "app/nas/nas_web_api.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "support/http_fixture.h"
#include "support/netns.h"

namespace nas {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using ds::test::HttpFixture;
using ds::test::HttpReply;

constexpr char kUsersPath[] = "/index.php/mv_global/get_users";
constexpr char kLoginPath[] = "/index.php/mv_login/validate_user";

std::vector<std::string> utf8(const std::vector<LBString>& texts) {
    std::vector<std::string> out;
    for (const LBString& text : texts)
        out.push_back(text.ToUtf8());
    return out;
}

// Decodes one application/x-www-form-urlencoded body into its pairs, as a web application would.
std::vector<std::pair<std::string, std::string>> decodeForm(const std::string& body) {
    auto decode = [](std::string_view text) {
        std::string out;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '+') {
                out.push_back(' ');
            } else if (text[i] == '%' && i + 2 < text.size()) {
                out.push_back(
                    static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16)));
                i += 2;
            } else {
                out.push_back(text[i]);
            }
        }
        return out;
    };
    std::vector<std::pair<std::string, std::string>> pairs;
    std::size_t start = 0;
    while (start <= body.size()) {
        std::size_t end = body.find('&', start);
        if (end == std::string::npos)
            end = body.size();
        std::string_view item(body.data() + start, end - start);
        const std::size_t equals = item.find('=');
        pairs.emplace_back(decode(item.substr(0, equals)),
                           equals == std::string_view::npos ? "" : decode(item.substr(equals + 1)));
        start = end + 1;
    }
    return pairs;
}

class NasWebApiTest : public ::testing::Test {
  protected:
    NasWebApiTest() {
        context.strAddress = LBString::FromUtf8(server.address());
        context.strUserName = u"alice";
        context.strPassword = u"secret1";
        settings.port = server.port();
        for (HttpLimits* limits : {&settings.users, &settings.login}) {
            limits->connect = 2000ms;
            limits->total = 5000ms;
        }
        settings.retryWait = [this](std::chrono::milliseconds wait) { waits.push_back(wait); };
    }

    HttpFixture server;
    NasContext context;
    NasWebApiSettings settings;
    std::vector<std::chrono::milliseconds> waits;
};

// --- get_users

TEST_F(NasWebApiTest, GetUsersAsksForTheUserListWithItsAcceptHeader) {
    server.setDefaultReply(HttpReply::withBody(200, "<users/>"));
    std::vector<LBString> users;
    ASSERT_EQ(GetUsers(context, users, settings), 1);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, kUsersPath);
    EXPECT_EQ(requests[0].header("Accept"),
              "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8");
    EXPECT_EQ(requests[0].header("Host"), server.hostPort());
    EXPECT_EQ(requests[0].header("User-Agent"), "Drive Scout");
}

struct StatusCase {
    int status;
    int usersResult;
    int urlResult;
};

class StatusTest : public NasWebApiTest, public ::testing::WithParamInterface<StatusCase> {};

// get_users takes any 2xx status, validate_user only 200; a 3xx is not followed.
TEST_P(StatusTest, AcceptedStatuses) {
    const StatusCase& c = GetParam();
    server.queueReply(HttpReply::withBody(c.status, "<users><user username=\"bob\"/></users>"));
    server.queueReply(HttpReply::withBody(c.status, "http://nas/hearthlink?token=7"));

    std::vector<LBString> users;
    EXPECT_EQ(GetUsers(context, users, settings), c.usersResult);
    EXPECT_EQ(utf8(users),
              c.usersResult ? std::vector<std::string>{"bob"} : std::vector<std::string>{});

    LBString url;
    EXPECT_EQ(GetWebAppUrl(context, url, settings), c.urlResult);
    EXPECT_EQ(url.ToUtf8(),
              c.status == 200 ? "http://nas/hearthlink?token=7" : "http://" + server.address());
}

INSTANTIATE_TEST_SUITE_P(Statuses, StatusTest,
                         ::testing::Values(StatusCase{200, 1, 1}, StatusCase{201, 1, 0},
                                           StatusCase{203, 1, 0}, StatusCase{299, 1, 0},
                                           StatusCase{301, 0, 0}, StatusCase{404, 0, 0},
                                           StatusCase{500, 0, 0}));

struct UserListCase {
    const char* name;
    std::string body;
    int result;
    std::vector<std::string> users;
};

class UserListTest : public NasWebApiTest, public ::testing::WithParamInterface<UserListCase> {};

TEST_P(UserListTest, NamesInDocumentOrder) {
    const UserListCase& c = GetParam();
    server.setDefaultReply(HttpReply::withBody(200, c.body));
    // The list is appended to, and left as it was when the answer is refused.
    std::vector<LBString> users{u"earlier"};
    EXPECT_EQ(GetUsers(context, users, settings), c.result);
    std::vector<std::string> expected{"earlier"};
    expected.insert(expected.end(), c.users.begin(), c.users.end());
    EXPECT_EQ(utf8(users), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, UserListTest,
    ::testing::Values(
        UserListCase{"Accounts",
                     "<?xml version=\"1.0\"?><users><user username=\"alice\"/>"
                     "<user username=\"bob\"/></users>",
                     1,
                     {"alice", "bob"}},
        UserListCase{"RootWithoutChildren", "<users></users>", 1, {}},
        UserListCase{"EmptyNameSkipped",
                     "<users><user username=\"\"/><user username=\"carol\"/></users>",
                     1,
                     {"carol"}},
        UserListCase{"ChildWithoutAttributeSkipped",
                     "<users><user name=\"x\"/><user username=\"dave\"/></users>",
                     1,
                     {"dave"}},
        UserListCase{"ForeignChildTaken",
                     "<users><account username=\"erin\"/><user username=\"frank\"/></users>",
                     1,
                     {"erin", "frank"}},
        UserListCase{"DuplicatesKept",
                     "<users><user username=\"gus\"/><user username=\"gus\"/></users>",
                     1,
                     {"gus", "gus"}},
        UserListCase{"GrandchildrenAndRootIgnored",
                     "<users username=\"root\"><group><user username=\"deep\"/></group>"
                     "<user username=\"top\">text</user></users>",
                     1,
                     {"top"}},
        UserListCase{"EntitiesDecoded", "<users><u username=\"a&amp;b\"/></users>", 1, {"a&b"}},
        UserListCase{"NonAsciiNames",
                     "<users><u username=\"Zo\xC3\xAB\"/><u username=\"\xE6\x97\xA5\xE6\x9C\xAC\"/>"
                     "</users>",
                     1,
                     {"Zo\xC3\xAB", "\xE6\x97\xA5\xE6\x9C\xAC"}},
        UserListCase{"ZeroByteEndsTheChunk",
                     "<users><u username=\"hal\"/></users>\0<<<not xml"s,
                     1,
                     {"hal"}},
        UserListCase{"ZeroByteCutsTheDocument", "<users><u username=\"ivy\"/>\0</users>"s, 0, {}},
        UserListCase{"NotXml", "<html><body>Not found</body>", 0, {}},
        UserListCase{"PlainText", "no users here", 0, {}}, UserListCase{"Empty", "", 0, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// --- reading the body in chunks

struct ChunkCase {
    const char* name;
    std::string raw;
    std::string taken;
};

class ChunkTest : public ::testing::TestWithParam<ChunkCase> {};

TEST_P(ChunkTest, EachChunkEndsAtItsFirstZeroByte) {
    EXPECT_EQ(TakeBodyChunks(GetParam().raw), GetParam().taken);
}

std::string withZeroAt(std::size_t size, std::size_t zero) {
    std::string text;
    for (std::size_t i = 0; i < size; ++i)
        text.push_back(static_cast<char>('a' + i % 26));
    text[zero] = '\0';
    return text;
}

const std::string kLong = withZeroAt(1200, 0).substr(1);  // 1199 letters, no zero byte

INSTANTIATE_TEST_SUITE_P(
    Bodies, ChunkTest,
    ::testing::Values(
        ChunkCase{"NoZero", kLong, kLong}, ChunkCase{"Empty", "", ""},
        // A zero in the first chunk drops the rest of that chunk only.
        ChunkCase{"ZeroInFirstChunk", withZeroAt(600, 10),
                  withZeroAt(600, 10).substr(0, 10) + withZeroAt(600, 10).substr(511)},
        ChunkCase{"ZeroInSecondChunk", withZeroAt(1100, 600),
                  withZeroAt(1100, 600).substr(0, 600) + withZeroAt(1100, 600).substr(1022)},
        ChunkCase{"ZeroLastOfFirstChunk", withZeroAt(520, 510),
                  withZeroAt(520, 510).substr(0, 510) + withZeroAt(520, 510).substr(511)}),
    [](const auto& info) { return std::string(info.param.name); });

// A name whose two-byte letter straddles the boundary between two chunks arrives whole (taken
// chunk by chunk through a narrow-to-wide conversion, it would have become two U+FFFD).
TEST_F(NasWebApiTest, LetterAcrossChunkBoundarySurvives) {
    std::string body = "<users><u username=\"";
    body.append(510 - body.size(), 'x');
    body += "\xC3\xAB\"/></users>";  // "ë": byte 510 ends the first chunk, byte 511 opens the next
    ASSERT_EQ(static_cast<unsigned char>(body[510]), 0xC3u);
    server.setDefaultReply(HttpReply::withBody(200, body));
    std::vector<LBString> users;
    ASSERT_EQ(GetUsers(context, users, settings), 1);
    ASSERT_EQ(users.size(), 1u);
    EXPECT_EQ(users[0].ToUtf8(), std::string(490, 'x') + "\xC3\xAB");
}

// --- validate_user

TEST_F(NasWebApiTest, GetWebAppUrlPostsTheFormToValidateUser) {
    server.setDefaultReply(HttpReply::withBody(200, "http://nas/app?token=1"));
    LBString url;
    ASSERT_EQ(GetWebAppUrl(context, url, settings), 1);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].target, kLoginPath);
    EXPECT_EQ(requests[0].version, "HTTP/1.1");
    EXPECT_EQ(requests[0].header("Content-Type"), "application/x-www-form-urlencoded;");
    EXPECT_EQ(requests[0].header("Cache-Control"), "no-cache");
    EXPECT_EQ(requests[0].body, "username=alice&password=secret1&retToken=1");
    EXPECT_TRUE(waits.empty());
}

struct UrlCase {
    const char* name;
    std::string body;
    int result;
    std::string url;
};

class WebAppUrlTest : public NasWebApiTest, public ::testing::WithParamInterface<UrlCase> {};

TEST_P(WebAppUrlTest, AnswerOfStatus200) {
    const UrlCase& c = GetParam();
    server.setDefaultReply(HttpReply::withBody(200, c.body));
    LBString url;
    EXPECT_EQ(GetWebAppUrl(context, url, settings), c.result);
    EXPECT_EQ(url.ToUtf8(), c.url);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, WebAppUrlTest,
    ::testing::Values(UrlCase{"TwoBlanksBeforeCapitals", "  HTTP://nas/app?t=1  ", 1,
                              "HTTP://nas/app?t=1  "},
                      UrlCase{"LowerCase", "http://192.168.1.20/hearthlink?token=ab", 1,
                              "http://192.168.1.20/hearthlink?token=ab"},
                      UrlCase{"MixedWhiteSpaceBefore", "\r\n\t HtTp://nas/", 1, "HtTp://nas/"},
                      UrlCase{"NotHttp", "  https://nas/app", 0, "https://nas/app"},
                      UrlCase{"Message", "\nInvalid user", 0, "Invalid user"},
                      UrlCase{"TooShort", "http:/", 0, "http:/"}, UrlCase{"Empty", "", 0, ""},
                      UrlCase{"ZeroByteEndsTheText", "http://nas/a\0junk"s, 1, "http://nas/a"}),
    [](const auto& info) { return std::string(info.param.name); });

struct CredentialCase {
    const char* name;
    std::string user;
    std::string password;
    std::string wire;  // body as sent
};

class CredentialTest : public NasWebApiTest,
                       public ::testing::WithParamInterface<CredentialCase> {};

// User names and passwords reach the NAS intact whatever they contain; letters and digits are
// sent as they are.
TEST_P(CredentialTest, ArriveIntact) {
    const CredentialCase& c = GetParam();
    context.strUserName = LBString::FromUtf8(c.user);
    context.strPassword = LBString::FromUtf8(c.password);
    server.setDefaultReply(HttpReply::withBody(200, "http://nas/"));
    LBString url;
    ASSERT_EQ(GetWebAppUrl(context, url, settings), 1);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].body, c.wire);
    const auto form = decodeForm(requests[0].body);
    ASSERT_EQ(form.size(), 3u);
    EXPECT_EQ(form[0], std::make_pair(std::string("username"), c.user));
    EXPECT_EQ(form[1], std::make_pair(std::string("password"), c.password));
    EXPECT_EQ(form[2], std::make_pair(std::string("retToken"), std::string("1")));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CredentialTest,
    ::testing::Values(CredentialCase{"LettersAndDigits", "alice", "Secret42",
                                     "username=alice&password=Secret42&retToken=1"},
                      CredentialCase{"FormSeparators", "al ice", "p&ss=w+rd%",
                                     "username=al%20ice&password=p%26ss%3Dw%2Brd%25&retToken=1"},
                      CredentialCase{"NonAscii", "Zo\xC3\xAB", "\xE6\x97\xA5",
                                     "username=Zo%C3%AB&password=%E6%97%A5&retToken=1"},
                      CredentialCase{"Empty", "", "", "username=&password=&retToken=1"}),
    [](const auto& info) { return std::string(info.param.name); });

// The form is limited to 511 bytes: one of exactly 511 is sent, a longer one is refused without
// reaching the NAS (it used to be cut, sending a truncated password).
TEST_F(NasWebApiTest, LoginBodyOver511BytesIsNotSent) {
    const std::size_t frame = std::string("username=alice&password=&retToken=1").size();
    server.setDefaultReply(HttpReply::withBody(200, "http://nas/"));

    context.strPassword = LBString::FromUtf8(std::string(511 - frame, 'p'));
    LBString url;
    EXPECT_EQ(GetWebAppUrl(context, url, settings), 1);
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].body.size(), 511u);

    context.strPassword = LBString::FromUtf8(std::string(512 - frame, 'p'));
    EXPECT_EQ(GetWebAppUrl(context, url, settings), 0);
    EXPECT_TRUE(url.IsEmpty());
    // Encoding counts: 100 "&" take 300 bytes on the wire.
    context.strPassword = LBString::FromUtf8(std::string(170, '&'));
    EXPECT_FALSE(BuildLoginBody(context.strUserName, context.strPassword).has_value());
    EXPECT_EQ(GetWebAppUrl(context, url, settings), 0);
    EXPECT_EQ(server.requests().size(), 1u);
}

// --- failures of the exchange

TEST_F(NasWebApiTest, RefusedConnectionIsRetriedOnceForSignInOnly) {
    uint16_t closedPort = 0;
    {
        HttpFixture gone;
        closedPort = gone.port();
    }
    settings.port = closedPort;

    std::vector<LBString> users{u"kept"};
    EXPECT_EQ(GetUsers(context, users, settings), 0);
    EXPECT_EQ(users.size(), 1u);
    EXPECT_TRUE(waits.empty());

    LBString url;
    EXPECT_EQ(GetWebAppUrl(context, url, settings), 0);
    EXPECT_TRUE(url.IsEmpty());
    EXPECT_EQ(waits, std::vector<std::chrono::milliseconds>{1000ms});
}

TEST_F(NasWebApiTest, SilentServerEndsAtTheTimeLimit) {
    server.setDefaultReply([] {
        HttpReply reply;
        reply.silent = true;
        return reply;
    }());
    settings.users.total = 300ms;
    settings.login.total = 300ms;

    std::vector<LBString> users;
    EXPECT_EQ(GetUsers(context, users, settings), 0);
    LBString url;
    EXPECT_EQ(GetWebAppUrl(context, url, settings), 0);
    EXPECT_TRUE(url.IsEmpty());
    // Both requests reached the server; the connection was made, so no retry.
    EXPECT_EQ(server.requests().size(), 2u);
    EXPECT_TRUE(waits.empty());
}

// A server that keeps sending, slowly, is cut off at the time limit as well.
TEST_F(NasWebApiTest, TricklingServerEndsAtTheTimeLimit) {
    HttpReply reply = HttpReply::withBody(200, "<users><u username=\"slow\"/></users>");
    reply.pieces = {20, 5, 5, 5, 5};
    reply.pause = 150ms;
    server.setDefaultReply(reply);
    settings.users.total = 300ms;
    std::vector<LBString> users;
    EXPECT_EQ(GetUsers(context, users, settings), 0);
    EXPECT_TRUE(users.empty());
}

TEST_F(NasWebApiTest, AnswerInPiecesWithPausesIsWhole) {
    HttpReply reply =
        HttpReply::withBody(200, "<users><u username=\"jo\"/><u username=\"kim\"/></users>");
    reply.pieces = {5, 40, 20};
    reply.pause = 30ms;
    server.setDefaultReply(reply);
    std::vector<LBString> users;
    EXPECT_EQ(GetUsers(context, users, settings), 1);
    EXPECT_EQ(utf8(users), (std::vector<std::string>{"jo", "kim"}));
}

TEST_F(NasWebApiTest, AnswerCutShortFails) {
    HttpReply reply;
    reply.raw = "HTTP/1.1 200 OK\r\nContent-Length: 400\r\nConnection: close\r\n\r\nhttp://nas/";
    server.setDefaultReply(reply);
    std::vector<LBString> users;
    EXPECT_EQ(GetUsers(context, users, settings), 0);
    LBString url;
    EXPECT_EQ(GetWebAppUrl(context, url, settings), 0);
    EXPECT_EQ(url.ToUtf8(), "http://nas/");
}

// An answer over 1 MiB fails instead of growing without bound; one of exactly 1 MiB is read.
TEST_F(NasWebApiTest, AnswerOverOneMebibyteFails) {
    const std::string open = "<users><u username=\"big\"/>";
    const std::string close = "</users>";
    std::string body = open + std::string((1u << 20) - open.size() - close.size(), ' ') + close;
    ASSERT_EQ(body.size(), 1u << 20);
    server.queueReply(HttpReply::withBody(200, body));
    body.insert(open.size(), " ");
    server.queueReply(HttpReply::withBody(200, body));
    HttpReply closeDelimited = HttpReply::withBody(200, body);
    closeDelimited.contentLength = false;
    server.queueReply(closeDelimited);

    std::vector<LBString> users;
    EXPECT_EQ(GetUsers(context, users, settings), 1);
    EXPECT_EQ(utf8(users), std::vector<std::string>{"big"});
    EXPECT_EQ(GetUsers(context, users, settings), 0);
    EXPECT_EQ(GetUsers(context, users, settings), 0);
    EXPECT_EQ(users.size(), 1u);
}

// --- proxies

class ScopedEnvironment {
  public:
    ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnvironment() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

// A proxy configured in the environment is not used for the NAS on the local network.
TEST_F(NasWebApiTest, LocalNasIsReachedWithoutTheProxy) {
    HttpFixture proxy;
    proxy.setDefaultReply(HttpReply::withBody(502, "proxy"));
    ScopedEnvironment httpProxy("http_proxy", "http://" + proxy.hostPort());
    ScopedEnvironment noProxy("no_proxy", "");
    server.setDefaultReply(HttpReply::withBody(200, "<users><u username=\"lee\"/></users>"));
    std::vector<LBString> users;
    EXPECT_EQ(GetUsers(context, users, settings), 1);
    EXPECT_EQ(server.requests().size(), 1u);
    EXPECT_TRUE(proxy.requests().empty());
}

// A NAS address outside the local ranges goes through the configured proxy. The address is a
// documentation one and only the loopback proxy is ever reached; run in the private namespace so
// that nothing could leave the machine even if it were not.
TEST_F(NasWebApiTest, RemoteAddressGoesThroughTheProxy) {
    DS_REQUIRE_PRIVATE_NETNS();
    HttpFixture proxy;
    proxy.setDefaultReply(HttpReply::withBody(200, "<users><u username=\"via-proxy\"/></users>"));
    ScopedEnvironment httpProxy("http_proxy", "http://" + proxy.hostPort());
    ScopedEnvironment noProxy("no_proxy", "");
    context.strAddress = u"203.0.113.5";
    settings.port = 80;
    std::vector<LBString> users;
    EXPECT_EQ(GetUsers(context, users, settings), 1);
    EXPECT_EQ(utf8(users), std::vector<std::string>{"via-proxy"});
    const auto requests = proxy.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, std::string("http://203.0.113.5") + kUsersPath);
}

struct HostCase {
    const char* host;
    bool local;
};

class LocalHostTest : public ::testing::TestWithParam<HostCase> {};

TEST_P(LocalHostTest, LocalNetworkRanges) {
    EXPECT_EQ(isLocalNetworkHost(GetParam().host), GetParam().local) << GetParam().host;
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, LocalHostTest,
    ::testing::Values(HostCase{"127.0.0.1", true}, HostCase{"10.1.2.3", true},
                      HostCase{"172.16.0.1", true}, HostCase{"172.31.255.255", true},
                      HostCase{"172.32.0.1", false}, HostCase{"172.15.0.1", false},
                      HostCase{"192.168.1.20", true}, HostCase{"192.169.1.20", false},
                      HostCase{"169.254.10.1", true}, HostCase{"8.8.8.8", false},
                      HostCase{"203.0.113.5", false}, HostCase{"::1", true},
                      HostCase{"fe80::1", true}, HostCase{"fd00::5", true},
                      HostCase{"2001:db8::1", false}, HostCase{"homevault", true},
                      HostCase{"nas.example.com", false}, HostCase{"", false}));

}  // namespace
}  // namespace nas
