#include "upnp/xml_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace upnp {
namespace {

// A Homevault description, trimmed.
constexpr std::string_view kDescription =
    "\r\n"
    "<?xml version=\"1.0\"?>\r\n"
    "<root xmlns=\"urn:schemas-upnp-org:device-1-0\">\r\n"
    "  <specVersion><major>1</major><minor>0</minor></specVersion>\r\n"
    "  <URLBase/>\r\n"
    "  <!-- <device>not a device</device> -->\r\n"
    "  <device xmlns:dlna=\"urn:schemas-dlna-org:device-1-0\" MaxVersion = '2'>\r\n"
    "    <deviceType>urn:schemas-upnp-org:device:Basic:1</deviceType>\r\n"
    "    <friendlyName>NAS One</friendlyName>\r\n"
    "    <dlna:X_DLNADOC>DMS-1.50</dlna:X_DLNADOC>\r\n"
    "    <UDN>uuid:3b2b54a3-5512-4a2b-93f2-001122334455</UDN>\r\n"
    "    <presentationURL>http://192.168.1.20/</presentationURL>\r\n"
    "  </device>\r\n"
    "</root>";

struct Parsed {
    std::unique_ptr<XmlDocument> document;
    int result = 0;
};

Parsed parseAndProcess(std::string_view text) {
    Parsed parsed;
    parsed.document = parseXml(text);
    parsed.result = processXml(parsed.document->first());
    if (parsed.result == kXmlOk)
        buildNamespaceTables(parsed.document->first());
    return parsed;
}

XmlElement* findStart(XmlDocument& document, std::string_view name) {
    for (XmlElement* element = document.first(); element != nullptr; element = element->next) {
        if (element->isStart && element->name == name)
            return element;
    }
    return nullptr;
}

std::vector<std::string> childNames(const XmlElement& parent) {
    std::vector<std::string> names;
    for (const XmlElement* child = parent.firstChild(); child != nullptr;
         child = child->nextSibling)
        names.emplace_back(child->name);
    return names;
}

TEST(XmlReader, TextOfFriendlyNameAndItsParent) {
    Parsed parsed =
        parseAndProcess("<root><device><friendlyName>NAS One</friendlyName></device></root>");
    ASSERT_EQ(parsed.result, kXmlOk);
    XmlElement* name = findStart(*parsed.document, "friendlyName");
    ASSERT_NE(name, nullptr);
    const auto text = readElementText(*name);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, "NAS One");
    EXPECT_EQ(text->size(), 7u);
    ASSERT_NE(name->parent, nullptr);
    EXPECT_EQ(name->parent->name, "device");
    EXPECT_EQ(name->parent->parent->name, "root");
    EXPECT_EQ(name->parent->parent->parent, nullptr);
}

TEST(XmlReader, EmptyElementTagYieldsStartAndEndWithEmptyText) {
    Parsed parsed = parseAndProcess("<root><URLBase/><device/></root>");
    ASSERT_EQ(parsed.result, kXmlOk);
    XmlElement* base = findStart(*parsed.document, "URLBase");
    ASSERT_NE(base, nullptr);
    EXPECT_TRUE(base->isEmpty);
    ASSERT_NE(base->next, nullptr);
    EXPECT_FALSE(base->next->isStart);
    EXPECT_EQ(base->next->name, "URLBase");
    EXPECT_EQ(base->endTag, base->next);
    EXPECT_EQ(readElementText(*base), "");
    EXPECT_EQ(base->firstChild(), nullptr);
    EXPECT_EQ(childNames(*parsed.document->first()),
              (std::vector<std::string>{"URLBase", "device"}));
}

TEST(XmlReader, CommentWithATagInsideIsSkipped) {
    Parsed parsed = parseAndProcess("<root><!-- <device>x</device> --><a>1</a></root>");
    ASSERT_EQ(parsed.result, kXmlOk);
    EXPECT_EQ(findStart(*parsed.document, "device"), nullptr);
    EXPECT_EQ(childNames(*parsed.document->first()), (std::vector<std::string>{"a"}));
}

TEST(XmlReader, CommentThatStartsWithATagIsSkipped) {
    // The comment's first token is exactly "!--": it must still hide the tag after it.
    Parsed parsed = parseAndProcess("<root><!--<device>x</device>--><a>1</a></root>");
    ASSERT_EQ(parsed.result, kXmlOk);
    EXPECT_EQ(findStart(*parsed.document, "device"), nullptr);
}

TEST(XmlReader, UnclosedCommentHidesTheRest) {
    Parsed parsed = parseAndProcess("<root><!-- <a></a>");
    EXPECT_EQ(parsed.result, kXmlUnclosed);
    EXPECT_EQ(findStart(*parsed.document, "a"), nullptr);
}

TEST(XmlReader, WholeDescriptionWithLeadingLineBreak) {
    Parsed parsed = parseAndProcess(kDescription);
    ASSERT_EQ(parsed.result, kXmlOk);
    XmlElement* root = parsed.document->first();
    EXPECT_EQ(root->name, "root");
    EXPECT_EQ(parsed.document->rootElement(), root);
    EXPECT_EQ(childNames(*root), (std::vector<std::string>{"specVersion", "URLBase", "device"}));
    XmlElement* device = findStart(*parsed.document, "device");
    EXPECT_EQ(childNames(*device),
              (std::vector<std::string>{"deviceType", "friendlyName", "X_DLNADOC", "UDN",
                                        "presentationURL"}));
    // The last element of the document is read to its last byte.
    const auto url = readElementText(*findStart(*parsed.document, "presentationURL"));
    EXPECT_EQ(url, "http://192.168.1.20/");
    ASSERT_NE(root->endTag, nullptr);
    EXPECT_EQ(root->endTag->next, nullptr);
    EXPECT_EQ(std::string_view(root->endTag->textPosition), "</root>");
}

TEST(XmlReader, NamespaceLookups) {
    Parsed parsed = parseAndProcess(
        "<root xmlns=\"urn:root\"><device xmlns:dlna=\"urn:dlna\"><x><dlna:y>v</dlna:y></x>"
        "</device><other/></root>");
    ASSERT_EQ(parsed.result, kXmlOk);
    XmlElement* y = findStart(*parsed.document, "y");
    ASSERT_NE(y, nullptr);
    EXPECT_EQ(y->prefix, "dlna");
    XmlElement* grandchild = findStart(*parsed.document, "x");
    EXPECT_EQ(lookupNamespace(*grandchild, "dlna"), "urn:dlna");
    EXPECT_EQ(lookupNamespace(*grandchild, ""), "urn:root");
    EXPECT_EQ(lookupNamespace(*y, y->prefix), "urn:dlna");
    EXPECT_EQ(lookupNamespace(*grandchild, "none"), "");
    // The declaration on device does not reach its sibling.
    EXPECT_EQ(lookupNamespace(*findStart(*parsed.document, "other"), "dlna"), "");
}

TEST(XmlReader, NearestDeclarationWins) {
    Parsed parsed =
        parseAndProcess("<a xmlns:p='outer' xmlns='d1'><b xmlns:p='inner'><c/></b></a>");
    ASSERT_EQ(parsed.result, kXmlOk);
    XmlElement* c = findStart(*parsed.document, "c");
    EXPECT_EQ(lookupNamespace(*c, "p"), "inner");
    EXPECT_EQ(lookupNamespace(*findStart(*parsed.document, "a"), "p"), "outer");
    EXPECT_EQ(lookupNamespace(*c, ""), "d1");
}

struct ProcessRow {
    std::string text;
    int result;
};

class ProcessRows : public ::testing::TestWithParam<ProcessRow> {};

TEST_P(ProcessRows, ChecksTheTagStructure) {
    auto document = parseXml(GetParam().text);
    EXPECT_EQ(processXml(document->first()), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ProcessRows,
    ::testing::Values(
        ProcessRow{"<a><b></b></a>", kXmlOk}, ProcessRow{"<a><b></c></a>", kXmlMismatch},
        ProcessRow{"<a><b></a>", kXmlMismatch},
        // Prefixes do not take part in the match.
        ProcessRow{"<p:a></q:a>", kXmlOk}, ProcessRow{"<a></a></a>", kXmlNoOpenElement},
        ProcessRow{"</a>", kXmlNoOpenElement}, ProcessRow{"<a><b>", kXmlUnclosed},
        ProcessRow{"<a><b></b>", kXmlUnclosed},
        // Truncated documents.
        ProcessRow{"<root><device><friendlyName>NAS", kXmlUnclosed},
        ProcessRow{"<root><device></dev", kXmlUnclosed}, ProcessRow{"<root></root", kXmlUnclosed},
        ProcessRow{"<", kXmlNoOpenElement}, ProcessRow{"<root", kXmlNoOpenElement},
        // No tag at all: one nameless element.
        ProcessRow{"", kXmlNoOpenElement}, ProcessRow{"plain text", kXmlNoOpenElement},
        ProcessRow{"<?xml version=\"1.0\"?>", kXmlNoOpenElement},
        ProcessRow{"<!-- only a comment -->", kXmlNoOpenElement},
        // Names are case-sensitive.
        ProcessRow{"<Root></root>", kXmlMismatch},
        // Declarations take no part.
        ProcessRow{"<a><!DOCTYPE x><b/></a>", kXmlOk},
        // Stray ">" and "<" without ">" are tolerated.
        ProcessRow{"<a> 1 > 0 </a>", kXmlOk}, ProcessRow{"<a> 1 < 2 </a>", kXmlOk}));

TEST(XmlReader, DeclarationIsTakenOutOfTheList) {
    Parsed parsed = parseAndProcess("<a><b/><!DOCTYPE x><c/></a>");
    ASSERT_EQ(parsed.result, kXmlOk);
    EXPECT_EQ(childNames(*parsed.document->first()), (std::vector<std::string>{"b", "c"}));
}

TEST(XmlReader, LeadingDeclarationIsSkippedByRootElement) {
    Parsed parsed = parseAndProcess("<!DOCTYPE root><root><device/></root>");
    ASSERT_EQ(parsed.result, kXmlOk);
    XmlElement* root = parsed.document->rootElement();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->name, "root");
    EXPECT_EQ(childNames(*root), (std::vector<std::string>{"device"}));
}

TEST(XmlReader, DeclarationHasNoText) {
    auto document = parseXml("<!DOCTYPE root><root>x</root>");
    EXPECT_EQ(readElementText(*document->first()), std::nullopt);
    EXPECT_EQ(readElementText(*document->rootElement()), "x");
}

TEST(XmlReader, DeepNestingIsRefused) {
    std::string text;
    for (size_t i = 0; i < kMaxXmlDepth + 1; ++i)
        text += "<a>";
    for (size_t i = 0; i < kMaxXmlDepth + 1; ++i)
        text += "</a>";
    EXPECT_EQ(processXml(parseXml(text)->first()), kXmlUnclosed);

    std::string fits;
    for (size_t i = 0; i < kMaxXmlDepth; ++i)
        fits += "<a>";
    for (size_t i = 0; i < kMaxXmlDepth; ++i)
        fits += "</a>";
    EXPECT_EQ(processXml(parseXml(fits)->first()), kXmlOk);
}

// A document of <root> holding `children` empty elements.
std::string rootWith(size_t children, std::string_view child = "<a/>") {
    std::string text = "<root>";
    for (size_t i = 0; i < children; ++i)
        text += child;
    return text + "</root>";
}

TEST(XmlReader, TooManyElementsFailLikeAMalformedDocument) {
    // One LAN host could otherwise make every fetch of its description cost hundreds of
    // megabytes: 4 MiB of "<a/>" is a million elements.
    struct Row {
        size_t children;
        int result;
    };
    for (const Row row : {Row{kMaxXmlElements - 1, kXmlOk}, Row{kMaxXmlElements, kXmlNoOpenElement},
                          Row{(4u << 20) / 4, kXmlNoOpenElement}}) {
        SCOPED_TRACE(row.children);
        auto document = parseXml(rootWith(row.children));
        EXPECT_EQ(document->overLimit(), row.result != kXmlOk);
        EXPECT_EQ(processXml(document->first()), row.result);
        EXPECT_EQ(document->rootElement() != nullptr, row.result == kXmlOk);
    }
}

TEST(XmlReader, OnlyElementsThatDeclareANamespaceGetATable) {
    Parsed parsed = parseAndProcess(
        "<root xmlns=\"urn:root\"><device xmlns:dlna=\"urn:dlna\" id=\"1\"><x a=\"b\"/></device>"
        "</root>");
    ASSERT_EQ(parsed.result, kXmlOk);
    EXPECT_NE(findStart(*parsed.document, "root")->namespaces, nullptr);
    EXPECT_NE(findStart(*parsed.document, "device")->namespaces, nullptr);
    EXPECT_EQ(findStart(*parsed.document, "x")->namespaces, nullptr);
    EXPECT_EQ(lookupNamespace(*findStart(*parsed.document, "x"), "dlna"), "urn:dlna");
}

TEST(XmlReader, AttributesAndDeclarationsBeyondTheirCapsAreIgnored) {
    // One start tag of a 4 MiB description can hold a hundred thousand declarations; reading
    // them all cost 12 times the document in memory and most of a second.
    std::string text = "<root";
    for (size_t i = 0; i < 10 * kMaxXmlDeclarations; ++i)
        text += " xmlns:p" + std::to_string(i) + "=\"u" + std::to_string(i) + "\"";
    text += "><a xmlns:late=\"x\"/></root>";
    Parsed parsed = parseAndProcess(text);
    ASSERT_EQ(parsed.result, kXmlOk);
    XmlElement* root = parsed.document->rootElement();
    const std::vector<XmlAttribute> attributes = getAttributes(*root);
    ASSERT_EQ(attributes.size(), kMaxXmlAttributes);
    EXPECT_EQ(attributes.back().name, "p0");  // the first ones written are kept
    EXPECT_EQ(lookupNamespace(*root, "p0"), "u0");
    EXPECT_EQ(lookupNamespace(*root, "p" + std::to_string(kMaxXmlAttributes)), "");

    // Spread over many elements, the declarations of a document are counted together.
    std::string spread = "<root>";
    for (size_t i = 0; i < kMaxXmlDeclarations + 10; ++i)
        spread += "<e xmlns:q=\"u" + std::to_string(i) + "\"/>";
    spread += "</root>";
    Parsed many = parseAndProcess(spread);
    ASSERT_EQ(many.result, kXmlOk);
    size_t withTable = 0;
    for (XmlElement* at = many.document->first(); at != nullptr; at = at->next)
        withTable += at->namespaces != nullptr ? 1 : 0;
    EXPECT_EQ(withTable, kMaxXmlDeclarations);
}

TEST(XmlReader, ElementTextIsRawWithChildMarkup) {
    Parsed parsed = parseAndProcess("<a> x <b>&amp;</b>\r\n</a>");
    ASSERT_EQ(parsed.result, kXmlOk);
    EXPECT_EQ(readElementText(*parsed.document->first()), " x <b>&amp;</b>\r\n");
    EXPECT_EQ(readElementText(*findStart(*parsed.document, "b")), "&amp;");
}

TEST(XmlReader, ElementTextWithoutMatchingEndTag) {
    auto document = parseXml("<a><b>text</c></a>");
    EXPECT_EQ(readElementText(*findStart(*document, "b")), std::nullopt);
    auto truncated = parseXml("<a><b>text");
    EXPECT_EQ(readElementText(*findStart(*truncated, "b")), std::nullopt);
    // End elements have no text of their own.
    auto simple = parseXml("<a>x</a>");
    EXPECT_EQ(readElementText(*simple->first()->next), std::nullopt);
}

TEST(XmlReader, PrefixAndNameOfTags) {
    auto document = parseXml("<dlna:X_DLNADOC xmlns:dlna=\"u\">v</dlna:X_DLNADOC><br/><a:b:c/>");
    XmlElement* first = document->first();
    EXPECT_EQ(first->prefix, "dlna");
    EXPECT_EQ(first->name, "X_DLNADOC");
    EXPECT_EQ(first->next->prefix, "dlna");
    EXPECT_FALSE(first->next->isStart);
    XmlElement* br = first->next->next;
    EXPECT_EQ(br->name, "br");
    EXPECT_TRUE(br->isEmpty);
    XmlElement* abc = br->next->next;
    EXPECT_EQ(abc->prefix, "a");
    EXPECT_EQ(abc->name, "b");
}

TEST(XmlReader, TagsWithEmptyNamesAreSkipped) {
    auto document = parseXml("<><a></ ><:><p:></a>");
    EXPECT_EQ(processXml(document->first()), kXmlOk);
    EXPECT_EQ(document->first()->name, "a");
    EXPECT_EQ(document->first()->next->name, "a");
    EXPECT_EQ(document->first()->next->next, nullptr);
}

struct AttributeRow {
    std::string tag;
    // prefix, name, value in reverse document order
    std::vector<std::vector<std::string>> attributes;
};

class AttributeRows : public ::testing::TestWithParam<AttributeRow> {};

TEST_P(AttributeRows, ReadsAttributes) {
    auto document = parseXml(GetParam().tag);
    std::vector<std::vector<std::string>> read;
    for (const XmlAttribute& attribute : getAttributes(*document->first())) {
        read.push_back({std::string(attribute.prefix), std::string(attribute.name),
                        std::string(attribute.value)});
        EXPECT_EQ(attribute.element, document->first());
    }
    EXPECT_EQ(read, GetParam().attributes);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, AttributeRows,
    ::testing::Values(
        AttributeRow{"<device>", {}}, AttributeRow{"<device/>", {}},
        AttributeRow{"<device MaxVersion=\"2\">", {{"", "MaxVersion", "2"}}},
        AttributeRow{"<a x='1' y=\"2\">", {{"", "y", "2"}, {"", "x", "1"}}},
        // Spaces around "=" and line breaks inside the tag.
        AttributeRow{"<a x = \"1\"\r\n\ty= '2' z =3>",
                     {{"", "z", "3"}, {"", "y", "2"}, {"", "x", "1"}}},
        AttributeRow{"<a x=1/>", {{"", "x", "1"}}}, AttributeRow{"<a x=\"1\" />", {{"", "x", "1"}}},
        // Quoted values keep their spaces, other quotation marks and colons.
        AttributeRow{"<a x=\"it's a b\" y='say \"hi\"'>",
                     {{"", "y", "say \"hi\""}, {"", "x", "it's a b"}}},
        AttributeRow{"<root xmlns=\"urn:schemas-upnp-org:device-1-0\">",
                     {{"", "xmlns", "urn:schemas-upnp-org:device-1-0"}}},
        AttributeRow{"<d xmlns:dlna=\"urn:schemas-dlna-org:device-1-0\">",
                     {{"xmlns", "dlna", "urn:schemas-dlna-org:device-1-0"}}},
        AttributeRow{"<a x=\"\">", {{"", "x", ""}}},
        // Without "=" the value is empty; an unclosed quote runs to the end of the tag.
        AttributeRow{"<a flag x=\"1\">", {{"", "x", "1"}, {"", "flag", ""}}},
        AttributeRow{"<a x=\"1 2>", {{"", "x", "1 2"}}},
        AttributeRow{"<a =\"v\" x=1>", {{"", "x", "1"}}}, AttributeRow{"<a x=>", {{"", "x", ""}}}));

TEST(XmlReader, ControlBytesInsideStartTagsBecomeSpaces) {
    const std::string text("<a\tx=\"1\n2\"\0y='3'>t\ne\0xt</a>", 27);
    Parsed parsed = parseAndProcess(text);
    ASSERT_EQ(parsed.result, kXmlOk);
    auto attributes = getAttributes(*parsed.document->first());
    ASSERT_EQ(attributes.size(), 2u);
    EXPECT_EQ(attributes[1].value, "1 2");
    EXPECT_EQ(attributes[0].value, "3");
    // The element's text is left as it is.
    EXPECT_EQ(readElementText(*parsed.document->first()), std::string_view("t\ne\0xt", 6));
}

TEST(XmlReader, DocumentKeepsItsOwnCopy) {
    std::string text = "<a x='1'>v</a>";
    Parsed parsed = parseAndProcess(text);
    text.assign(text.size(), '#');
    EXPECT_EQ(readElementText(*parsed.document->first()), "v");
    EXPECT_EQ(getAttributes(*parsed.document->first())[0].value, "1");
    freeXml(std::move(parsed.document));
}

TEST(XmlReader, EveryEndTagIsLinkedToItsStart) {
    Parsed parsed = parseAndProcess(kDescription);
    ASSERT_EQ(parsed.result, kXmlOk);
    for (XmlElement* element = parsed.document->first(); element != nullptr;
         element = element->next) {
        if (element->isStart) {
            ASSERT_NE(element->endTag, nullptr) << element->name;
            EXPECT_EQ(element->endTag->startTag, element);
            EXPECT_EQ(element->endTag->name, element->name);
        }
    }
}

}  // namespace
}  // namespace upnp
