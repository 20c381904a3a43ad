// Choosing the folder the run's temporary folder goes under (posix): the
// first one that is a folder, can be written and lets programs start; each
// one passed over is named with its reason. The noexec case needs a mount:
// tests/e2e/launcher/test_launcher_tempbase.py.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/posix/tempfolders.h"
#include "platform/system.h"
#include "test_util/scratch.h"

namespace {

TEST(TempFolders, TakesTheFirstFolderThatWillDoAndNamesThoseBefore) {
    test_util::ScratchDir dir;
    dir.Write("file", "not a folder");
    ASSERT_TRUE(platform::CreateDirectory(dir.Path("good")));
    ASSERT_TRUE(platform::CreateDirectory(dir.Path("later")));
    std::string passedOver;
    const std::string chosen =
        platform::detail::FirstUsableTempFolder({dir.Path("missing"), dir.Path("file"), dir.Path("good"),
                                                 dir.Path("later")}, passedOver);
    EXPECT_EQ(chosen, dir.Path("good"));
    EXPECT_EQ(passedOver, dir.Path("missing") + ": does not exist\n" + dir.Path("file") + ": is not a folder\n");
    std::vector<std::string> left;
    for (const auto& item : std::filesystem::directory_iterator(dir.Native())) left.push_back(item.path().filename());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"file", "good", "later"})) << "the probe leaves nothing behind";
}

TEST(TempFolders, NoneWillDo) {
    test_util::ScratchDir dir;
    std::string passedOver;
    EXPECT_EQ(platform::detail::FirstUsableTempFolder({}, passedOver), "");
    EXPECT_EQ(passedOver, "");
    EXPECT_EQ(platform::detail::FirstUsableTempFolder({dir.Path("a"), dir.Path("b")}, passedOver), "");
    EXPECT_EQ(passedOver, dir.Path("a") + ": does not exist\n" + dir.Path("b") + ": does not exist\n");
}

}  // namespace
