// Double-byte code pages: a trail byte is never taken for a delimiter.
#include <gtest/gtest.h>

#include <string>

#include "platform/strings.h"
#include "xml/document.h"

namespace {

class XmlDoubleByte : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(platform::SetLeadByteCodePage(932)); }
    void TearDown() override { platform::SetLeadByteCodePage(0); }
};

// Each document is loaded under code page 932 (0x81 is a lead byte) and
// under a single-byte code page, where the same bytes mean something else.
TEST_F(XmlDoubleByte, TrailBytesAreNotDelimiters) {
    const struct {
        const char* name;
        std::string text;
        bool loadsDoubleByte;
        std::string rootTextDoubleByte;
        bool loadsSingleByte;
        std::string rootTextSingleByte;
    } cases[] = {
        {"'<' trail in text", "<r>\x81<</r>", true, "\x81<", false, ""},
        {"'>' trail in quoted value", "<r a='\x81'>'/>", true, "", false, ""},
        {"'-' trail before comment end", "<r><!-- \x81--></r>", false, "", true, ""},
        {"']' trail before section end", "<r><![CDATA[\x81]]>]]></r>", true, "\x81]]>", true, "\x81]]>"},
        {"'>' trail in tag name", "<\x81>>x</\x81>>", true, "x", true, ">x"},
        {"'&' trail in text", "<r>\x81&amp;</r>", true, "\x81&amp;", true, "\x81&"},
        {"lead byte before the end", "<r>\x81", false, "", false, ""},
    };
    for (const auto& c : cases) {
        platform::SetLeadByteCodePage(932);
        CXmlDocument doc;
        EXPECT_EQ(doc.LoadText(c.text), c.loadsDoubleByte) << c.name << ": " << doc.GetError();
        if (c.loadsDoubleByte) {
            EXPECT_EQ(doc.ElementText(1), c.rootTextDoubleByte) << c.name;
        }

        platform::SetLeadByteCodePage(0);
        CXmlDocument single;
        EXPECT_EQ(single.LoadText(c.text), c.loadsSingleByte) << c.name << " (single-byte): " << single.GetError();
        if (c.loadsSingleByte) {
            EXPECT_EQ(single.ElementText(1), c.rootTextSingleByte) << c.name << " (single-byte)";
        }
    }
}

TEST_F(XmlDoubleByte, ErrorMessagesForTrailBytes) {
    CXmlDocument doc;
    EXPECT_FALSE(doc.LoadText("<r><!-- \x81--></r>"));
    EXPECT_EQ(doc.GetError(), "Comment at offset 3 unterminated");
    EXPECT_FALSE(doc.LoadText("<r>\x81"));
    EXPECT_EQ(doc.GetError(), "Element 'r' at offset 0 not ended");
}

TEST_F(XmlDoubleByte, SearchNameKeepsTrailBackslash) {
    CXmlDocument doc;
    ASSERT_TRUE(doc.LoadText("<r><\x81\\>v</\x81\\></r>"));
    ASSERT_TRUE(doc.SelectElement("r"));
    ASSERT_TRUE(doc.SelectChildElement("\x81\\"));
    EXPECT_EQ(doc.ChildText(), "v");
    doc.RewindChildren();
    EXPECT_FALSE(doc.SelectChildElement("\x81"));
}

TEST_F(XmlDoubleByte, DecodeEntitiesCopiesCharactersWhole) {
    const struct {
        const char* input;
        std::ptrdiff_t length;
        std::string output;
    } cases[] = {
        {"\x81&amp;", -1, "\x81&amp;"},
        {"\x81\x81&amp;", -1, "\x81\x81&"},
        {"a\x81", -1, "a\x81"},
        {"\x81&", 1, "\x81"},  // a lead byte at the end of the input takes nothing after it
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CXmlDocument::DecodeEntities(c.input, c.length), c.output) << c.input;
    }
}

}  // namespace
