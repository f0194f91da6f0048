// Runs the description reader's whole sequence over arbitrary bytes: parse, link, namespace
// tables, then every element's text, attributes and namespace of its prefix.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "upnp/xml_reader.h"

namespace {

void requireInside(std::string_view part, std::string_view whole) {
    if (part.empty())
        return;
    if (part.data() < whole.data() || part.data() + part.size() > whole.data() + whole.size())
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    auto document = upnp::parseXml(input);
    const std::string_view text = document->text();
    const int result = upnp::processXml(document->first());
    upnp::buildNamespaceTables(document->first());
    (void)document->rootElement();
    for (upnp::XmlElement* element = document->first(); element != nullptr;
         element = element->next) {
        requireInside(element->name, text);
        if (const auto elementText = upnp::readElementText(*element))
            requireInside(*elementText, text);
        for (const upnp::XmlAttribute& attribute : upnp::getAttributes(*element)) {
            requireInside(attribute.name, text);
            requireInside(attribute.value, text);
        }
        requireInside(upnp::lookupNamespace(*element, element->prefix), text);
        // After a clean check every start tag has its end tag (a leading declaration such as
        // <!DOCTYPE ...> takes no part in the tree).
        const bool declaration = !element->name.empty() && element->name[0] == '!';
        if (result == upnp::kXmlOk && element->isStart && !declaration &&
            element->endTag == nullptr)
            std::abort();
    }
    upnp::freeXml(std::move(document));
    return 0;
}
