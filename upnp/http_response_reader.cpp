#include "upnp/http_response_reader.h"

#include <algorithm>
#include <limits>

#include "upnp/keyed_table.h"

namespace upnp {

namespace {

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

std::optional<uint64_t> parseContentLength(std::string_view text) {
    text = trimBlanks(text);
    if (text.empty())
        return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        if (value > (std::numeric_limits<uint64_t>::max() - 9) / 10)
            return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value;
}

// "1.1", "2", "1.0" ...: whether the version is above 1.0.
bool versionAboveOne(std::string_view version) {
    const size_t dot = version.find('.');
    const std::optional<uint64_t> major = parseContentLength(version.substr(0, dot));
    if (!major)
        return false;
    if (*major != 1)
        return *major > 1;
    if (dot == std::string_view::npos)
        return false;
    const std::optional<uint64_t> minor = parseContentLength(version.substr(dot + 1));
    return minor && *minor > 0;
}

}  // namespace

void HttpResponseReader::start(bool headRequest, uint32_t remoteAddress, uint16_t remotePort,
                               uint32_t localAddress) {
    reset();
    phase_ = Phase::Head;
    headRequest_ = headRequest;
    remoteAddress_ = remoteAddress;
    remotePort_ = remotePort;
    localAddress_ = localAddress;
}

void HttpResponseReader::reset() {
    phase_ = Phase::Idle;
    framing_ = Framing::None;
    serverCloses_ = false;
    firstOffer_ = false;
    head_.reset();
    body_.clear();
    body_.shrink_to_fit();
    remaining_ = 0;
    received_ = 0;
    chunks_.reset();
}

HttpResponseReader::Status HttpResponseReader::feed(std::string_view bytes, size_t& consumed,
                                                    const Deliver& deliver) {
    consumed = 0;
    for (;;) {
        if (phase_ == Phase::Idle)
            return Status::NeedMore;
        if (phase_ == Phase::Body)
            return readBody(bytes, consumed, deliver);
        bool again = false;
        const Status status = readHead(bytes, consumed, again);
        if (status == Status::Failed) {
            reset();
            return status;
        }
        if (!again && phase_ == Phase::Head)
            return Status::NeedMore;
        if (framing_ == Framing::None && phase_ == Phase::Body) {
            size_t ignored = 0;
            deliver(head_.get(), {}, ignored, true);
            reset();
            return Status::Finished;
        }
    }
}

HttpResponseReader::Status HttpResponseReader::readHead(std::string_view bytes, size_t& consumed,
                                                        bool& again) {
    const std::string_view rest = bytes.substr(consumed);
    const std::string_view window = rest.substr(0, kMaxHeadLength);
    const size_t end = window.find("\r\n\r\n");
    if (end == std::string_view::npos)
        return rest.size() >= kMaxHeadLength ? Status::Failed : Status::NeedMore;
    const size_t headLength = end + 4;
    std::unique_ptr<HttpPacket> head = parsePacketHeader(rest.substr(0, headLength));
    if (!head || head->isRequest())
        return Status::Failed;
    consumed += headLength;
    // HTTP/1.1 100 Continue: an interim answer; the real one follows.
    if (head->statusCode >= 100 && head->statusCode <= 199) {
        again = true;
        return Status::NeedMore;
    }
    head->remoteAddress = remoteAddress_;
    head->remotePort = remotePort_;
    head->localAddress = localAddress_;

    const auto encoding = head->getHeaderValue("transfer-encoding");
    const auto connection = head->getHeaderValue("connection");
    const auto length = head->getHeaderValue("content-length");
    serverCloses_ = connection && equalsIgnoreAsciiCase(trimBlanks(*connection), "close");
    if (head->statusCode == 204 || head->statusCode == 304 || headRequest_) {
        framing_ = Framing::None;
    } else if (encoding && equalsIgnoreAsciiCase(trimBlanks(*encoding), "chunked")) {
        framing_ = Framing::Chunked;
        chunks_.emplace(bodyLimit_);
    } else if (length) {
        const std::optional<uint64_t> value = parseContentLength(*length);
        if (!value || *value > bodyLimit_)
            return Status::Failed;
        framing_ = *value == 0 ? Framing::None : Framing::Length;
        remaining_ = *value;
    } else if (serverCloses_ || !versionAboveOne(head->version)) {
        framing_ = Framing::UntilClose;
    } else {
        framing_ = Framing::None;
    }
    head_ = std::move(head);
    phase_ = Phase::Body;
    firstOffer_ = true;
    again = true;
    return Status::NeedMore;
}

void HttpResponseReader::offer(const Deliver& deliver, bool done) {
    size_t used = 0;
    deliver(head_.get(), body_, used, done);
    firstOffer_ = false;
    if (done) {
        body_.clear();
        return;
    }
    used = std::min(used, body_.size());
    body_.erase(0, used);
    if (framing_ == Framing::Length)
        remaining_ -= used;
}

HttpResponseReader::Status HttpResponseReader::readBody(std::string_view bytes, size_t& consumed,
                                                        const Deliver& deliver) {
    const std::string_view rest = bytes.substr(consumed);
    switch (framing_) {
        case Framing::None:
            break;
        case Framing::Length: {
            const size_t take =
                static_cast<size_t>(std::min<uint64_t>(rest.size(), remaining_ - body_.size()));
            body_.append(rest.substr(0, take));
            consumed += take;
            if (body_.size() == remaining_) {
                offer(deliver, true);
                reset();
                return Status::Finished;
            }
            if (take > 0 || firstOffer_)
                offer(deliver, false);
            return Status::NeedMore;
        }
        case Framing::UntilClose: {
            if (rest.size() > bodyLimit_ - received_) {
                reset();
                return Status::Failed;
            }
            received_ += rest.size();
            body_.append(rest);
            consumed += rest.size();
            if (!rest.empty() || firstOffer_)
                offer(deliver, false);
            return Status::NeedMore;
        }
        case Framing::Chunked: {
            // Chunked bodies are offered chunk by chunk only, never empty.
            for (;;) {
                size_t used = 0;
                const ChunkedDecoder::Event event =
                    chunks_->step(bytes.substr(consumed), used, body_);
                consumed += used;
                switch (event) {
                    case ChunkedDecoder::Event::NeedMore:
                        return Status::NeedMore;
                    case ChunkedDecoder::Event::Data:
                        offer(deliver, false);
                        break;
                    case ChunkedDecoder::Event::End:
                        offer(deliver, true);
                        reset();
                        return Status::Finished;
                    case ChunkedDecoder::Event::Error:
                        reset();
                        return Status::Failed;
                }
            }
        }
    }
    return Status::NeedMore;
}

bool HttpResponseReader::finishOnClose(const Deliver& deliver) {
    if (phase_ != Phase::Body || framing_ != Framing::UntilClose) {
        reset();
        return false;
    }
    offer(deliver, true);
    reset();
    return true;
}

}  // namespace upnp
