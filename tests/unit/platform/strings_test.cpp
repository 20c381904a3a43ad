#include "platform/strings.h"

#include <gtest/gtest.h>

namespace {

using platform::FindLastBackslash;

struct CodePageGuard {
    explicit CodePageGuard(unsigned cp) { platform::SetLeadByteCodePage(cp); }
    ~CodePageGuard() { platform::SetLeadByteCodePage(0); }
};

TEST(Strings, FormatGrowsBeyondSmallBuffer) {
    std::string long_text(1000, 'x');
    EXPECT_EQ(platform::Format("%s\\qx_ext_temp_%d", "Z:\\tmp", 12), "Z:\\tmp\\qx_ext_temp_12");
    EXPECT_EQ(platform::Format("[%s]", long_text.c_str()).size(), 1002u);
}

TEST(Strings, CaseInsensitiveHelpersTouchAsciiOnly) {
    EXPECT_EQ(platform::ToUpperAscii("-x/silent\xe9"), "-X/SILENT\xe9");
    EXPECT_EQ(platform::CompareNoCase("Run", "rUN"), 0);
    EXPECT_LT(platform::CompareNoCase("Run", "Running"), 0);
    EXPECT_GT(platform::CompareNoCase("b", "A"), 0);
}

TEST(Strings, BackslashSearchSkipsTrailBytesOfDoubleByteCharacters) {
    // 0x95 0x5C is one Shift-JIS character whose trail byte is '\'.
    const std::string path = "C:\\dir\\\x95\x5c";
    EXPECT_EQ(FindLastBackslash(path), 8u) << "single-byte: the trail byte counts";
    CodePageGuard sjis(932);
    EXPECT_EQ(FindLastBackslash(path), 6u);
    EXPECT_EQ(platform::TrimTrailingBackslashes(path), path);
    EXPECT_EQ(platform::TrimTrailingBackslashes("C:\\a\\\\\\"), "C:\\a");
    EXPECT_EQ(platform::FileNameOf(path), "\x95\x5c");
}

TEST(Strings, FileTitleDropsFolderAndExtension) {
    EXPECT_EQ(platform::FileTitleOf("C:\\Apps\\my.app\\launcher.exe"), "launcher");
    EXPECT_EQ(platform::FileTitleOf("launcher"), "launcher");
}

}  // namespace
