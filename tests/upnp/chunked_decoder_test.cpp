#include "upnp/chunked_decoder.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace upnp {
namespace {

TEST(ParseChunkSize, Forms) {
    struct Case {
        std::string_view line;
        std::optional<uint64_t> size;
    };
    const Case cases[] = {
        {"0", 0},
        {"1a", 26},
        {"1A2b", 0x1a2b},
        {"ff;name=value", 255},
        {"  10\t", 16},
        {"10 ; ext", 16},
        {"ffffffffffffffff", 0xffffffffffffffffull},
        {"10000000000000000", std::nullopt},  // 2^64: overflow
        {"", std::nullopt},
        {";ext", std::nullopt},
        {"0x10", std::nullopt},
        {"-1", std::nullopt},
        {"1 2", std::nullopt},
        {"g", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parseChunkSize(c.line), c.size) << c.line;
}

struct Outcome {
    std::string data;
    std::vector<size_t> pieces;  // size of the output after every Data event
    bool ended = false;
    bool failed = false;
};

// Feeds `input` in pieces of `pieceSize` bytes, as a socket would deliver them.
Outcome decode(std::string_view input, size_t pieceSize, uint64_t limit = 1 << 20) {
    ChunkedDecoder decoder(limit);
    Outcome outcome;
    std::string pending;
    size_t offset = 0;
    while (!outcome.ended && !outcome.failed && offset < input.size()) {
        pending.append(input.substr(offset, pieceSize));
        offset += pieceSize;
        for (;;) {
            size_t used = 0;
            const auto event = decoder.step(pending, used, outcome.data);
            pending.erase(0, used);
            if (event == ChunkedDecoder::Event::Data) {
                outcome.pieces.push_back(outcome.data.size());
                continue;
            }
            outcome.ended = event == ChunkedDecoder::Event::End;
            outcome.failed = event == ChunkedDecoder::Event::Error;
            break;
        }
    }
    return outcome;
}

TEST(ChunkedDecoder, SameResultWhateverThePieces) {
    const std::string body =
        "5;ext=1\r\nhello\r\n"
        "7\r\n, world\r\n"
        "0\r\nX-Trailer: yes\r\n\r\n";
    for (size_t piece : {1u, 2u, 3u, 7u, 100u}) {
        const Outcome outcome = decode(body, piece);
        EXPECT_TRUE(outcome.ended) << piece;
        EXPECT_FALSE(outcome.failed) << piece;
        EXPECT_EQ(outcome.data, "hello, world") << piece;
    }
    EXPECT_EQ(decode(body, 100).pieces, (std::vector<size_t>{5, 12}));
}

TEST(ChunkedDecoder, MalformedInputFails) {
    const std::string_view cases[] = {
        "zz\r\nhello\r\n0\r\n\r\n",  // not hexadecimal
        "\r\nhello\r\n0\r\n\r\n",    // empty size
        "5\r\nhelloXY0\r\n\r\n",     // data not followed by CR LF
        "10000000000000001\r\n",     // size does not fit
        "fffffffffffffff0\r\n",      // fits, passes the body limit
    };
    for (std::string_view input : cases) {
        const Outcome outcome = decode(input, 3);
        EXPECT_TRUE(outcome.failed) << input;
        EXPECT_FALSE(outcome.ended) << input;
    }
}

TEST(ChunkedDecoder, BodyLimitCountsAllChunks) {
    EXPECT_TRUE(decode("4\r\nabcd\r\n4\r\nefgh\r\n0\r\n\r\n", 64, 8).ended);
    EXPECT_TRUE(decode("4\r\nabcd\r\n5\r\nefghi\r\n0\r\n\r\n", 64, 8).failed);
}

TEST(ChunkedDecoder, EndlessSizeLineFails) {
    const std::string line(ChunkedDecoder::kMaxLineLength + 10, '0');
    EXPECT_TRUE(decode(line, 512).failed);
}

TEST(ChunkedDecoder, EndlessTrailerFails) {
    std::string body = "0\r\n";
    while (body.size() < ChunkedDecoder::kMaxTrailerLength + 100)
        body += "X-Filler: 0123456789012345678901234567890123456789\r\n";
    body += "\r\n";
    EXPECT_TRUE(decode(body, 1000).failed);
}

}  // namespace
}  // namespace upnp
