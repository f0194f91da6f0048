#include "platform/share_enumeration.h"

#include <algorithm>

#include "platform/network_names.h"

namespace platform {

bool isListedShare(std::u16string_view name, uint32_t type) {
    return type == 1 && !name.empty() && name.back() != u'$';
}

NetResource shareResource(std::u16string_view host, std::u16string_view share,
                          std::u16string_view comment) {
    NetResource resource;
    resource.scope = kResourceGlobalNet;
    resource.type = 1;
    resource.displayType = 3;
    resource.usage = 1;
    resource.remoteName = u"\\\\" + std::u16string(host) + u"\\" + std::u16string(share);
    resource.comment = std::u16string(comment);
    resource.provider = std::u16string(kNetworkProviderName);
    return resource;
}

bool remoteNamesEqual(std::u16string_view a, std::u16string_view b) {
    if (!a.empty() && a.back() == u'\\')
        a.remove_suffix(1);
    if (!b.empty() && b.back() == u'\\')
        b.remove_suffix(1);
    return equalsIgnoringCase(a, b);
}

WinError ListEnumeration::next(uint32_t maxCount, std::vector<NetResource>& out) {
    if (position_ >= entries_.size())
        return kErrorNoMoreItems;
    const size_t count = std::min<size_t>(maxCount, entries_.size() - position_);
    if (count == 0)
        return kErrorMoreData;
    out.insert(out.end(), entries_.begin() + position_, entries_.begin() + position_ + count);
    position_ += count;
    return kNoError;
}

WinError nextListEntries(NetEnumeration& enumeration, uint32_t maxCount,
                         std::vector<NetResource>& entries) {
    return static_cast<ListEnumeration&>(enumeration).next(maxCount, entries);
}

WinError closeListEnumeration(std::unique_ptr<NetEnumeration> enumeration) {
    return enumeration ? kNoError : kErrorInvalidParameter;
}

uint32_t writeDriveStrings(const std::set<char16_t>& letters, std::u16string& buffer) {
    buffer.clear();
    for (char16_t letter : letters) {
        buffer += letter;
        buffer += u":\\";
        buffer += u'\0';
    }
    const auto count = static_cast<uint32_t>(buffer.size());
    buffer += u'\0';
    return count;
}

}  // namespace platform
