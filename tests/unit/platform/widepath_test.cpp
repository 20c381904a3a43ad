// The extended-length form the Windows backend gives every absolute path:
// the system takes it untouched, so it must already be what the system
// would have made of the ordinary path.
#include <gtest/gtest.h>

#include <string>

#include "platform/widepath.h"

namespace {

TEST(ExtendedLengthPath, FormsOfEveryKindOfPath) {
    const struct {
        std::string path;
        std::string extended;
    } cases[] = {
        // Drive paths.
        {"C:\\a\\b.txt", "\\\\?\\C:\\a\\b.txt"},
        {"c:/a/b", "\\\\?\\c:\\a\\b"},
        {"C:\\", "\\\\?\\C:\\"},
        {"C:\\a\\", "\\\\?\\C:\\a\\"},
        {"C:\\\\a//\\b", "\\\\?\\C:\\a\\b"},
        {"C:\\a\\.\\b\\.", "\\\\?\\C:\\a\\b"},
        {"C:\\a\\b\\..\\c", "\\\\?\\C:\\a\\c"},
        {"C:\\a\\..\\..\\..\\b", "\\\\?\\C:\\b"},  // never above the drive
        {"C:\\a\\..", "\\\\?\\C:\\"},
        {"C:\\T\\qx_ext_temp_0\\*", "\\\\?\\C:\\T\\qx_ext_temp_0\\*"},
        // Names the system would take for devices or trim stay as they are.
        {"C:\\T\\con", "\\\\?\\C:\\T\\con"},
        {"C:\\T\\aux.txt", "\\\\?\\C:\\T\\aux.txt"},
        {"C:\\T\\name. ", "\\\\?\\C:\\T\\name. "},
        {"C:\\T\\...\\x", "\\\\?\\C:\\T\\...\\x"},
        // Shares.
        {"\\\\server\\share\\a\\b", "\\\\?\\UNC\\server\\share\\a\\b"},
        {"//server/share/a", "\\\\?\\UNC\\server\\share\\a"},
        {"\\\\server\\share\\..\\..\\x", "\\\\?\\UNC\\server\\share\\x"},  // never above the share
        {"\\\\server\\share", "\\\\?\\UNC\\server\\share"},
        // Already extended, or a device: the system's as they are.
        {"\\\\?\\C:\\a\\..\\b", "\\\\?\\C:\\a\\..\\b"},
        {"\\\\?\\UNC\\server\\share\\x", "\\\\?\\UNC\\server\\share\\x"},
        {"\\\\.\\COM1", "\\\\.\\COM1"},
        // Relative: resolved by the system against the current folder.
        {"a\\b", "a\\b"},
        {"..\\a", "..\\a"},
        {"\\a\\b", "\\a\\b"},
        {"C:a", "C:a"},
        {"", ""},
        // UTF-8 names pass through.
        {"C:\\данные\\日本語.txt", "\\\\?\\C:\\данные\\日本語.txt"},
    };
    for (const auto& c : cases) {
        std::string result = "unchanged";
        EXPECT_TRUE(platform::ExtendedLengthPath(c.path, result)) << c.path;
        EXPECT_EQ(result, c.extended) << c.path;
    }
}

TEST(ExtendedLengthPath, FitsTheSystemsLongestPathOrFails) {
    // "\\?\C:\" and the rest: 7 units, the terminator one more.
    const std::string longest = "C:\\" + std::string(platform::kMaxWidePath - 8, 'a');
    std::string result;
    EXPECT_TRUE(platform::ExtendedLengthPath(longest, result));
    EXPECT_EQ(result.size(), platform::kMaxWidePath - 1);
    EXPECT_FALSE(platform::ExtendedLengthPath(longest + "a", result));
    // Counted in UTF-16 units, not bytes: 3 bytes of UTF-8 are one unit, 4 bytes two.
    std::string wide = "C:\\";
    for (std::size_t i = 0; i < platform::kMaxWidePath - 8; ++i) wide += "\xE6\x97\xA5";
    EXPECT_TRUE(platform::ExtendedLengthPath(wide, result));
    EXPECT_FALSE(platform::ExtendedLengthPath(wide + "\xF0\x9F\x98\x80", result));
    // Resolving comes first: ".." may bring a path back within the limit.
    EXPECT_TRUE(platform::ExtendedLengthPath(longest + "a\\..", result));
    EXPECT_FALSE(platform::ExtendedLengthPath(std::string(platform::kMaxWidePath, 'r'), result)) << "relative too";
}

TEST(FitsPathLimit, CountsUtf16UnitsAndTheTerminator) {
    EXPECT_TRUE(platform::FitsPathLimit(std::string(259, 'a'), platform::kMaxPlainPath));
    EXPECT_FALSE(platform::FitsPathLimit(std::string(260, 'a'), platform::kMaxPlainPath));
    std::string cyrillic;
    for (int i = 0; i < 259; ++i) cyrillic += "\xD0\xB4";  // 518 bytes, 259 units
    EXPECT_TRUE(platform::FitsPathLimit(cyrillic, platform::kMaxPlainPath));
}

}  // namespace
