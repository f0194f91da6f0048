#include "upnp/chunked_decoder.h"

#include <algorithm>
#include <limits>

namespace upnp {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

}  // namespace

std::optional<uint64_t> parseChunkSize(std::string_view line) {
    // 1a2b;name=value
    const std::string_view digits = trimBlanks(line.substr(0, line.find(';')));
    if (digits.empty())
        return std::nullopt;
    uint64_t size = 0;
    for (char c : digits) {
        const int value = hexValue(c);
        if (value < 0)
            return std::nullopt;
        if (size > (std::numeric_limits<uint64_t>::max() >> 4))
            return std::nullopt;
        size = (size << 4) | static_cast<uint64_t>(value);
    }
    return size;
}

ChunkedDecoder::Event ChunkedDecoder::step(std::string_view input, size_t& used, std::string& out) {
    used = 0;
    for (;;) {
        const std::string_view rest = input.substr(used);
        switch (state_) {
            case State::Failed:
                return Event::Error;
            case State::Finished:
                return Event::End;
            case State::SizeLine:
            case State::Trailer: {
                const size_t end = rest.find("\r\n");
                if (end == std::string_view::npos) {
                    // A line may still be arriving; bound the wait for its end.
                    return rest.size() > kMaxLineLength + 1 ? fail() : Event::NeedMore;
                }
                if (end > kMaxLineLength)
                    return fail();
                const std::string_view line = rest.substr(0, end);
                used += end + 2;
                if (state_ == State::Trailer) {
                    if (line.empty()) {
                        state_ = State::Finished;
                        return Event::End;
                    }
                    trailerBytes_ += end + 2;
                    if (trailerBytes_ > kMaxTrailerLength)
                        return fail();
                    break;
                }
                const std::optional<uint64_t> size = parseChunkSize(line);
                if (!size || *size > bodyLimit_ - decoded_)
                    return fail();
                chunkLeft_ = *size;
                state_ = chunkLeft_ == 0 ? State::Trailer : State::Data;
                break;
            }
            case State::Data: {
                if (rest.empty())
                    return Event::NeedMore;
                const size_t take =
                    static_cast<size_t>(std::min<uint64_t>(chunkLeft_, rest.size()));
                out.append(rest.substr(0, take));
                used += take;
                chunkLeft_ -= take;
                decoded_ += take;
                if (chunkLeft_ == 0)
                    state_ = State::EndOfChunk;
                return Event::Data;
            }
            case State::EndOfChunk: {
                if (rest.size() < 2)
                    return Event::NeedMore;
                if (rest[0] != '\r' || rest[1] != '\n')
                    return fail();
                used += 2;
                state_ = State::SizeLine;
                break;
            }
        }
    }
}

}  // namespace upnp
