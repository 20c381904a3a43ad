#include "launcher/arguments.h"

#include <gtest/gtest.h>

#include "platform/strings.h"

namespace {

TEST(LaunchArguments, EachArgumentQuotedThenTheSourceToken) {
    const std::string token = "\"SFXSOURCE:Z:\\dist\\app.exe\"";
    struct Case {
        std::vector<std::string> args;
        std::string expected;
    } cases[] = {
        {{"Z:\\dist\\app.exe"}, token},
        {{"Z:\\dist\\app.exe", "/S", "a b"}, "\"/S\" \"a b\" " + token},
        {{"Z:\\dist\\app.exe", ""}, "\"\" " + token},
        // A trailing backslash must not escape the closing quote.
        {{"Z:\\dist\\app.exe", "/T:C:\\Temp\\"}, "\"/T:C:\\Temp\\\\\" " + token},
        // Quotes inside get a backslash; backslashes before them are doubled.
        {{"Z:\\dist\\app.exe", "say \"hi\"", "x\\\"y"}, "\"say \\\"hi\\\"\" \"x\\\\\\\"y\" " + token},
        // Backslashes elsewhere stay single.
        {{"Z:\\dist\\app.exe", "C:\\a\\b c"}, "\"C:\\a\\b c\" " + token},
    };
    for (const Case& c : cases) EXPECT_EQ(BuildLaunchArguments(c.args, "Z:\\dist\\app.exe"), c.expected) << c.args.back();
}

TEST(LaunchArguments, FixedArgumentsComeFirstAsWritten) {
    const std::string forwarded = "\"/S\" \"SFXSOURCE:Z:\\l.exe\"";
    const struct {
        std::string fixed, expected;
    } cases[] = {
        {"", forwarded},  // exactly the line without them
        {"/qn", "/qn " + forwarded},
        {"--name \"a b\" c\\", "--name \"a b\" c\\ " + forwarded},
    };
    for (const auto& c : cases) EXPECT_EQ(WithFixedArguments(c.fixed, forwarded), c.expected) << c.fixed;
}

TEST(LaunchArguments, APackageGetsTheSourceAsAPropertyAfterTheFixedArguments) {
    EXPECT_EQ(WithFixedArguments("/qn", BuildPackageArguments("C:\\My Setups\\setup.exe")),
              "/qn SFXSOURCE=\"C:\\My Setups\\setup.exe\"");
}

TEST(LaunchArguments, TrailByteOfADoubleByteCharacterIsNoBackslash) {
    // 0x95 0x5C is one Shift-JIS character whose trail byte is '\'.
    const std::string name = "\x95\x5c";
    EXPECT_EQ(QuoteArgument(name), "\"\x95\x5c\\\"") << "single-byte: a real trailing backslash";
    platform::SetLeadByteCodePage(932);
    EXPECT_EQ(QuoteArgument(name), "\"\x95\x5c\"");
    EXPECT_EQ(QuoteArgument("\x95\x5c\""), "\"\x95\x5c\\\"\"") << "the quote after it gets one backslash";
    platform::SetLeadByteCodePage(0);
}

}  // namespace
