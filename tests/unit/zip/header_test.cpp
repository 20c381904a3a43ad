// Interpreting an entry's header: attributes by system family, the folder
// test, the modification time.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <vector>

#include "fixtures.h"
#include "platform/strings.h"
#include "zip/fileheader.h"

namespace {

CZipFileHeader Header(int system, std::uint32_t external, const std::string& name) {
    CZipFileHeader header;
    header.m_uVersionMadeBy = static_cast<std::uint16_t>((system << 8) | 20);
    header.m_uExternalAttr = external;
    header.m_name.Allocate(static_cast<std::uint32_t>(name.size()));
    if (!name.empty()) std::memcpy(header.m_name.data(), name.data(), name.size());
    return header;
}

TEST(ZipFileHeader, AttributesBySystemFamily) {
    const struct {
        int system;
        std::uint32_t external;
        const char* name;
        std::uint32_t attributes;
    } cases[] = {
        {0, 0x21, "a.txt", 0x21},                     // MS-DOS: unchanged
        {0, 0x81ED0020, "a.txt", 0x81ED0020},         // including the high bits
        {6, 0x22, "a.txt", 0x22},                     // OS/2
        {10, 0x27, "a.txt", 0x27},                    // NTFS
        {7, 0xFF, "a.txt", 0x11},                     // Macintosh keeps read-only and folder
        {3, 0x41ED0010, "d\\", 0x10},                 // Unix folder, mode 755
        {3, 0x81ED0000, "tool", 0x00},                // executable, writable, readable
        {3, 0x81A40000, "a.txt", 0x20},               // not executable
        {3, 0x81240000, "ro.txt", 0x21},              // not writable: read-only
        {3, 0x80000000, "none", 0x23},                // no owner bits at all
        {3, 0, "zero", 0x23},
        {3, 0, "zerofolder\\", 0x41FF0010},           // 0 and a trailing separator: folder default
        {0, 0, "dos\\", 0x41FF0010},
        {0, 0, "dos/", 0x41FF0010},
        {7, 0, "mac\\", 0x41FF0010},
        {1, 0x12345678, "amiga.txt", 0x81A40020},     // unsupported: defaults
        {1, 0x12345678, "amiga\\", 0x41FF0010},
        {19, 0x20, "future.txt", 0x81A40020},
    };
    for (const auto& c : cases) {
        const CZipFileHeader header = Header(c.system, c.external, c.name);
        EXPECT_EQ(header.GetAttributes(), c.attributes) << c.system << " " << c.name;
        EXPECT_EQ(header.IsFolder(), (c.attributes & 0x10) != 0) << c.system << " " << c.name;
    }
}

TEST(ZipFileHeader, ConvertAttributesBetweenFamilies) {
    EXPECT_EQ(zip::ConvertAttributes(0x21, 0, 3), 0x81240000u) << "read-only file to Unix";
    EXPECT_EQ(zip::ConvertAttributes(0x10, 0, 3), 0x41B40010u) << "folder to Unix";
    EXPECT_EQ(zip::ConvertAttributes(0x02, 0, 3), 0x80900000u) << "hidden: no read bits";
    EXPECT_EQ(zip::ConvertAttributes(0xABCD, 3, 3), 0xABCDu) << "same family";
    EXPECT_EQ(zip::ConvertAttributes(0xABCD, 12, 0), 0xABCDu) << "family 11 or more";
    for (int system : {1, 2, 4, 5, 8, 9}) {
        const CZipException e = ziptest::Caught([&] { zip::ConvertAttributes(0x20, system, 0); });
        EXPECT_EQ(e.m_nCode, 115) << system;
        EXPECT_TRUE(e.m_strFileName.empty());
        EXPECT_EQ(ziptest::Caught([&] { zip::ConvertAttributes(0x20, 0, system); }).m_nCode, 115) << system;
    }
}

TEST(ZipFileHeader, TrailByteIsNoSeparator) {
    // 0x95 0x5C is one Shift-JIS character whose trail byte is '\'.
    EXPECT_TRUE(Header(0, 0, "x\x95\x5C").IsFolder()) << "single-byte code page: 0x5C separates";
    ziptest::CodePage shiftJis(932);
    EXPECT_FALSE(Header(0, 0, "x\x95\x5C").IsFolder());
    EXPECT_TRUE(Header(0, 0, "x\x95\x5C\\").IsFolder());
}

TEST(ZipFileHeader, ModificationTimeIsLocalCalendarTime) {
    const struct {
        std::uint16_t date, time;
        int year, month, day, hour, minute, second;
    } cases[] = {
        {static_cast<std::uint16_t>((41 << 9) | (6 << 5) | 15), static_cast<std::uint16_t>((13 << 11) | (45 << 5) | 15),
         2021, 6, 15, 13, 45, 30},
        {static_cast<std::uint16_t>((0 << 9) | (1 << 5) | 1), 0, 1980, 1, 1, 0, 0, 0},
        {static_cast<std::uint16_t>((127 << 9) | (12 << 5) | 31), static_cast<std::uint16_t>((23 << 11) | (59 << 5) | 29),
         2107, 12, 31, 23, 59, 58},
    };
    for (const auto& c : cases) {
        CZipFileHeader header;
        header.m_uModDate = c.date;
        header.m_uModTime = c.time;
        std::tm expected{};
        expected.tm_year = c.year - 1900;
        expected.tm_mon = c.month - 1;
        expected.tm_mday = c.day;
        expected.tm_hour = c.hour;
        expected.tm_min = c.minute;
        expected.tm_sec = c.second;
        expected.tm_isdst = -1;
        EXPECT_EQ(header.GetModTime(), static_cast<std::int64_t>(std::mktime(&expected))) << c.year;
        const std::time_t back = static_cast<std::time_t>(header.GetModTime());
        const std::tm* local = std::localtime(&back);
        ASSERT_NE(local, nullptr);
        EXPECT_EQ(local->tm_year + 1900, c.year);
        EXPECT_EQ(local->tm_mday, c.day);
        EXPECT_EQ(local->tm_min, c.minute);
        EXPECT_EQ(local->tm_sec, c.second);
    }
}

// The extended timestamp is the time itself: an archive written in UTC
// (sfxpack's) or in another time zone extracts with the right times here.
TEST(ZipFileHeader, TheExtendedTimestampWinsOverTheLocalTime) {
    const std::uint16_t dosDate = static_cast<std::uint16_t>((41 << 9) | (6 << 5) | 15);  // 2021-06-15
    const std::uint16_t dosTime = static_cast<std::uint16_t>(13 << 11);                 // 13:00, somewhere
    const std::uint32_t utc = 1623762000;                                                 // 2021-06-15 13:00 UTC
    const struct {
        const char* what;
        std::vector<unsigned char> extra;
        bool extended;
    } cases[] = {
        {"timestamp alone", {0x55, 0x54, 5, 0, 1, 0x50, 0xA4, 0xC8, 0x60}, true},
        {"after another field", {0x01, 0xCA, 2, 0, 9, 9, 0x55, 0x54, 5, 0, 1, 0x50, 0xA4, 0xC8, 0x60}, true},
        {"modification time not given", {0x55, 0x54, 5, 0, 2, 0x50, 0xA4, 0xC8, 0x60}, false},
        {"cut short", {0x55, 0x54, 5, 0, 1, 0x50}, false},
        {"none", {}, false},
    };
    for (const auto& c : cases) {
        CZipFileHeader header;
        header.m_uModDate = dosDate;
        header.m_uModTime = dosTime;
        header.m_extraField.Allocate(static_cast<std::uint32_t>(c.extra.size()));
        if (!c.extra.empty()) std::memcpy(header.m_extraField.data(), c.extra.data(), c.extra.size());
        const std::int64_t local = zip::DosTimeToTime(dosDate, dosTime);
        EXPECT_EQ(header.GetModTime(), c.extended ? static_cast<std::int64_t>(utc) : local) << c.what;
    }
}

TEST(ZipFileHeader, CopiesAreDeep) {
    CZipFileHeader original = Header(3, 0x81A40000, "name.txt");
    CZipFileHeader copy = original;
    original.m_name.data()[0] = 'N';
    EXPECT_EQ(copy.GetName(), "name.txt");
    EXPECT_EQ(original.GetName(), "Name.txt");
}

}  // namespace
