// Loading: results, first error messages and the element index.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "xml/document.h"

namespace {

using xml::ElementRecord;

struct LoadCase {
    const char* name;
    std::string text;
    bool loads;
    std::string error;
};

TEST(XmlLoad, ResultsAndFirstErrors) {
    const LoadCase cases[] = {
        {"empty", "", false, "Empty document"},
        {"comment only", "<!-- c -->", false, "No root element"},
        {"white space only", " \r\n\t", false, "No root element"},
        {"sibling roots", "<a/><b/>", false, "Root element has sibling"},
        {"mismatched", "<a><b></a>", false, "End tag 'a' at offset 7 does not match start tag 'b' at offset 3"},
        {"unended", "<a>", false, "Element 'a' at offset 0 not ended"},
        {"stray end tag inside", "<a></b></a>", false, "No start tag for end tag 'b' at offset 3"},
        {"stray end tag after root", "<QX_ZCD/></x>", false, "No start tag for end tag 'x' at offset 9"},
        {"end tag of other case", "<a>x</A>", false, "No start tag for end tag 'A' at offset 4"},
        {"bad tag name", "<r><1/></r>", false, "Incorrect tag name character at offset 3"},
        {"bad tag name as only node", "<1/>", false, "No root element"},
        {"bad ! tag", "<a><!x></a>", false, "Incorrect ! tag at offset 3"},
        {"bad comment opening", "<a><!-x--></a>", false, "Incorrect comment tag at offset 3"},
        {"bad section", "<a><![X[y]]></a>", false, "Incorrect tag at offset 3"},
        {"unterminated comment", "<a><!-- x", false, "Comment at offset 3 unterminated"},
        {"unterminated start tag", "<a><b x='1'", false, "Element tag at offset 3 unterminated"},
        {"unterminated end tag", "<a></a", false, "Element end tag at offset 3 unterminated"},
        {"unterminated CDATA", "<a><![CDATA[x]>", false, "CDATA Section at offset 3 unterminated"},
        {"unterminated instruction", "<a><?pi x>", false, "Processing instruction at offset 3 unterminated"},
        {"unterminated doctype", "<a><!DOCTYPE x [", false, "Doctype at offset 3 unterminated"},
        {"unterminated declaration", "<a><!ENTITY x", false, "Doctype at offset 3 unterminated"},
        {"lone <", "<a><", false, "tag at offset 3 unterminated"},
        // Inside a doctype, the offset is that of the last inner '>'.
        {"error inside doctype", "<!DOCTYPE r [<!ELEMENT r ANY><!x <r/>", false, "Incorrect ! tag at offset 28"},
        {"quoted > in attribute", "<a title=\"x>y\"/>", true, ""},
        {"doctype with internal subset", "<!DOCTYPE r [<!ELEMENT r ANY>]><r/>", true, ""},
        {"doctype with quoted > in subset", "<!DOCTYPE r [<!ENTITY e \"a>b\">]><r/>", true, ""},
        {"declaration", "<?xml version=\"1.0\"?><a/>", true, ""},
        {"<!--> is a comment", "<!--><a/>", true, ""},
        {"comments around root", "<!-- a --><r><!-- b --></r><!-- c -->\r\n", true, ""},
        {"nested", "<a><b>t</b><c/></a>", true, ""},
        {"end tag with white space", "<a></a >", true, ""},
        {"CDATA with markup", "<a><![CDATA[<b></c>]]></a>", true, ""},
    };
    for (const LoadCase& c : cases) {
        CXmlDocument doc;
        EXPECT_EQ(doc.LoadText(c.text), c.loads) << c.name;
        EXPECT_EQ(doc.ParseSucceeded(), c.loads) << c.name;
        EXPECT_EQ(doc.GetError(), c.error) << c.name;
    }
}

TEST(XmlLoad, ConstructedDocumentIsTheEmptyText) {
    CXmlDocument doc;
    EXPECT_FALSE(doc.ParseSucceeded());
    EXPECT_EQ(doc.GetError(), "Empty document");
    EXPECT_EQ(doc.GetRecordCount(), 1u);
    EXPECT_FALSE(doc.LoadText(static_cast<const char*>(nullptr)));
    EXPECT_EQ(doc.GetError(), "Empty document");
}

TEST(XmlLoad, ReloadReplacesEverything) {
    CXmlDocument doc;
    ASSERT_FALSE(doc.LoadText("<a><b>"));
    ASSERT_TRUE(doc.LoadText("<r><k>v</k></r>"));
    EXPECT_EQ(doc.GetError(), "");
    EXPECT_EQ(doc.GetRecordCount(), 3u);
    ASSERT_TRUE(doc.SelectElement("r"));
    ASSERT_TRUE(doc.SelectChildElement("k"));
    EXPECT_EQ(doc.ChildText(), "v");
    // A load resets the cursor.
    ASSERT_TRUE(doc.LoadText("<q/>"));
    EXPECT_EQ(doc.GetMainPosition(), 0u);
    EXPECT_EQ(doc.GetChildPosition(), 0u);
}

TEST(XmlLoad, TextEndsAtAZeroByte) {
    CXmlDocument doc;
    EXPECT_TRUE(doc.LoadText(std::string("<a/>\0<b/>", 9)));
    EXPECT_EQ(doc.GetRecord(0).length, 4u);
}

TEST(XmlIndex, WellFormedTree) {
    CXmlDocument doc;
    ASSERT_TRUE(doc.LoadText("<a><b>t</b><c/><d x='1'></d></a>"));
    // Entries in document order: 1 a, 2 b, 3 c, 4 d.
    const ElementRecord document = doc.GetRecord(0), a = doc.GetRecord(1), b = doc.GetRecord(2),
                        c = doc.GetRecord(3), d = doc.GetRecord(4);
    EXPECT_EQ(document.length, 32u);
    EXPECT_EQ(document.firstChild, 1u);

    EXPECT_EQ(a.start, 0u);
    EXPECT_EQ(a.length, 32u);
    EXPECT_EQ(a.StartTagLength(), 3u);
    EXPECT_EQ(a.EndTagLength(), 4u);
    EXPECT_EQ(a.flagsAndLevel, xml::ELEM_FIRST_CHILD | 0u);
    EXPECT_EQ(a.firstChild, 2u);

    EXPECT_EQ(b.start, 3u);
    EXPECT_EQ(b.length, 8u);
    EXPECT_EQ(b.flagsAndLevel, xml::ELEM_FIRST_CHILD | 1u);
    EXPECT_EQ(b.parent, 1u);
    EXPECT_EQ(b.nextSibling, 3u);
    EXPECT_EQ(b.prevSibling, 4u);  // the first child's link to the last

    EXPECT_EQ(c.length, 4u);
    EXPECT_EQ(c.EndTagLength(), 0u);
    EXPECT_EQ(c.flagsAndLevel, 1u);
    EXPECT_EQ(c.prevSibling, 2u);
    EXPECT_EQ(c.nextSibling, 4u);

    EXPECT_EQ(d.StartTagLength(), 9u);
    EXPECT_EQ(d.EndTagLength(), 4u);
    EXPECT_EQ(d.nextSibling, 0u);
    EXPECT_EQ(d.prevSibling, 3u);
}

TEST(XmlIndex, MismatchedEndTagLeavesInnerElementUnended) {
    CXmlDocument doc;
    ASSERT_FALSE(doc.LoadText("<a><b></a>"));
    const ElementRecord document = doc.GetRecord(0), a = doc.GetRecord(1), b = doc.GetRecord(2);
    EXPECT_TRUE(document.flagsAndLevel & xml::ELEM_ILL_FORMED);
    EXPECT_EQ(a.length, 10u);
    EXPECT_EQ(a.EndTagLength(), 4u);
    EXPECT_FALSE(a.flagsAndLevel & xml::ELEM_NOT_ENDED);
    EXPECT_TRUE(b.flagsAndLevel & xml::ELEM_NOT_ENDED);
    EXPECT_EQ(b.length, 3u);
    EXPECT_EQ(b.EndTagLength(), 0u);
    EXPECT_EQ(b.parent, 1u);
}

TEST(XmlIndex, StrayEndTagMarksItsParent) {
    CXmlDocument doc;
    ASSERT_FALSE(doc.LoadText("<a></b></a>"));
    const ElementRecord a = doc.GetRecord(1);
    EXPECT_EQ(a.length, 11u);
    EXPECT_TRUE(a.flagsAndLevel & xml::ELEM_HAS_ERROR);
    EXPECT_TRUE(doc.GetRecord(0).flagsAndLevel & xml::ELEM_ILL_FORMED);
}

// An unended element keeps its start tag only; its children follow it, and
// its error flag moves to its parent.
TEST(XmlIndex, UnendedElementsChildrenMoveUp) {
    CXmlDocument doc;
    ASSERT_FALSE(doc.LoadText("<r><a><b/><1/><c/></r>"));
    EXPECT_EQ(doc.GetError(), "Incorrect tag name character at offset 10");
    // 1 r, 2 a, 3 b, 4 c
    const ElementRecord r = doc.GetRecord(1), a = doc.GetRecord(2), b = doc.GetRecord(3), c = doc.GetRecord(4);
    EXPECT_TRUE(a.flagsAndLevel & xml::ELEM_NOT_ENDED);
    EXPECT_FALSE(a.flagsAndLevel & xml::ELEM_HAS_ERROR);
    EXPECT_TRUE(r.flagsAndLevel & xml::ELEM_HAS_ERROR);
    EXPECT_EQ(a.length, 3u);
    EXPECT_EQ(a.firstChild, 0u);
    EXPECT_EQ(r.firstChild, 2u);
    EXPECT_EQ(a.nextSibling, 3u);
    EXPECT_EQ(b.parent, 1u);
    EXPECT_EQ(b.prevSibling, 2u);
    EXPECT_EQ(b.nextSibling, 4u);
    EXPECT_EQ(c.parent, 1u);
    EXPECT_EQ(c.nextSibling, 0u);
    EXPECT_EQ(doc.GetRecord(2).prevSibling, 4u);  // a, r's first child, links to the new last
    EXPECT_EQ(r.length, 22u);
}

TEST(XmlIndex, UnendedRootWithChildrenHasSiblings) {
    CXmlDocument doc;
    ASSERT_FALSE(doc.LoadText("<a><b/>"));
    EXPECT_EQ(doc.GetError(), "Root element has sibling");
    EXPECT_EQ(doc.GetRecord(1).nextSibling, 2u);
    EXPECT_EQ(doc.GetRecord(2).parent, 0u);
}

TEST(XmlIndex, SiblingRootsAreBothIndexed) {
    CXmlDocument doc;
    ASSERT_FALSE(doc.LoadText("<a/><b/>"));
    EXPECT_EQ(doc.GetRecord(0).firstChild, 1u);
    EXPECT_EQ(doc.GetRecord(1).nextSibling, 2u);
    EXPECT_EQ(doc.GetRecord(2).start, 4u);
}

// Many elements: the index grows by half and across its 65,536-entry blocks.
TEST(XmlIndex, GrowsAcrossBlocks) {
    const std::uint32_t count = 140000;
    std::string text = "<r>";
    for (std::uint32_t i = 0; i < count; ++i) text += "<b/>";
    text += "</r>";
    CXmlDocument doc;
    ASSERT_TRUE(doc.LoadText(text));
    EXPECT_EQ(doc.GetRecordCount(), count + 2);
    EXPECT_GE(doc.GetRecordCapacity(), count + 2);

    std::uint32_t seen = 0;
    std::uint32_t previous = doc.GetRecord(1).firstChild;
    for (std::uint32_t e = previous; e != 0; e = doc.GetRecord(e).nextSibling) {
        const ElementRecord record = doc.GetRecord(e);
        ASSERT_EQ(record.start, 3 + 4 * seen) << "element " << seen;
        ASSERT_EQ(record.parent, 1u);
        ASSERT_EQ(record.prevSibling, seen == 0 ? count + 1 : previous);
        previous = e;
        ++seen;
    }
    EXPECT_EQ(seen, count);

    // Reading through the cursor reaches the last one too.
    ASSERT_TRUE(doc.SelectElement("r"));
    std::uint32_t selected = 0;
    while (doc.SelectChildElement("b")) ++selected;
    EXPECT_EQ(selected, count);
}

// Nesting deeper than the 16-bit level field: the level wraps and never
// spills into the flags.
TEST(XmlIndex, DeepNesting) {
    const std::uint32_t depth = 70000;
    std::string text;
    for (std::uint32_t i = 0; i < depth; ++i) text += "<a>";
    text += "x";
    for (std::uint32_t i = 0; i < depth; ++i) text += "</a>";
    CXmlDocument doc;
    ASSERT_TRUE(doc.LoadText(text));
    const ElementRecord innermost = doc.GetRecord(depth);
    EXPECT_EQ(innermost.flagsAndLevel, xml::ELEM_FIRST_CHILD | ((depth - 1) & 0xffff));
    EXPECT_EQ(innermost.start, 3 * (depth - 1));
    EXPECT_EQ(doc.ElementText(depth), "x");
}

std::string Repeat(char c, std::size_t n) { return std::string(n, c); }

// A start tag of 1 MiB or more, or an end tag of 1,024 bytes or more, does
// not fit the packed tag lengths: it is an error and the document does not
// load. One byte less still loads with the right lengths.
TEST(XmlIndex, OverlongTagsAreErrors) {
    const std::size_t kMiB = 1 << 20;
    struct TagCase {
        const char* name;
        std::string text;
        bool loads;
        std::string error;
        std::uint32_t startTag, endTag;  // of element 2, when it loads
    };
    // "<a x='" + value + "'/>" is value + 9 bytes; "</a" + spaces + ">" is spaces + 4.
    const TagCase cases[] = {
        {"start tag below 1 MiB", "<r><a x='" + Repeat('v', kMiB - 10) + "'/></r>", true, "",
         std::uint32_t(kMiB - 1), 0},
        {"start tag of 1 MiB", "<r><a x='" + Repeat('v', kMiB - 9) + "'/></r>", false,
         "Incorrect tag length at offset 3", 0, 0},
        {"end tag below 1 KiB", "<r><a>t</a" + Repeat(' ', 1019) + "></r>", true, "", 3, 1023},
        {"end tag of 1 KiB", "<r><a>t</a" + Repeat(' ', 1020) + "></r>", false,
         "Incorrect tag length at offset 7", 0, 0},
    };
    for (const TagCase& c : cases) {
        CXmlDocument doc;
        EXPECT_EQ(doc.LoadText(c.text), c.loads) << c.name;
        EXPECT_EQ(doc.GetError(), c.error) << c.name;
        if (c.loads) {
            const ElementRecord a = doc.GetRecord(2);
            EXPECT_EQ(a.StartTagLength(), c.startTag) << c.name;
            EXPECT_EQ(a.EndTagLength(), c.endTag) << c.name;
            EXPECT_EQ(doc.GetRecord(1).length, c.text.size()) << c.name;
        }
    }
}

TEST(XmlIndex, NoCaseFlagMakesEndTagsMatchInAnyCase) {
    CXmlDocument doc;
    doc.SetDocFlags(xml::NAME_NO_CASE);
    EXPECT_TRUE(doc.LoadText("<a>x</A>"));
    doc.SetDocFlags(0);
    EXPECT_FALSE(doc.LoadText("<a>x</A>"));
}

}  // namespace
