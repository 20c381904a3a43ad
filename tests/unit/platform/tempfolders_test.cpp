// Choosing the folder the run's temporary folder goes under (posix): the
// first one that is a folder, can be written and lets programs start; each
// one passed over is named with its reason. The noexec case needs a mount:
// tests/e2e/launcher/test_launcher_tempbase.py.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
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

// $XDG_CACHE_HOME as the XDG rules read it: absolute, or else ~/.cache.
TEST(UserCacheFolder, FollowsTheXdgRules) {
    struct Saved {
        const char* name;
        std::string value;
        bool set;
    } saved[] = {{"XDG_CACHE_HOME", "", false}, {"HOME", "", false}};
    for (Saved& variable : saved) {
        const char* value = std::getenv(variable.name);
        variable.set = value != nullptr;
        if (value != nullptr) variable.value = value;
    }
    const struct {
        const char* cache;  // null: unset
        const char* home;
        std::string expected;
    } cases[] = {
        {"/var/cache/me/", "/home/me", "Z:\\var\\cache\\me"},
        {"relative/cache", "/home/me", "Z:\\home\\me\\.cache"},
        {nullptr, "/home/me", "Z:\\home\\me\\.cache"},
        {"", "/home/me", "Z:\\home\\me\\.cache"},
        {nullptr, nullptr, ""},
        {nullptr, "relative", ""},
    };
    for (const auto& c : cases) {
        for (auto [name, value] : {std::pair{"XDG_CACHE_HOME", c.cache}, std::pair{"HOME", c.home}}) {
            if (value != nullptr)
                ::setenv(name, value, 1);
            else
                ::unsetenv(name);
        }
        EXPECT_EQ(platform::UserCacheFolder(), c.expected) << (c.cache ? c.cache : "(unset)");
    }
    for (const Saved& variable : saved) {
        if (variable.set)
            ::setenv(variable.name, variable.value.c_str(), 1);
        else
            ::unsetenv(variable.name);
    }
}

}  // namespace
