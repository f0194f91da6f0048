// Decodes a chunked body once in one piece and once split at points chosen by the first bytes of
// the input: both runs must end the same way with the same data, within the body limit.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/piece_feeder.h"
#include "upnp/chunked_decoder.h"

namespace {

using fuzz::require;

constexpr uint64_t kLimit = 1 << 16;

struct Result {
    std::string data;
    upnp::ChunkedDecoder::Event last = upnp::ChunkedDecoder::Event::NeedMore;
};

// `cuts`: the length of every piece before the last (0 counts as 1).
Result decode(std::string_view body, std::string_view cuts) {
    upnp::ChunkedDecoder decoder(kLimit);
    Result result;
    std::string pending;
    fuzz::PieceFeeder feeder(body, cuts, 64);
    while (!feeder.done()) {
        feeder.appendNext(pending);
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
    const fuzz::CutInput input = fuzz::cutInput({reinterpret_cast<const char*>(data), size});
    const Result whole = decode(input.payload, {});
    const Result split = decode(input.payload, input.cuts);
    require(whole.last == split.last);
    if (whole.last != upnp::ChunkedDecoder::Event::Error)
        require(whole.data == split.data);
    return 0;
}
