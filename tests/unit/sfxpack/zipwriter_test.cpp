// The ZIP writer's host-independent fields: MS-DOS times from UTC, and which
// names are UTF-8.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tools/sfxpack/utf8.h"
#include "tools/sfxpack/zipwriter.h"

namespace {

std::uint16_t Date(int year, int month, int day) { return static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day); }
std::uint16_t Time(int hour, int minute, int second) {
    return static_cast<std::uint16_t>((hour << 11) | (minute << 5) | (second / 2));
}

TEST(ZipWriter, DosTimesComeFromUtcWhateverTheHostsZone) {
    const struct {
        std::int64_t utc;
        std::uint16_t date, time;
    } cases[] = {
        {0, Date(1980, 1, 1), Time(0, 0, 0)},                   // before 1980: the first DOS second
        {315532800, Date(1980, 1, 1), Time(0, 0, 0)},
        {1000000000, Date(2001, 9, 9), Time(1, 46, 40)},
        {951825601, Date(2000, 2, 29), Time(12, 0, 0)},         // leap day; odd second rounds down
        {4107542399, Date(2100, 2, 28), Time(23, 59, 58)},      // 2100 is no leap year
        {4107542400, Date(2100, 3, 1), Time(0, 0, 0)},
        {4354819199, Date(2107, 12, 31), Time(23, 59, 58)},     // the last DOS second
        {9999999999, Date(2107, 12, 31), Time(23, 59, 58)},
    };
    for (const char* zone : {"UTC", "Asia/Tokyo", "America/St_Johns"}) {
        setenv("TZ", zone, 1);
        for (const auto& c : cases) {
            std::uint16_t date = 0, time = 0;
            sfxpack::DosDateTime(c.utc, date, time);
            EXPECT_EQ(date, c.date) << c.utc << " in " << zone;
            EXPECT_EQ(time, c.time) << c.utc << " in " << zone;
        }
    }
    unsetenv("TZ");
}

TEST(ZipWriter, Utf8IsCheckedBeforeANameIsMarkedAsIt) {
    const struct {
        const char* text;
        bool valid;
        std::u16string utf16;
    } cases[] = {
        {"plain", true, u"plain"},
        {"caf\xC3\xA9", true, u"caf\u00E9"},
        {"\xE6\x97\xA5\xE6\x9C\xAC", true, u"\u65E5\u672C"},
        {"\xF0\x9F\x98\x80", true, u"\U0001F600"},            // beyond the BMP: a surrogate pair
        {"caf\xE9", false, u""},                               // Latin-1
        {"\xC3", false, u""},                                  // cut short
        {"\xC0\xAF", false, u""},                              // overlong '/'
        {"\xED\xA0\x80", false, u""},                          // a surrogate
        {"\xF4\x90\x80\x80", false, u""},                      // beyond U+10FFFF
        {"\xE6\x97", false, u""},
    };
    for (const auto& c : cases) {
        std::u16string out;
        EXPECT_EQ(sfxpack::Utf8ToUtf16(c.text, out), c.valid) << c.text;
        if (c.valid) {
            EXPECT_EQ(out, c.utf16) << c.text;
        }
    }
}

}  // namespace
