// Reads a response once in one piece and once split at points chosen by the first bytes of the
// input, the way a socket offers bytes: both runs must end the same way with the same body, and
// nothing may pass the head and body limits.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/piece_feeder.h"
#include "upnp/http_response_reader.h"

namespace {

using fuzz::require;

constexpr uint64_t kLimit = 1 << 16;

struct Result {
    std::string body;  // every byte consumed, in order
    int doneCalls = 0;
    upnp::HttpResponseReader::Status status = upnp::HttpResponseReader::Status::NeedMore;
};

Result read(std::string_view response, std::string_view cuts, bool headRequest) {
    upnp::HttpResponseReader reader(kLimit);
    reader.start(headRequest, 0x0100007f, 80, 0x0100007f);
    Result result;
    auto deliver = [&](const upnp::HttpPacket* head, std::string_view body, size_t& consumed,
                       bool done) {
        require(head != nullptr);
        require(body.size() <= kLimit);
        require(result.doneCalls == 0);
        result.body.append(body);
        consumed = body.size();
        if (done)
            ++result.doneCalls;
    };
    std::string pending;
    fuzz::PieceFeeder feeder(response, cuts, 128);
    while (!feeder.done() && result.status == upnp::HttpResponseReader::Status::NeedMore) {
        feeder.appendNext(pending);
        for (;;) {
            size_t consumed = 0;
            result.status = reader.feed(pending, consumed, deliver);
            require(consumed <= pending.size());
            pending.erase(0, consumed);
            require(pending.size() <= upnp::HttpResponseReader::kMaxHeadLength + 128 ||
                    result.status != upnp::HttpResponseReader::Status::NeedMore);
            if (consumed == 0 || result.status != upnp::HttpResponseReader::Status::NeedMore)
                break;
        }
    }
    if (result.status == upnp::HttpResponseReader::Status::NeedMore &&
        reader.finishOnClose(deliver))
        result.status = upnp::HttpResponseReader::Status::Finished;
    require((result.status == upnp::HttpResponseReader::Status::Finished) ==
            (result.doneCalls == 1));
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const fuzz::CutInput input = fuzz::cutInput({reinterpret_cast<const char*>(data), size});
    const bool headRequest = (input.first & 0x80) != 0;
    const Result whole = read(input.payload, {}, headRequest);
    const Result split = read(input.payload, input.cuts, headRequest);
    require(whole.status == split.status);
    if (whole.status == upnp::HttpResponseReader::Status::Finished)
        require(whole.body == split.body);
    return 0;
}
