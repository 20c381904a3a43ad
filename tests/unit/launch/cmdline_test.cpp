// Splitting a command line the way Windows programs see it, which is how
// the posix backend hands arguments to the programs it starts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/arguments.h"
#include "platform/posix/cmdline.h"

namespace {

struct SplitCase {
    const char* line;
    std::vector<std::string> args;
};

const SplitCase kCases[] = {
        SplitCase{"", {}},
        SplitCase{"prog", {"prog"}},
        SplitCase{"prog  a\tb ", {"prog", "a", "b"}},
        // The program token ends at its closing quote; its backslashes are plain.
        SplitCase{"\"C:\\dir with space\\p.exe\" x", {"C:\\dir with space\\p.exe", "x"}},
        SplitCase{"C:\\a\\\"b c", {"C:\\a\\\"b", "c"}},
        SplitCase{"p \"a b\" \"\" c", {"p", "a b", "", "c"}},
        SplitCase{"p a\"b c\"d", {"p", "ab cd"}},
        // Backslashes count only in front of a quote.
        SplitCase{"p C:\\dir\\ x", {"p", "C:\\dir\\", "x"}},
        SplitCase{"p a\\\\\"b c\"", {"p", "a\\b c"}},
        SplitCase{"p a\\\"b", {"p", "a\"b"}},
        SplitCase{"p a\\\\\\\"b", {"p", "a\\\"b"}},
        SplitCase{"p \"a\"\"b\"", {"p", "a\"b"}},
        // An unclosed quote runs to the end.
        SplitCase{"p \"a b", {"p", "a b"}},
        // The launcher's own form: quoted arguments and the source token.
        SplitCase{"\"Z:\\t\\run.exe\" \"/S\" \"a b\" \"SFXSOURCE:Z:\\l.exe\"",
                  {"Z:\\t\\run.exe", "/S", "a b", "SFXSOURCE:Z:\\l.exe"}},
};

TEST(SplitCommandLine, GivesTheArgumentsAProgramSees) {
    for (const SplitCase& c : kCases) EXPECT_EQ(platform::detail::SplitCommandLine(c.line), c.args) << c.line;
}

TEST(SplitCommandLine, GivesBackTheLaunchersArgumentsUnchanged) {
    const std::vector<std::string> args = {"Z:\\l.exe", "/S", "a b", "/T:C:\\Temp\\", "say \"hi\"", "x\\\"y", ""};
    const std::string line = "\"Z:\\t\\run.exe\" " + BuildLaunchArguments(args, "Z:\\l.exe");
    std::vector<std::string> expected = {"Z:\\t\\run.exe"};
    expected.insert(expected.end(), args.begin() + 1, args.end());
    expected.push_back("SFXSOURCE:Z:\\l.exe");
    EXPECT_EQ(platform::detail::SplitCommandLine(line), expected) << line;
}

}  // namespace
