#pragma once

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "upnp/keyed_table.h"

namespace upnp {

// A small reader for device description documents: it cuts the text into a flat list of start
// and end tags, links them into a tree (processXml), records namespace declarations
// (buildNamespaceTables) and answers three questions: the raw text of an element, the attributes
// of a start tag and the namespace URI of a prefix. It decodes no entities, knows no CDATA, and
// compares names case-sensitively.
//
// Ownership: an XmlDocument owns a private copy of the text and every element; all views and
// pointers below point into the document and are valid as long as it lives. Not thread-safe:
// one thread reads a document at a time.

// One tag. An empty-element tag (<URLBase/>) yields a start element followed by a synthetic end
// element.
struct XmlElement {
    std::string_view name;    // local name, after the prefix colon if any
    std::string_view prefix;  // namespace prefix; empty when there is none
    bool isStart = false;     // start tag, or end tag
    bool isEmpty = false;     // start tag written as an empty-element tag
    // Start tag: its "<". Synthetic end element: same as textPosition.
    const char* tagStart = nullptr;
    // Start tag: the first byte after its ">". End tag: its "<" (the element's text ends just
    // before it). Synthetic end element: the start element's text position.
    const char* textPosition = nullptr;
    // Start elements that declare namespaces, after buildNamespaceTables: prefix → URI, and
    // "xmlns" → default namespace. Null on elements that declare none.
    std::unique_ptr<KeyedTable<std::string_view>> namespaces;

    XmlElement* next = nullptr;         // next tag in document order
    XmlElement* parent = nullptr;       // enclosing start element (processXml)
    XmlElement* nextSibling = nullptr;  // start tag directly after this element's end tag
    XmlElement* endTag = nullptr;       // matching end element of a start element
    XmlElement* startTag = nullptr;     // matching start element of an end element

    // The first child: the next tag when that is a start tag.
    XmlElement* firstChild() const { return isStart && next && next->isStart ? next : nullptr; }
};

struct XmlAttribute {
    std::string_view prefix;  // empty when there is none
    std::string_view name;
    std::string_view value;  // without its quotation marks
    const XmlElement* element = nullptr;
};

class XmlDocument {
  public:
    XmlDocument() = default;
    // Elements point into the document's own text, so a document never moves.
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;

    // Never null: a text without any tag yields one nameless element.
    XmlElement* first() { return first_; }
    const XmlElement* first() const { return first_; }

    // The first start element that is not a declaration ("<!DOCTYPE ...>"), or null.
    XmlElement* rootElement();

    std::string_view text() const { return text_; }

    // True when the text held more than kMaxXmlElements start tags; the document then holds
    // just the nameless element, so processXml fails for it as for a malformed document.
    bool overLimit() const { return overLimit_; }

  private:
    friend std::unique_ptr<XmlDocument> parseXml(std::string_view text);
    std::string text_;
    bool overLimit_ = false;
    std::deque<XmlElement> elements_;
    XmlElement* first_ = nullptr;
};

// Start tags nested deeper than this make processXml fail with -3.
inline constexpr size_t kMaxXmlDepth = 256;
// More start tags than this make a document fail like a malformed one. A real device's
// description has a few hundred; the cap bounds the memory and time one document can take (the
// element list is the reader's only memory besides its copy of the text).
inline constexpr size_t kMaxXmlElements = 10'000;
// getAttributes reads at most this many attributes of a tag, and buildNamespaceTables records at
// most this many declarations in a document; the rest are ignored. Real descriptions use a few.
inline constexpr size_t kMaxXmlAttributes = 64;
inline constexpr size_t kMaxXmlDeclarations = 256;

// Results of processXml.
inline constexpr int kXmlOk = 0;
inline constexpr int kXmlNoOpenElement = -1;  // empty list, or an end tag without open start tag
inline constexpr int kXmlMismatch = -2;       // an end tag's name differs from the open start tag
inline constexpr int kXmlUnclosed = -3;       // start tags open at the end (or nested too deeply)

// Cuts `text` into tags (at most kMaxXmlElements start tags, see XmlDocument::overLimit).
// Comments (<!-- ... -->), the XML declaration and processing
// instructions (<? ... ?>) are skipped; a "<" without a following ">" is not a tag and its bytes
// stay part of the surrounding text. Inside start tags, NUL, tab, CR and LF become spaces.
std::unique_ptr<XmlDocument> parseXml(std::string_view text);

// Links the list into a tree: parents, next siblings and start/end pairs. Declarations
// ("<!DOCTYPE ...>") are taken out of the list. Returns kXmlOk or one of the errors above.
int processXml(XmlElement* first);

// Gives every start element its namespace table, from its "xmlns" and "xmlns:prefix"
// attributes.
void buildNamespaceTables(XmlElement* first);

// The URI declared for `prefix` on the element or its nearest ancestor that declares it; an
// empty prefix looks up the default namespace. Empty when no declaration is found.
std::string_view lookupNamespace(const XmlElement& element, std::string_view prefix);

// The raw text between the start tag and its matching end tag (child markup, white space and
// entity references included as they are); nullopt when no matching end tag follows.
std::optional<std::string_view> readElementText(const XmlElement& element);

// The attributes of a start tag in reverse document order (empty for end tags and tags without
// attributes). Spaces around "=" are allowed; a value may be quoted with either quotation mark or
// unquoted; an attribute without "=" has an empty value. At most kMaxXmlAttributes, the first in
// document order.
std::vector<XmlAttribute> getAttributes(const XmlElement& element);

// Releases a document and every element of it.
inline void freeXml(std::unique_ptr<XmlDocument> document) {
    document.reset();
}

}  // namespace upnp
