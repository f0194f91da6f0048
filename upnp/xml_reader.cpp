#include "upnp/xml_reader.h"

#include "upnp/text_parsing.h"

namespace upnp {
namespace {

bool isXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isDeclaration(const XmlElement& element) {
    return !element.name.empty() && element.name[0] == '!';
}

// The name of a tag from its tag text ("dlna:X_DLNADOC xmlns:dlna=..." → prefix "dlna", name
// "X_DLNADOC"); sets `emptyElement` when the name is followed by "/" ("br/").
void splitTagName(std::string_view tagText, std::string_view& prefix, std::string_view& name,
                  bool& emptyElement) {
    const int space = findWhiteSpace(tagText);
    const std::string_view head = space < 0 ? tagText : tagText.substr(0, space);
    const ParseResult parts = parseString(head, ":");
    prefix = parts.count() >= 2 ? parts[0] : std::string_view();
    name = parts.count() >= 2 ? parts[1] : parts[0];
    const size_t end = name.find_first_of(" \t\r\n/>", 1);
    if (end != std::string_view::npos) {
        if (name[end] == '/')
            emptyElement = true;
        name = name.substr(0, end);
    }
}

}  // namespace

XmlElement* XmlDocument::rootElement() {
    for (XmlElement* element = first_; element != nullptr; element = element->next) {
        if (element->isStart && !element->name.empty() && !isDeclaration(*element))
            return element;
    }
    return nullptr;
}

std::unique_ptr<XmlDocument> parseXml(std::string_view source) {
    auto document = std::make_unique<XmlDocument>();
    document->text_.assign(source);
    std::string& text = document->text_;
    auto& elements = document->elements_;
    char* const base = text.data();

    size_t startTags = 0;
    XmlElement* last = nullptr;
    auto append = [&](XmlElement&& element) {
        elements.push_back(std::move(element));
        XmlElement* added = &elements.back();
        if (last != nullptr)
            last->next = added;
        last = added;
        return added;
    };

    // Every token is the inside of one tag plus the text that follows it, up to the next "<".
    // Tokens are found one at a time: a document of tiny tags costs no list of its tokens.
    size_t commentEnd = 0;
    for (size_t lt = text.find('<'); lt != std::string::npos;) {
        const size_t tokenStart = lt + 1;
        const size_t nextLt = text.find('<', tokenStart);
        lt = nextLt;
        const std::string_view token(
            base + tokenStart, (nextLt == std::string::npos ? text.size() : nextLt) - tokenStart);
        if (tokenStart < commentEnd)
            continue;  // inside a comment
        // <?xml version="1.0"?>, processing instructions
        if (token.empty() || token[0] == '?')
            continue;
        // <!-- comment, possibly holding <tags> -->
        if (token.substr(0, 3) == "!--") {
            const size_t close = text.find("-->", tokenStart + 3);
            commentEnd = close == std::string::npos ? text.size() : close + 3;
            continue;
        }
        const bool isEnd = token[0] == '/';
        const size_t bodyStart = tokenStart + (isEnd ? 1 : 0);
        const size_t gtInToken = token.find('>', isEnd ? 1 : 0);
        if (gtInToken == std::string_view::npos)
            continue;  // no ">" before the next "<": not a tag
        const size_t gt = tokenStart + gtInToken;
        if (!isEnd) {
            for (size_t at = bodyStart; at < gt; ++at) {
                char& c = text[at];
                if (c == '\0' || c == '\t' || c == '\n' || c == '\r')
                    c = ' ';
            }
        }
        const std::string_view tagText(base + bodyStart, gt - bodyStart);

        XmlElement element;
        bool emptyElement = !isEnd && !tagText.empty() && tagText.back() == '/';
        splitTagName(tagText, element.prefix, element.name, emptyElement);
        if (element.name.empty())
            continue;
        element.isStart = !isEnd;
        if (isEnd) {
            // </name>
            element.tagStart = base + tokenStart - 1;
            element.textPosition = element.tagStart;
            append(std::move(element));
            continue;
        }
        if (++startTags > kMaxXmlElements) {
            // Far beyond any device's description: refuse it whole, as malformed.
            elements.clear();
            document->overLimit_ = true;
            break;
        }
        // <name attr="value"> or <name/>
        element.tagStart = base + tokenStart - 1;
        element.textPosition = base + gt + 1;
        element.isEmpty = emptyElement;
        XmlElement* start = append(std::move(element));
        if (emptyElement) {
            XmlElement end;
            end.name = start->name;
            end.prefix = start->prefix;
            end.tagStart = start->textPosition;
            end.textPosition = start->textPosition;
            append(std::move(end));
        }
    }
    if (elements.empty())
        elements.emplace_back();  // the nameless element of a text without tags
    document->first_ = &elements.front();
    return document;
}

int processXml(XmlElement* first) {
    if (first == nullptr || first->name.empty())
        return kXmlNoOpenElement;

    // Declarations (<!DOCTYPE ...>) take no part in the tree: unlink them from the list. One at
    // the very head cannot be unlinked (the caller holds it) and is skipped by the walk.
    for (XmlElement* previous = first; previous->next != nullptr;) {
        if (isDeclaration(*previous->next))
            previous->next = previous->next->next;
        else
            previous = previous->next;
    }

    std::vector<XmlElement*> open;
    for (XmlElement* element = first; element != nullptr; element = element->next) {
        if (isDeclaration(*element))
            continue;
        if (element->isStart) {
            element->parent = open.empty() ? nullptr : open.back();
            open.push_back(element);
            if (open.size() > kMaxXmlDepth)
                return kXmlUnclosed;
            continue;
        }
        if (open.empty())
            return kXmlNoOpenElement;
        XmlElement* start = open.back();
        open.pop_back();
        if (start->name != element->name)
            return kXmlMismatch;
        if (element->next != nullptr && element->next->isStart)
            start->nextSibling = element->next;
        start->endTag = element;
        element->startTag = start;
    }
    return open.empty() ? kXmlOk : kXmlUnclosed;
}

void buildNamespaceTables(XmlElement* first) {
    size_t declared = 0;
    for (XmlElement* element = first; element != nullptr; element = element->next) {
        if (!element->isStart)
            continue;
        // Only elements that declare something get a table: most elements declare nothing.
        auto declare = [&](std::string_view key, std::string_view uri) {
            if (++declared > kMaxXmlDeclarations)
                return;
            if (element->namespaces == nullptr)
                element->namespaces =
                    std::make_unique<KeyedTable<std::string_view>>(KeyCase::Sensitive);
            element->namespaces->add(key, uri);
        };
        for (const XmlAttribute& attribute : getAttributes(*element)) {
            if (attribute.prefix.empty() && attribute.name == "xmlns")
                declare("xmlns", attribute.value);  // xmlns="uri"
            else if (attribute.prefix == "xmlns")
                declare(attribute.name, attribute.value);  // xmlns:p="uri"
        }
    }
}

std::string_view lookupNamespace(const XmlElement& element, std::string_view prefix) {
    const std::string_view key = prefix.empty() ? std::string_view("xmlns") : prefix;
    for (const XmlElement* at = &element; at != nullptr; at = at->parent) {
        if (at->namespaces == nullptr)
            continue;
        if (const std::string_view* uri = at->namespaces->get(key))
            return *uri;
    }
    return {};
}

std::optional<std::string_view> readElementText(const XmlElement& element) {
    if (!element.isStart || element.textPosition == nullptr || isDeclaration(element))
        return std::nullopt;
    size_t depth = 0;
    for (const XmlElement* at = &element; at != nullptr; at = at->next) {
        if (isDeclaration(*at))
            continue;
        if (at->isStart) {
            ++depth;
            continue;
        }
        if (--depth > 0)
            continue;
        if (at->name != element.name || at->textPosition < element.textPosition)
            return std::nullopt;
        return std::string_view(element.textPosition,
                                static_cast<size_t>(at->textPosition - element.textPosition));
    }
    return std::nullopt;
}

std::vector<XmlAttribute> getAttributes(const XmlElement& element) {
    std::vector<XmlAttribute> attributes;
    if (!element.isStart || element.tagStart == nullptr ||
        element.textPosition <= element.tagStart + 1)
        return attributes;
    // Between "<" and ">", without the "/" of an empty-element tag.
    std::string_view tag(element.tagStart + 1,
                         static_cast<size_t>(element.textPosition - 1 - (element.tagStart + 1)));
    if (!tag.empty() && tag.back() == '/')
        tag.remove_suffix(1);

    size_t at = 0;
    auto skipSpaces = [&] {
        while (at < tag.size() && isXmlSpace(tag[at]))
            ++at;
    };
    // The tag's own name comes first.
    while (at < tag.size() && !isXmlSpace(tag[at]))
        ++at;

    for (;;) {
        skipSpaces();
        if (at >= tag.size())
            break;
        // name [= value], with optional spaces around "="
        const size_t nameStart = at;
        while (at < tag.size() && !isXmlSpace(tag[at]) && tag[at] != '=')
            ++at;
        const std::string_view qualified = tag.substr(nameStart, at - nameStart);
        std::string_view value;
        skipSpaces();
        if (at < tag.size() && tag[at] == '=') {
            ++at;
            skipSpaces();
            if (at < tag.size() && (tag[at] == '"' || tag[at] == '\'')) {
                // "value" or 'value'; an unclosed quote runs to the end of the tag
                const char quote = tag[at++];
                const size_t close = tag.find(quote, at);
                const size_t end = close == std::string_view::npos ? tag.size() : close;
                value = tag.substr(at, end - at);
                at = close == std::string_view::npos ? tag.size() : close + 1;
            } else {
                const size_t valueStart = at;
                while (at < tag.size() && !isXmlSpace(tag[at]))
                    ++at;
                value = tag.substr(valueStart, at - valueStart);
            }
        }
        if (qualified.empty())
            continue;  // a stray "=" or value without a name
        XmlAttribute attribute;
        const size_t colon = qualified.find(':');
        if (colon == std::string_view::npos) {
            attribute.name = qualified;
        } else {
            attribute.prefix = qualified.substr(0, colon);
            attribute.name = qualified.substr(colon + 1);
        }
        attribute.value = value;
        attribute.element = &element;
        attributes.push_back(attribute);
        if (attributes.size() == kMaxXmlAttributes)
            break;
    }
    // Newest first, as the description reader expects (the last of repeated names wins).
    return std::vector<XmlAttribute>(attributes.rbegin(), attributes.rend());
}

}  // namespace upnp
