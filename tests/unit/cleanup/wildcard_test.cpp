// The Windows file-mask rules of the posix directory search.
#include <gtest/gtest.h>

#include "platform/posix/wildcard.h"

namespace {

struct MaskCase {
    const char* name;
    const char* mask;
    bool matches;
};

class FileMaskTest : public ::testing::TestWithParam<MaskCase> {};

TEST_P(FileMaskTest, MatchesAsWindowsDoes) {
    const MaskCase& c = GetParam();
    EXPECT_EQ(platform::detail::MatchesFileMask(c.name, c.mask), c.matches) << c.name << " ~ " << c.mask;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileMaskTest,
    ::testing::Values(
        // "*.*" and "*" match everything, dot or not.
        MaskCase{"README", "*.*", true}, MaskCase{"a.txt", "*.*", true}, MaskCase{".profile", "*.*", true},
        MaskCase{"..", "*.*", true}, MaskCase{"a.b.c", "*", true}, MaskCase{"x", "*", true},
        // "*." only names without a dot.
        MaskCase{"README", "*.", true}, MaskCase{"a.txt", "*.", false},
        // Extensions: the star before a dot stops at the last dot of the name.
        MaskCase{"a.txt", "*.txt", true}, MaskCase{"a.b.txt", "*.txt", true}, MaskCase{"a.txt.bak", "*.txt", false},
        MaskCase{"a.b.c", "*.b.c", true}, MaskCase{"txt", "*.txt", false},
        // Case does not matter.
        MaskCase{"Setup.EXE", "*.exe", true}, MaskCase{"SETUP.exe", "setup.EXE", true},
        // '?' is one character, or none at a dot or at the end.
        MaskCase{"ab", "a?", true}, MaskCase{"a", "a?", true}, MaskCase{"abc", "a?", false},
        MaskCase{"a.txt", "a??.txt", true}, MaskCase{"abc.txt", "a??.txt", true}, MaskCase{"abcd.txt", "a??.txt", false},
        MaskCase{"a.b", "a?b", false},
        // A trailing dot matches the end of the name.
        MaskCase{"abc", "abc.", true}, MaskCase{"abc.d", "abc.", false},
        // Plain characters are plain.
        MaskCase{"abc", "abd", false}, MaskCase{"abc", "ab", false}, MaskCase{"a.b", "a.b", true}));

}  // namespace
