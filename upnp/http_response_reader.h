#pragma once

// Reads one HTTP response from the bytes of a connection and hands its head and body to a
// delivery function: the receive logic of the web client, apart from its sockets.
//
// Feeding follows the asynchronous socket's contract: `feed` is offered every byte not yet
// consumed and reports how many it used. A head stays unconsumed until its empty line has
// arrived; once the body starts the reader takes every byte that belongs to the response into its
// own buffer, so the body is offered again (with more) whatever the socket does with its buffer.
//
// Framing: 1xx heads are skipped; 204, 304 and answers to HEAD have no body; then chunked coding,
// then Content-Length, then read-until-close for "Connection: close" and for HTTP/1.0 and older;
// any other HTTP/1.1 response without length has an empty body.
//
// Bounds: a head longer than `kMaxHeadLength`, a head that does not parse as a response, an
// invalid Content-Length, a body over the limit and bad chunked coding fail the response.
//
// Not thread-safe: one thread (the chain thread) uses a reader.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "upnp/chunked_decoder.h"
#include "upnp/http_packet.h"

namespace upnp {

class HttpResponseReader {
  public:
    // `body`: the unconsumed body bytes; set `consumed` (0 on entry) to how many were used.
    // On a done call everything offered is final, whatever is consumed.
    using Deliver = std::function<void(const HttpPacket* head, std::string_view body,
                                       size_t& consumed, bool done)>;

    enum class Status {
        NeedMore,  // the response goes on
        Finished,  // the done call was made
        Failed,    // the response is unusable; no done call was made
    };

    static constexpr size_t kMaxHeadLength = 16 * 1024;
    static constexpr uint64_t kDefaultBodyLimit = 4 * 1024 * 1024;

    explicit HttpResponseReader(uint64_t bodyLimit = kDefaultBodyLimit) : bodyLimit_(bodyLimit) {}

    // Prepares for the response to a new request. Addresses (network byte order) are filled into
    // the parsed head.
    void start(bool headRequest, uint32_t remoteAddress, uint16_t remotePort,
               uint32_t localAddress);
    // Forgets the response in progress.
    void reset();

    Status feed(std::string_view bytes, size_t& consumed, const Deliver& deliver);

    // The connection closed. A body read until close ends here: the buffered bytes are offered
    // with done and true is returned. Otherwise false (the response, if any, is lost).
    bool finishOnClose(const Deliver& deliver);

    // A head of this response has been parsed ("Connection: close" included).
    bool headParsed() const { return phase_ == Phase::Body; }
    bool serverCloses() const { return serverCloses_; }
    void setBodyLimit(uint64_t bytes) { bodyLimit_ = bytes; }

  private:
    enum class Phase { Head, Body, Idle };
    enum class Framing { None, Length, Chunked, UntilClose };

    Status readHead(std::string_view bytes, size_t& consumed, bool& again);
    Status readBody(std::string_view bytes, size_t& consumed, const Deliver& deliver);
    // Offers the buffered body; drops what the delivery consumed (all of it when done).
    void offer(const Deliver& deliver, bool done);

    uint64_t bodyLimit_;
    Phase phase_ = Phase::Idle;
    Framing framing_ = Framing::None;
    bool headRequest_ = false;
    bool serverCloses_ = false;
    bool firstOffer_ = false;
    uint32_t remoteAddress_ = 0;
    uint16_t remotePort_ = 0;
    uint32_t localAddress_ = 0;
    std::unique_ptr<HttpPacket> head_;
    std::string body_;        // received, not yet consumed
    uint64_t remaining_ = 0;  // Length: body bytes not yet consumed by the delivery
    uint64_t received_ = 0;   // body bytes received so far
    std::optional<ChunkedDecoder> chunks_;
};

}  // namespace upnp
