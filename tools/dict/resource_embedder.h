#pragma once

// Generates the C++ source of the program's resource module (resources/drivescout_resources.h):
// the compiled dictionary as resource "DICTIONARY" with the given id, and the string table.

#include <cstdint>
#include <map>
#include <span>
#include <string>

namespace dict {

std::string generateResourceSource(std::span<const std::uint8_t> dictionary,
                                   std::uint16_t dictionaryId,
                                   const std::map<std::uint32_t, std::u16string>& strings);

}  // namespace dict
