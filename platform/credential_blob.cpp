#include "platform/credential_store.h"

namespace platform {

std::vector<uint8_t> passwordBlob(std::u16string_view password) {
    std::vector<uint8_t> blob;
    blob.reserve(password.size() * 2);
    for (char16_t c : password) {
        blob.push_back(static_cast<uint8_t>(c & 0xFF));
        blob.push_back(static_cast<uint8_t>(c >> 8));
    }
    return blob;
}

std::optional<std::u16string> passwordFromBlob(const std::vector<uint8_t>& blob) {
    if (blob.size() % 2 != 0)
        return std::nullopt;
    std::u16string password;
    password.reserve(blob.size() / 2);
    for (size_t i = 0; i < blob.size(); i += 2)
        password += static_cast<char16_t>(blob[i] | (blob[i + 1] << 8));
    return password;
}

}  // namespace platform
