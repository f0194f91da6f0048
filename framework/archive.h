#pragma once

// IArchive: the byte stream through which the dictionary serialises itself in both directions,
// and the two memory archives built on it. Readers throw IArchive::EXCEPTION on malformed input;
// the one loading entry point (LoadMergedDictionary) catches it. An archive is used by one
// thread at a time.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace framework {

class IArchive {
  public:
    enum EXCEPTION {
        EXCEPTION_OUT_OF_MEMORY = 0,  // a string buffer could not be allocated
        EXCEPTION_BAD_MAGIC = 1,      // the stream is not a merged dictionary
        EXCEPTION_TRUNCATED = 2,      // the stream ends before the data it announces
    };

    virtual ~IArchive() = default;
    virtual bool IsStoring() const = 0;
    virtual void Write(const void* bytes, std::uint32_t count) = 0;
    // Takes the next `count` bytes; throws EXCEPTION_TRUNCATED when fewer remain.
    virtual void Read(void* destination, std::uint32_t count) = 0;
    // Bytes left to read (0 for a storing archive). Readers check announced counts against it
    // before they allocate anything.
    virtual std::size_t Remaining() const = 0;
};

// Reads from memory the archive does not own; the bytes must outlive the archive. Never reads
// past the end it was given.
class CArchive final : public IArchive {
  public:
    explicit CArchive(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

    bool IsStoring() const override { return false; }
    void Write(const void*, std::uint32_t) override {}
    void Read(void* destination, std::uint32_t count) override;
    std::size_t Remaining() const override { return m_bytes.size(); }

  private:
    std::span<const std::uint8_t> m_bytes;  // the unread rest
};

// Appends everything written to a byte vector it owns.
class CStoringArchive final : public IArchive {
  public:
    bool IsStoring() const override { return true; }
    void Write(const void* bytes, std::uint32_t count) override;
    void Read(void*, std::uint32_t) override;  // throws EXCEPTION_TRUNCATED: nothing to read
    std::size_t Remaining() const override { return 0; }

    const std::vector<std::uint8_t>& Bytes() const { return m_bytes; }

  private:
    std::vector<std::uint8_t> m_bytes;
};

}  // namespace framework
