// Reads a response once in one piece and once split at points chosen by the first bytes of the
// input, the way a socket offers bytes: both runs must end the same way with the same body, and
// nothing may pass the head and body limits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "upnp/http_response_reader.h"

namespace {

constexpr uint64_t kLimit = 1 << 16;

void require(bool condition) {
    if (!condition)
        std::abort();
}

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
    size_t offset = 0;
    size_t cut = 0;
    while (offset < response.size() &&
           result.status == upnp::HttpResponseReader::Status::NeedMore) {
        size_t length = response.size() - offset;
        if (cut < cuts.size())
            length = std::min<size_t>(length, static_cast<uint8_t>(cuts[cut++]) % 128 + 1);
        pending.append(response.substr(offset, length));
        offset += length;
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
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    if (input.empty())
        return 0;
    const bool headRequest = (static_cast<uint8_t>(input[0]) & 0x80) != 0;
    const size_t cutBytes = static_cast<uint8_t>(input[0]) % 16;
    const std::string_view cuts = input.substr(1, cutBytes);
    const std::string_view response = input.substr(std::min(size, 1 + cutBytes));
    const Result whole = read(response, {}, headRequest);
    const Result split = read(response, cuts, headRequest);
    require(whole.status == split.status);
    if (whole.status == upnp::HttpResponseReader::Status::Finished)
        require(whole.body == split.body);
    return 0;
}
