// Decodes a chunked body once in one piece and once split at points chosen by the first bytes of
// the input: both runs must end the same way with the same data, within the body limit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "upnp/chunked_decoder.h"

namespace {

constexpr uint64_t kLimit = 1 << 16;

void require(bool condition) {
    if (!condition)
        std::abort();
}

struct Result {
    std::string data;
    upnp::ChunkedDecoder::Event last = upnp::ChunkedDecoder::Event::NeedMore;
};

// `cuts`: the length of every piece before the last (0 counts as 1).
Result decode(std::string_view body, std::string_view cuts) {
    upnp::ChunkedDecoder decoder(kLimit);
    Result result;
    std::string pending;
    size_t offset = 0;
    size_t cut = 0;
    while (offset < body.size()) {
        size_t length = body.size() - offset;
        if (cut < cuts.size())
            length = std::min<size_t>(length, static_cast<uint8_t>(cuts[cut++]) % 64 + 1);
        pending.append(body.substr(offset, length));
        offset += length;
        for (;;) {
            size_t used = 0;
            result.last = decoder.step(pending, used, result.data);
            require(used <= pending.size());
            pending.erase(0, used);
            if (result.last != upnp::ChunkedDecoder::Event::Data)
                break;
        }
        require(result.data.size() <= kLimit);
        require(decoder.decodedBytes() == result.data.size());
        if (result.last == upnp::ChunkedDecoder::Event::End ||
            result.last == upnp::ChunkedDecoder::Event::Error)
            break;
    }
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t cutBytes = input.empty() ? 0 : static_cast<uint8_t>(input[0]) % 16;
    const std::string_view cuts = input.substr(std::min(size, size_t{1}), cutBytes);
    const std::string_view body = input.substr(std::min(size, 1 + cutBytes));
    const Result whole = decode(body, {});
    const Result split = decode(body, cuts);
    require(whole.last == split.last);
    if (whole.last != upnp::ChunkedDecoder::Event::Error)
        require(whole.data == split.data);
    return 0;
}
