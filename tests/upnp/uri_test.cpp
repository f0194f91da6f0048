#include "upnp/uri.h"

#include <gtest/gtest.h>

#include <string>

namespace upnp {
namespace {

struct UriRow {
    std::string url;
    std::string host;
    uint16_t port;
    std::string path;
};

class UriRows : public ::testing::TestWithParam<UriRow> {};

TEST_P(UriRows, SplitsHostPortAndPath) {
    const UriRow& row = GetParam();
    const Uri uri = parseUri(row.url);
    EXPECT_EQ(uri.host, row.host);
    EXPECT_EQ(uri.port, row.port);
    EXPECT_EQ(uri.path, row.path);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, UriRows,
    ::testing::Values(
        UriRow{"http://192.168.0.5:8080/rootDesc.xml", "192.168.0.5", 8080, "/rootDesc.xml"},
        UriRow{"http://192.168.0.5/rootDesc.xml", "192.168.0.5", 80, "/rootDesc.xml"},
        UriRow{"http://192.168.0.5:8080", "192.168.0.5", 8080, ""},
        UriRow{"http://192.168.0.5", "192.168.0.5", 80, ""},
        UriRow{"http://192.168.1.20:50000/", "192.168.1.20", 50000, "/"},
        // The path runs to the end, query and further slashes included.
        UriRow{"http://h:1/a/b?c=d", "h", 1, "/a/b?c=d"},
        // Without "://" the whole text is host[:port][/path].
        UriRow{"nas.local:5000/desc", "nas.local", 5000, "/desc"}, UriRow{"", "", 80, ""},
        UriRow{"http://", "", 80, ""}, UriRow{"http:///x", "", 80, "/x"},
        // Only the first "://" ends the scheme; a later one is part of the path.
        UriRow{"http://192.168.1.20:80/desc?next=http://10.0.0.1/x", "192.168.1.20", 80,
               "/desc?next=http://10.0.0.1/x"},
        UriRow{"http://a://b:81/p", "a", 0, "//b:81/p"},
        // A port that is not a number is 0; the last colon-separated field is the port.
        UriRow{"http://h:abc/x", "h", 0, "/x"}, UriRow{"http://h:/x", "h", 0, "/x"},
        UriRow{"http://h:1:2/x", "h", 2, "/x"}, UriRow{"http://h:8080x/x", "h", 8080, "/x"},
        // A port that does not fit 16 bits is 0 rather than a wrapped-around number.
        UriRow{"http://h:65535/", "h", 65535, "/"}, UriRow{"http://h:65536/", "h", 0, "/"},
        UriRow{"http://h:99999999999999999999/", "h", 0, "/"},
        UriRow{"http://h:-1/", "h", 0, "/"}));

}  // namespace
}  // namespace upnp
