#include "framework/archive.h"

#include <cstring>

namespace framework {

void CArchive::Read(void* destination, std::uint32_t count) {
    // The dictionary's own reader trusted every count; the resource's size bounds us instead.
    if (count > m_bytes.size()) {
        throw EXCEPTION_TRUNCATED;
    }
    if (count > 0) {
        std::memcpy(destination, m_bytes.data(), count);
    }
    m_bytes = m_bytes.subspan(count);
}

void CStoringArchive::Write(const void* bytes, std::uint32_t count) {
    const auto* begin = static_cast<const std::uint8_t*>(bytes);
    m_bytes.insert(m_bytes.end(), begin, begin + count);
}

void CStoringArchive::Read(void*, std::uint32_t) {
    throw EXCEPTION_TRUNCATED;
}

}  // namespace framework
