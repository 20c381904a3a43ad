// UTF-8 to UTF-16 and back, as the Windows backend converts every text and
// path at its calls.
#include <gtest/gtest.h>

#include <string>

#include "platform/unicode.h"

namespace {

TEST(Unicode, WellFormedTextMakesTheRoundTrip) {
    const struct {
        std::string utf8;
        std::u16string utf16;
    } cases[] = {
        {"", u""},
        {"plain", u"plain"},
        {"caf\xC3\xA9", u"caf\u00E9"},
        {"\xD0\xB4\xD0\xB0", u"\u0434\u0430"},
        {"\xE6\x97\xA5\xE6\x9C\xAC", u"\u65E5\u672C"},
        {"\xEF\xBF\xBF", u"\uFFFF"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
    };
    for (const auto& c : cases) {
        std::u16string wide;
        EXPECT_TRUE(platform::Utf8ToUtf16(c.utf8, wide)) << c.utf8;
        EXPECT_EQ(wide, c.utf16) << c.utf8;
        EXPECT_EQ(platform::Utf16ToUtf8(wide.data(), wide.size()), c.utf8);
        EXPECT_EQ(platform::Utf16Length(c.utf8), c.utf16.size()) << c.utf8;
    }
}

TEST(Unicode, TextThatIsNotUtf8IsRefused) {
    const char* cases[] = {
        "\x80",              // a continuation byte alone
        "a\xC3",             // cut short
        "\xC3\x28",          // a lead byte without its continuation
        "\xC0\xAF",          // overlong '/'
        "\xE0\x80\xAF",      // overlong '/' again
        "\xF0\x82\x82\xAC",  // overlong in four bytes
        "\xF4\x90\x80\x80",  // beyond U+10FFFF
        "\xF8\x88\x80\x80\x80",
        "\xFF",
        "caf\xE9",           // Latin-1, not UTF-8
        "\xED\xA0\x80",      // a surrogate
    };
    for (const char* text : cases) {
        std::u16string wide;
        EXPECT_FALSE(platform::Utf8ToUtf16(text, wide)) << text;
    }
}

TEST(Unicode, LoneSurrogatesOfFileNamesComeBackAsTheyWere) {
    // NTFS names may hold a lone surrogate: listed and deleted again, the
    // name must reach the very same file.
    const std::u16string names[] = {u"a\xD800z", u"\xDFFF", u"x\xDC00\xD800"};
    for (const std::u16string& name : names) {
        const std::string utf8 = platform::Utf16ToUtf8(name.data(), name.size());
        std::u16string back;
        EXPECT_FALSE(platform::Utf8ToUtf16(utf8, back)) << "not for text";
        back.clear();
        EXPECT_TRUE(platform::Utf8ToUtf16(utf8, back, true));
        EXPECT_EQ(back, name);
    }
    // A pair has one form only, the four-byte one.
    std::u16string wide;
    EXPECT_FALSE(platform::Utf8ToUtf16("\xED\xA0\xBD\xED\xB8\x80", wide, true));
}

}  // namespace
