// The libxml2 reader behaves as a strict pull reader would.
#include "platform/linux/xml/libxml_reader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

using platform::XmlNodeType;

struct Walk {
    std::vector<std::string> nodes;  // "element:name", "decl:version=1.0,encoding=UTF-8", ...
    int32_t last = 0;
    bool eof = false;
};

Walk walk(const std::string& doc) {
    platform::linux_adapter::LibXmlReaders readers;
    auto r = readers.open(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(doc.data()), doc.size()));
    Walk w;
    XmlNodeType t;
    while ((w.last = r->read(t)) == platform::XML_S_OK) {
        std::string name;
        r->localName(name);
        if (t == XmlNodeType::XmlDeclaration) {
            std::string attrs;
            for (int32_t a = r->moveToFirstAttribute(); a == platform::XML_S_OK;
                 a = r->moveToNextAttribute()) {
                std::string n, v;
                r->localName(n);
                r->value(v);
                EXPECT_FALSE(r->isDefault());
                attrs += (attrs.empty() ? "" : ",") + n + "=" + v;
            }
            w.nodes.push_back("decl:" + attrs);
        } else if (t == XmlNodeType::Element) {
            w.nodes.push_back("element:" + name);
        } else if (t == XmlNodeType::Comment) {
            w.nodes.push_back("comment");
        }
    }
    w.eof = r->isEndOfFile();
    return w;
}

TEST(LibXmlReader, GivesTheDeclarationItsOwnNodeWithItsAttributes) {
    auto w = walk("<?xml version=\"1.0\" encoding='UTF-8' standalone=\"yes\"?>\n<r/>");
    EXPECT_EQ(w.nodes, (std::vector<std::string>{"decl:version=1.0,encoding=UTF-8,standalone=yes",
                                                 "element:r"}));
    EXPECT_EQ(w.last, platform::XML_S_FALSE);
    EXPECT_TRUE(w.eof);
    // After a byte-order mark too; a processing instruction named xml-something is no declaration.
    EXPECT_EQ(walk("\xEF\xBB\xBF<?xml version=\"1.0\"?><r/>").nodes.front(), "decl:version=1.0");
    EXPECT_EQ(walk("<r/>").nodes, (std::vector<std::string>{"element:r"}));
}

TEST(LibXmlReader, ReachingADoctypeFailsAfterTheNodesBeforeIt) {
    auto w = walk("<?xml version=\"1.0\"?><!-- c --><!DOCTYPE r><r/>");
    EXPECT_EQ(w.nodes, (std::vector<std::string>{"decl:version=1.0", "comment"}));
    EXPECT_LT(w.last, 0);
    EXPECT_FALSE(w.eof);
}

TEST(LibXmlReader, DeliversEveryNodeBeforeASyntaxErrorWhateverItsChunk) {
    std::string doc = "<r>";
    for (int i = 0; i < 100; ++i) doc += "<item/>";  // 700 bytes: past the first chunk
    doc += "<broken attr>";
    auto w = walk(doc);
    EXPECT_EQ(w.nodes.size(), 101u);
    EXPECT_LT(w.last, 0);
    EXPECT_FALSE(w.eof);
    // A start tag cut short by the end of the input is not delivered.
    w = walk("<r><a/><b x=\"1");
    EXPECT_EQ(w.nodes, (std::vector<std::string>{"element:r", "element:a"}));
    EXPECT_LT(w.last, 0);
}

TEST(LibXmlReader, FailsExactlyAtThe257thNestedElement) {
    std::string doc;
    for (int i = 0; i < 300; ++i) doc += "<e>";
    auto w = walk(doc);
    EXPECT_EQ(w.nodes.size(), 256u);
    EXPECT_LT(w.last, 0);
    std::string ok;
    for (int i = 0; i < 256; ++i) ok += "<e>";
    for (int i = 0; i < 256; ++i) ok += "</e>";
    w = walk(ok);
    EXPECT_EQ(w.nodes.size(), 256u);
    EXPECT_TRUE(w.eof);
}

TEST(LibXmlReader, AnEmptyOrBinaryInputIsRejectedNotCrashed) {
    EXPECT_LT(walk("").last, 0);
    EXPECT_LT(walk(std::string("\x00\x01\x02\xFF", 4)).last, 0);
    EXPECT_LT(walk("<?xml").last, 0);
}

std::string attributes(int count, const std::string& value) {
    std::string out;
    for (int i = 0; i < count; ++i) out += " a" + std::to_string(i) + "='" + value + "'";
    return out;
}

// libxml2 takes time quadratic in one element's attributes, and linear in the namespaces around
// each prefixed name: past 64 attributes on an element, or 64 namespace declarations in the
// document, the element is refused before it parses them. Quoted values, comments, CDATA and
// instructions do not count.
TEST(LibXmlReader, AStartTagPastTheAttributeOrNamespaceLimitFailsAfterTheNodesBeforeIt) {
    const std::string lots(100, '=');
    auto w = walk("<r><!--" + lots + "--><![CDATA[" + lots + "]]><?pi " + lots + "?><e" +
                  attributes(64, "=>\"") + "/></r>");
    EXPECT_EQ(w.nodes, (std::vector<std::string>{"element:r", "comment", "element:e"}));
    EXPECT_TRUE(w.eof);

    w = walk("<?xml version=\"1.0\"?><r><b/><e" + attributes(65, "x") + "/><c/></r>");
    EXPECT_EQ(w.nodes, (std::vector<std::string>{"decl:version=1.0", "element:r", "element:b"}));
    EXPECT_LT(w.last, 0);
    EXPECT_FALSE(w.eof);
    // The root itself: nothing after the declaration.
    w = walk("<?xml version=\"1.0\"?><r" + attributes(65, "x") + "/>");
    EXPECT_EQ(w.nodes, (std::vector<std::string>{"decl:version=1.0"}));
    EXPECT_LT(w.last, 0);

    std::string declared = "<r>";
    for (int i = 0; i < 64; ++i) declared += "<e xmlns:p" + std::to_string(i) + "='u'/>";
    EXPECT_TRUE(walk(declared + "<f xmlnsx='u'/></r>").eof);
    w = walk(declared + "<f xmlns = 'u'/></r>");
    EXPECT_EQ(w.nodes.size(), 65u);
    EXPECT_LT(w.last, 0);
}

// Nested entities that, expanded, would take seconds and hundreds of megabytes. A timing test:
// the refusal must come before any expansion could.
std::string laughs(int depth, const std::string& use) {
    std::string doc = "<?xml version=\"1.0\"?><!-- before --><!DOCTYPE r [<!ENTITY a0 \"lol\">";
    for (int i = 1; i <= depth; ++i) {
        doc += "<!ENTITY a" + std::to_string(i) + " \"";
        for (int k = 0; k < 10; ++k) doc += "&a" + std::to_string(i - 1) + ";";
        doc += "\">";
    }
    return doc + "]>" + use;
}

TEST(LibXmlReader, NestedEntitiesAreRefusedBeforeAnyIsDeclared) {
    for (const std::string& use : {std::string("<r>&a8;</r>"), std::string("<r a=\"&a8;\"/>")}) {
        const auto start = std::chrono::steady_clock::now();
        auto w = walk(laughs(8, use));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200)) << use;
        EXPECT_EQ(w.nodes, (std::vector<std::string>{"decl:version=1.0", "comment"}));
        EXPECT_LT(w.last, 0);
        EXPECT_FALSE(w.eof);
    }
    // Nor after an earlier error: the parse ends at the first one.
    const auto start = std::chrono::steady_clock::now();
    auto late = walk("<?xml version=\"1.0\" encodinUT\"F=g-8\"?>" +
                     laughs(8, "<r a=\"&a8;\"/>").substr(21));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
    EXPECT_LT(late.last, 0);
    // Without a DOCTYPE an entity other than the predefined ones cannot be known: refused.
    auto w = walk("<r a=\"&amp;&#65;\"><b/>&x;<c/></r>");
    EXPECT_EQ(w.nodes, (std::vector<std::string>{"element:r", "element:b"}));
    EXPECT_LT(w.last, 0);
}

// A file as an editor saves "Unicode": UTF-16 with a byte-order mark, little or big endian.
std::string utf16(const std::u16string& text, bool littleEndian, bool mark = true) {
    std::string out;
    if (mark) out = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
    for (char16_t c : text) {
        const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
        out += littleEndian ? std::string{lo, hi} : std::string{hi, lo};
    }
    return out;
}

TEST(LibXmlReader, ReadsUtf16InEitherByteOrder) {
    const std::u16string doc =
        u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<r a=\"\u00e9\u20ac\"><b/></r>";
    for (bool le : {true, false}) {
        auto w = walk(utf16(doc, le));
        EXPECT_EQ(w.nodes, (std::vector<std::string>{"decl:version=1.0,encoding=UTF-16",
                                                     "element:r", "element:b"}))
            << le;
        EXPECT_TRUE(w.eof) << le;
    }
    // Without a mark, by its first characters.
    EXPECT_EQ(walk(utf16(doc, true, false)).nodes.size(), 3u);
    // A lone surrogate ends the document there, after the nodes before it.
    auto w = walk(utf16(u"<?xml version=\"1.0\"?><r><b/>\xD800<c/></r>", true));
    EXPECT_EQ(w.nodes, (std::vector<std::string>{"decl:version=1.0", "element:r", "element:b"}));
    EXPECT_LT(w.last, 0);
    // So does an odd byte at the end.
    EXPECT_LT(walk(utf16(u"<?xml version=\"1.0\"?><r/>", false) + "x").last, 0);
}

}  // namespace
