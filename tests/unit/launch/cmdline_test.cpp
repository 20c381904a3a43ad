// Splitting a command line the way Windows programs see it, which is how
// the posix backend hands arguments to the programs it starts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/posix/cmdline.h"

namespace {

struct SplitCase {
    const char* line;
    std::vector<std::string> args;
};

class SplitCommandLineTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLineTest, GivesTheArgumentsAProgramSees) {
    EXPECT_EQ(platform::detail::SplitCommandLine(GetParam().line), GetParam().args) << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitCommandLineTest,
    ::testing::Values(
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
                  {"Z:\\t\\run.exe", "/S", "a b", "SFXSOURCE:Z:\\l.exe"}}));

}  // namespace
