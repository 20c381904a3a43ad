// Element text and reference decoding.
#include <gtest/gtest.h>

#include <string>

#include "xml/document.h"

namespace {

// The text of element `index` (1 = the first start tag) of `document`.
std::string TextOf(const std::string& document, std::uint32_t index) {
    CXmlDocument doc;
    doc.LoadText(document);
    return doc.ElementText(index);
}

TEST(XmlText, ContentDecoding) {
    const struct {
        const char* document;
        std::uint32_t element;  // index in document order, 1 = root
        std::string text;
    } cases[] = {
        {"<a>x &lt; y</a>", 1, "x < y"},
        {"<a>&lt;b&gt;&apos;&quot;&amp;</a>", 1, "<b>'\"&"},
        {"<a>&amp;lt;</a>", 1, "&lt;"},  // decoded once
        {"<a>&#65;&#x42;</a>", 1, "AB"},
        {"<a>a&#x3c;b</a>", 1, "a<b"},
        {"<a>&#0;</a>", 1, "&#0;"},
        {"<a>&#;</a>", 1, "&#;"},
        {"<a>&#-65;</a>", 1, "&#-65;"},
        {"<a>&#1234567;</a>", 1, "&#1234567;"},    // seven digits, but no single-byte character
        {"<a>&#12345678;</a>", 1, "&#12345678;"},  // eight digits: too long
        {"<a>&#x0000041;</a>", 1, "A"},            // seven hex digits still fit
        {"<a>&#255;&#256;</a>", 1, "\xff&#256;"},
        {"<a>&#65</a>", 1, "&#65"},
        {"<a>&nbsp;</a>", 1, "&nbsp;"},
        {"<a>&lt</a>", 1, "&lt"},
        {"<a>&amp</a>", 1, "&amp"},
        {"<a>x&</a>", 1, "x&"},
        {"<a> 5 </a>", 1, " 5 "},
        {"<a>  </a>", 1, "  "},
        {"<a>one<!-- c --><![CDATA[<two>]]> three</a>", 1, "one<two> three"},
        {"<a><![CDATA[x]]>  <![CDATA[y]]></a>", 1, "xy"},
        {"<a><![CDATA[&lt;]]></a>", 1, "&lt;"},  // sections are raw
        {"<a> <!-- c --> </a>", 1, ""},
        {"<a>x<?pi y?>z</a>", 1, "xz"},
        {"<a>x &amp; <!-- c -->y &gt;</a>", 1, "x & y >"},
        {"<a><![C]]>x</a>", 1, "x"},  // keyword cut short: no body, nothing read outside it
        {"<a><b>t</b></a>", 1, ""},
        {"<a><b>t</b></a>", 2, "t"},
        {"<a/>", 1, ""},
        {"<a></a>", 1, ""},
        {"<a x='1'>v</a>", 1, "v"},
        {"<r><a>x</r>", 2, ""},  // never ended
        {"<a>t</a>", 0, ""},     // index 0 is no element
        {"<a>t</a>", 7, ""},     // never handed out
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TextOf(c.document, c.element), c.text) << c.document << " element " << c.element;
    }
}

TEST(XmlText, DecodeEntitiesStaysInsideItsLength) {
    const struct {
        const char* input;
        std::ptrdiff_t length;
        std::string output;
    } cases[] = {
        {"&lt;", -1, "<"},
        {"&lt;", 4, "<"},
        {"&lt;x", 3, "&lt"},     // the name must lie wholly inside the input
        {"&#65;", 4, "&#65"},    // so must the ';' of a numeric reference
        {"&#65;", 5, "A"},
        {"&#x41;", 6, "A"},
        {"a&quot;b", -1, "a\"b"},
        {"", -1, ""},
        {"abc", 0, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CXmlDocument::DecodeEntities(c.input, c.length), c.output) << c.input << " / " << c.length;
    }
    EXPECT_EQ(CXmlDocument::DecodeEntities(nullptr, 3), "");
}

}  // namespace
