// The XmlLite reader as the configuration reading uses it, on the platform's own XmlLite.
#include "platform/win32/xml/xmllite_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/globals.h"
#include "buttons/configuration.h"
#include "platform/ports.h"

namespace {

using platform::XmlNodeType;

struct Walk {
    std::vector<std::string> nodes;  // "element:p:name", "decl:version=1.0,encoding=UTF-8", ...
    int32_t last = 0;
    bool eof = false;
};

std::span<const uint8_t> bytes(const std::string& doc) {
    return {reinterpret_cast<const uint8_t*>(doc.data()), doc.size()};
}

std::string attributesOf(platform::XmlPullReader& r) {
    std::string out;
    for (int32_t a = r.moveToFirstAttribute(); a == platform::XML_S_OK;
         a = r.moveToNextAttribute()) {
        std::string n, v;
        EXPECT_TRUE(r.localName(n));
        EXPECT_TRUE(r.value(v));
        EXPECT_FALSE(r.isDefault());
        out.append(out.empty() ? "" : ",").append(n).append("=").append(v);
    }
    return out;
}

Walk walk(const std::string& doc) {
    platform::win32::XmlLiteReaders readers;
    auto r = readers.open(bytes(doc));
    Walk w;
    if (!r) {
        ADD_FAILURE() << "no reader";
        return w;
    }
    XmlNodeType t;
    while ((w.last = r->read(t)) == platform::XML_S_OK) {
        std::string prefix, name;
        EXPECT_TRUE(r->prefix(prefix));
        EXPECT_TRUE(r->localName(name));
        if (t == XmlNodeType::XmlDeclaration) {
            w.nodes.push_back("decl:" + attributesOf(*r));
        } else if (t == XmlNodeType::Element) {
            w.nodes.push_back("element:" + prefix);
            w.nodes.back().append(":").append(name);
            const std::string attrs = attributesOf(*r);
            if (!attrs.empty()) w.nodes.back() += "[" + attrs + "]";
        } else if (t == XmlNodeType::Comment) {
            w.nodes.push_back("comment");
        }
    }
    w.eof = r->isEndOfFile();
    return w;
}

TEST(XmlLiteReader, GivesTheDeclarationAndEachElementWithItsPrefixAndAttributes) {
    auto w = walk(
        "<?xml version=\"1.0\" encoding='UTF-8'?>\n<!-- c -->"
        "<q:R xmlns:q=\"urn:x\"><B Id=\"\xC3\xA9\" n='1'/></q:R>");
    EXPECT_EQ(w.nodes,
              (std::vector<std::string>{"decl:version=1.0,encoding=UTF-8", "comment",
                                        "element:q:R[q=urn:x]", "element::B[Id=\xC3\xA9,n=1]"}));
    EXPECT_EQ(w.last, platform::XML_S_FALSE);
    EXPECT_TRUE(w.eof);
    EXPECT_EQ(walk("<r/>").nodes, (std::vector<std::string>{"element::r"}));
}

TEST(XmlLiteReader, ADoctypeFailsTheReadAfterTheNodesBeforeIt) {
    auto w = walk("<?xml version=\"1.0\"?><!-- c --><!DOCTYPE r [<!ENTITY e \"x\">]><r>&e;</r>");
    EXPECT_EQ(w.nodes, (std::vector<std::string>{"decl:version=1.0", "comment"}));
    EXPECT_LT(w.last, 0);
    EXPECT_FALSE(w.eof);
}

TEST(XmlLiteReader, MalformedInputFailsAfterTheNodesBeforeTheFault) {
    auto w = walk("<r><a/><b x=\"1");
    EXPECT_EQ(w.nodes, (std::vector<std::string>{"element::r", "element::a"}));
    EXPECT_LT(w.last, 0);
    EXPECT_FALSE(w.eof);
    // Each of these ends Wine's XmlLite at once (an abort), or never (the same node for ever).
    for (const std::string& doc :
         {std::string(), std::string("\x00\x01\x02\xFF", 4), std::string("<?xml"),
          std::string("<?x"), std::string("<?xml version=\"1.0\"?>"), std::string("<r></s>"),
          std::string("<r/><r/>"), std::string("<r><![CDATA["), std::string("<r>&am")}) {
        w = walk(doc);
        EXPECT_LT(w.last, 0) << doc;
        EXPECT_FALSE(w.eof) << doc;
    }
}

TEST(XmlLiteReader, FailsExactlyAtThe257thNestedElement) {
    std::string deep;
    for (int i = 0; i < 300; ++i) deep += "<e>";
    auto w = walk(deep);
    EXPECT_EQ(w.nodes.size(), 256u);
    EXPECT_LT(w.last, 0);
    EXPECT_FALSE(w.eof);
    std::string ok;
    for (int i = 0; i < 256; ++i) ok += "<e>";
    for (int i = 0; i < 256; ++i) ok += "</e>";
    w = walk(ok);
    EXPECT_EQ(w.nodes.size(), 256u);
    EXPECT_TRUE(w.eof);
}

// The core's configuration reading through this reader: the files it meets.
class XmlLiteConfigurationTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetGlobals();
        resetButtonConfiguration();
        platform::Ports p;
        p.xmlReaders = std::make_unique<platform::win32::XmlLiteReaders>();
        platform::installPorts(std::move(p));
    }
    void TearDown() override {
        resetButtonConfiguration();
        platform::installPorts({});
    }
    std::vector<uint32_t> read(const std::string& doc) {
        XmlLiteReader(bytes(doc));
        std::vector<uint32_t> out;
        for (const auto& e : loggedEvents()) out.push_back(e.id);
        return out;
    }
};

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";

TEST_F(XmlLiteConfigurationTest, RejectedFilesAreReportedAndLeaveTheDefaults) {
    const std::string up =
        "<Button Id=\"VolumeUpButton\" Enabled=\"false\" Action=\"MuteVolume\"/>";
    const std::string body = "<QZSystemConfiguration><Buttons>" + up;
    // A DOCTYPE, even one that declares nothing.
    EXPECT_EQ(read(kDecl + "<!DOCTYPE QZSystemConfiguration>" + body +
                   "</Buttons></QZSystemConfiguration>"),
              std::vector<uint32_t>{0xC0020102});
    EXPECT_EQ(VolumeUpButton.get(), (ButtonConfiguration{1, IncreaseVolume, {}, 1, 30}));
    // Cut short after a button was applied: that button is back at its default.
    resetButtonConfiguration();
    EXPECT_EQ(read(kDecl + body + "</Buttons"), std::vector<uint32_t>{0xC0020102});
    EXPECT_EQ(VolumeUpButton.get(), (ButtonConfiguration{1, IncreaseVolume, {}, 1, 30}));
    // Too deep: the 257th nested start tag, with 256 counted.
    resetButtonConfiguration();
    std::string deep = kDecl;
    for (int i = 0; i < 300; ++i) deep += "<d>";
    EXPECT_EQ(read(deep), std::vector<uint32_t>{0xC0020101});
    // No declaration: well-formed, but nothing counts.
    resetButtonConfiguration();
    EXPECT_EQ(read(body + "</Buttons></QZSystemConfiguration>"), std::vector<uint32_t>{0xC0020103});
    EXPECT_EQ(VolumeUpButton.get(), (ButtonConfiguration{1, IncreaseVolume, {}, 1, 30}));
}

}  // namespace
