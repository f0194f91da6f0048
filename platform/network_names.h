#pragma once

// Names the network provider accepts: local drive names ("Z:" or "Z") and UNC remote names
// ("\\host\share", optionally followed by a folder path). Pure functions; any thread.

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Name under which the providers report and remember their connections.
inline constexpr std::u16string_view kNetworkProviderName = u"Drive Scout SMB";

// The upper-case drive letter of "x", "X", "x:" or "X:"; nothing for anything else.
std::optional<char16_t> driveLetterOf(std::u16string_view localName);

struct UncName {
    std::u16string host;
    std::u16string share;  // empty for a server name "\\host"
    std::u16string path;   // folder below the share, without leading backslash; may be empty
};

// Splits "\\host", "\\host\share" or "\\host\share\folder\..." (one trailing backslash
// tolerated). Nothing when the text does not start with exactly two backslashes or has an empty
// host, share or path component.
std::optional<UncName> parseUncName(std::u16string_view remoteName);

// Comparison without regard to case (simple case folding of the Basic Multilingual Plane).
bool equalsIgnoringCase(std::u16string_view a, std::u16string_view b);
std::u16string toUpper(std::u16string_view text);

}  // namespace platform
