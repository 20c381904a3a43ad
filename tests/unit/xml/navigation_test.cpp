// The cursor: element searches by name, rewinding and the child text.
#include <gtest/gtest.h>

#include <string>

#include "xml/document.h"

namespace {

const char kNames[] =
    "<r><Running>1</Running><Run>2</Run><run>3</run><Run x='a'>4</Run>"
    "<Run\t/><Ru>6</Ru><Run2>7</Run2><_a:b>8</_a:b></r>";

TEST(XmlNavigation, ChildNamesMatchExactly) {
    const struct {
        const char* key;
        bool found;
        std::string text;
    } cases[] = {
        {"Run", true, "2"},     {"Running", true, "1"}, {"run", true, "3"},  {"Ru", true, "6"},
        {"Run2", true, "7"},    {"_a:b", true, "8"},    {"R", false, ""},     {"Runn", false, ""},
        {"RUN", false, ""},     {"Runnings", false, ""},
    };
    for (const auto& c : cases) {
        CXmlDocument doc;
        ASSERT_TRUE(doc.LoadText(kNames)) << doc.GetError();
        ASSERT_TRUE(doc.SelectElement("r"));
        doc.RewindChildren();
        EXPECT_EQ(doc.SelectChildElement(c.key), c.found) << c.key;
        if (c.found) {
            EXPECT_EQ(doc.ChildText(), c.text) << c.key;
        }
    }
}

// Without a rewind the search goes on after the current child; a rewind
// starts over, so only the first of two children is read by the launcher.
TEST(XmlNavigation, SearchContinuesAfterChildUntilRewound) {
    CXmlDocument doc;
    ASSERT_TRUE(doc.LoadText(kNames));
    ASSERT_TRUE(doc.SelectElement("r"));
    const char* const expected[] = {"2", "4", ""};
    for (const char* text : expected) {
        ASSERT_TRUE(doc.SelectChildElement("Run"));
        EXPECT_EQ(doc.ChildText(), text);
    }
    const std::uint32_t last = doc.GetChildPosition();
    EXPECT_FALSE(doc.SelectChildElement("Run"));
    EXPECT_EQ(doc.GetChildPosition(), last);  // a failed search moves nothing

    for (int round = 0; round < 3; ++round) {
        doc.RewindChildren();
        ASSERT_TRUE(doc.SelectChildElement("Run"));
        EXPECT_EQ(doc.ChildText(), "2");
    }
}

TEST(XmlNavigation, CursorPositionsAndNodeType) {
    CXmlDocument doc;
    ASSERT_TRUE(doc.LoadText("<r><a/><b/></r>"));  // 1 r, 2 a, 3 b
    EXPECT_EQ(doc.GetNodeType(), 0);
    doc.RewindChildren();
    EXPECT_EQ(doc.GetNodeType(), 0);  // no main element

    EXPECT_FALSE(doc.SelectElement("x"));
    EXPECT_EQ(doc.GetMainPosition(), 0u);
    ASSERT_TRUE(doc.SelectElement("r"));
    EXPECT_EQ(doc.GetMainPosition(), 1u);
    EXPECT_EQ(doc.GetParentPosition(), 0u);
    EXPECT_EQ(doc.GetNodeType(), xml::NODE_ELEMENT);

    ASSERT_TRUE(doc.SelectChildElement("b"));
    EXPECT_EQ(doc.GetChildPosition(), 3u);
    EXPECT_EQ(doc.GetMainPosition(), 1u);
    EXPECT_FALSE(doc.SelectChildElement("a"));  // a lies before b
    EXPECT_EQ(doc.GetChildPosition(), 3u);
    doc.RewindChildren();
    EXPECT_EQ(doc.GetChildPosition(), 0u);
    EXPECT_EQ(doc.GetNodeType(), xml::NODE_ELEMENT);
    ASSERT_TRUE(doc.SelectChildElement(nullptr));  // any name: the first child
    EXPECT_EQ(doc.GetChildPosition(), 2u);
    ASSERT_TRUE(doc.SelectChildElement(""));
    EXPECT_EQ(doc.GetChildPosition(), 3u);
    EXPECT_FALSE(doc.SelectChildElement(nullptr));
}

TEST(XmlNavigation, ChildSearchWithoutMainSelectsFirstRoot) {
    CXmlDocument doc;
    ASSERT_TRUE(doc.LoadText("<r><k>v</k></r>"));
    ASSERT_TRUE(doc.SelectChildElement("k"));
    EXPECT_EQ(doc.GetMainPosition(), 1u);
    EXPECT_EQ(doc.ChildText(), "v");
}

// SelectElement walks siblings: the roots of a document that did not load
// are still reachable, in order.
TEST(XmlNavigation, SelectElementWalksSiblings) {
    CXmlDocument doc;
    ASSERT_FALSE(doc.LoadText("<a/><b/><a/>"));
    ASSERT_TRUE(doc.SelectElement("a"));
    EXPECT_EQ(doc.GetMainPosition(), 1u);
    ASSERT_TRUE(doc.SelectElement("a"));
    EXPECT_EQ(doc.GetMainPosition(), 3u);
    EXPECT_FALSE(doc.SelectElement("b"));
    EXPECT_EQ(doc.GetMainPosition(), 3u);
}

TEST(XmlNavigation, RootOnlyAtTheTop) {
    CXmlDocument doc;
    ASSERT_TRUE(doc.LoadText("<r><QX_ZCD/></r>"));
    EXPECT_FALSE(doc.SelectElement("QX_ZCD"));
    EXPECT_EQ(doc.GetMainPosition(), 0u);
}

TEST(XmlNavigation, NoCaseFlagIgnoresCase) {
    CXmlDocument doc;
    ASSERT_TRUE(doc.LoadText("<r><Run>x</Run></r>"));
    doc.SetDocFlags(xml::NAME_NO_CASE);
    ASSERT_TRUE(doc.SelectElement("R"));
    ASSERT_TRUE(doc.SelectChildElement("rUN"));
    EXPECT_EQ(doc.ChildText(), "x");
}

}  // namespace
