#pragma once

// Pieces both network providers share: which shares an enumeration lists, the record of a listed
// share, an enumeration over a ready list, and the drive-strings layout.

#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/network_provider.h"

namespace platform {

// Disk shares only: IPC$, printers and hidden "$" shares are left out.
bool isListedShare(std::u16string_view name, uint32_t type);

// The record of a listed share: global network scope, disk, share, connectable (never a
// container, so callers that recurse into containers stop here), remote name "\\host\share".
NetResource shareResource(std::u16string_view host, std::u16string_view share,
                          std::u16string_view comment);

// Remote names compared without regard to case, one trailing backslash ignored.
bool remoteNamesEqual(std::u16string_view a, std::u16string_view b);

// An enumeration over entries collected when it was opened. Used by one thread at a time.
class ListEnumeration final : public NetEnumeration {
  public:
    explicit ListEnumeration(std::vector<NetResource> entries) : entries_(std::move(entries)) {}
    // Appends up to `maxCount` further entries; kErrorNoMoreItems when none are left.
    WinError next(uint32_t maxCount, std::vector<NetResource>& out);

  private:
    std::vector<NetResource> entries_;
    size_t position_ = 0;
};

// `enumResource` and `closeEnum` of a provider whose enumerations are all ListEnumeration:
// the next entries, and closing (kErrorInvalidParameter for a null enumeration).
WinError nextListEntries(NetEnumeration& enumeration, uint32_t maxCount,
                         std::vector<NetResource>& entries);
WinError closeListEnumeration(std::unique_ptr<NetEnumeration> enumeration);

// Writes "A:\", 0, "C:\", 0, ..., 0 for `letters` in order; returns the number of units before
// the final zero (0 when there is no letter, and then the buffer holds a single zero).
uint32_t writeDriveStrings(const std::set<char16_t>& letters, std::u16string& buffer);

}  // namespace platform
