#pragma once

// Decoder of the chunked transfer coding of an HTTP body:
//
//   <hex-size>[;extension] CR LF <size bytes of data> CR LF ... 0 CR LF [trailer CR LF]* CR LF
//
// The decoder is fed the bytes that have arrived and not been used yet; it reports how many it
// used and appends chunk data to the caller's buffer. Every length from the wire is checked: a
// size line that is not hexadecimal, a size that overflows or passes the body limit, a line
// longer than its bound or chunk data not followed by CR LF makes the decoder fail for good.
//
// Not thread-safe: one thread (the chain thread, for the web client) uses a decoder.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace upnp {

// The size of a chunk-size line ("1a2B;name=value", without CR LF): the hexadecimal text before
// any ";", spaces and tabs around it ignored. Null when it is empty, holds anything but hex
// digits, or does not fit in 64 bits.
std::optional<uint64_t> parseChunkSize(std::string_view line);

class ChunkedDecoder {
  public:
    enum class Event {
        NeedMore,  // every byte offered is used; wait for more
        Data,      // chunk data was appended to `out`
        End,       // the last chunk and the trailer are complete
        Error,     // malformed or over the limit; the decoder stays failed
    };

    // A size line or trailer line may not be longer than this (without its CR LF).
    static constexpr size_t kMaxLineLength = 4096;
    // All trailer lines together.
    static constexpr size_t kMaxTrailerLength = 16 * 1024;

    // `bodyLimit`: the most data bytes the whole body may carry.
    explicit ChunkedDecoder(uint64_t bodyLimit) : bodyLimit_(bodyLimit) {}

    // Reads from `input` and sets `used` to the bytes it took (the caller drops them before the
    // next call). Stops after appending one piece of data, at the end, on an error, or when the
    // input is used up.
    Event step(std::string_view input, size_t& used, std::string& out);

    // Data bytes decoded so far.
    uint64_t decodedBytes() const { return decoded_; }

  private:
    enum class State { SizeLine, Data, EndOfChunk, Trailer, Finished, Failed };

    Event fail() {
        state_ = State::Failed;
        return Event::Error;
    }

    const uint64_t bodyLimit_;
    State state_ = State::SizeLine;
    uint64_t chunkLeft_ = 0;
    uint64_t decoded_ = 0;
    size_t trailerBytes_ = 0;
};

}  // namespace upnp
