#pragma once

// Shared by the fuzz targets that offer a parser its input the way a socket does, in pieces
// whose lengths the first bytes of the fuzz input choose. Header only: the fuzz folder builds
// one executable per target and no library.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace fuzz {

// A broken expectation ends the run as a finding.
inline void require(bool condition) {
    if (!condition)
        std::abort();
}

// The fuzz input taken apart: the first byte, then (first byte % 16) bytes of piece lengths,
// then what the parser reads. Parts beyond the end of a short input are empty.
struct CutInput {
    uint8_t first = 0;
    std::string_view cuts;
    std::string_view payload;
};

inline CutInput cutInput(std::string_view input) {
    CutInput result;
    if (input.empty())
        return result;
    result.first = static_cast<uint8_t>(input[0]);
    const size_t cutBytes = result.first % 16;
    result.cuts = input.substr(1, cutBytes);
    result.payload = input.substr(std::min(input.size(), 1 + cutBytes));
    return result;
}

// Hands out `payload` in pieces: the i-th is cuts[i] % maxPiece + 1 bytes (never past the end);
// once the cuts are used up the rest comes as one piece. Borrows both views.
class PieceFeeder {
  public:
    PieceFeeder(std::string_view payload, std::string_view cuts, size_t maxPiece)
        : payload_(payload), cuts_(cuts), maxPiece_(maxPiece) {}

    bool done() const { return offset_ >= payload_.size(); }

    // Appends the next piece to `pending`.
    void appendNext(std::string& pending) {
        size_t length = payload_.size() - offset_;
        if (cut_ < cuts_.size())
            length = std::min<size_t>(length, static_cast<uint8_t>(cuts_[cut_++]) % maxPiece_ + 1);
        pending.append(payload_.substr(offset_, length));
        offset_ += length;
    }

  private:
    std::string_view payload_;
    std::string_view cuts_;
    size_t maxPiece_;
    size_t offset_ = 0;
    size_t cut_ = 0;
};

}  // namespace fuzz
