#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "payload/extractor.h"
#include "platform/system.h"
#include "test_util/scratch.h"

namespace {

struct BaseGuard {
    explicit BaseGuard(const std::string& base) { SetTempFolderBase(base); }
    ~BaseGuard() { SetTempFolderBase(""); }
};

TEST(TempFolder, TakesTheFirstFreeNumberAndClaimsIt) {
    test_util::ScratchDir dir;
    BaseGuard base(dir.path());
    ASSERT_TRUE(platform::CreateDirectory(dir.Path("qx_ext_temp_0")));
    dir.Write("qx_ext_temp_1", "a plain file counts as taken");
    CSFEFileExtractor extractor;
    const std::string name = extractor.GetTempFolderName();
    EXPECT_EQ(name, dir.Path("qx_ext_temp_2"));
    EXPECT_EQ(platform::GetFileAttributes(name) & platform::kAttrDirectory, platform::kAttrDirectory)
        << "the name is claimed by creating the folder";
    EXPECT_EQ(extractor.GetTempFolderName(), dir.Path("qx_ext_temp_3"));
}

TEST(TempFolder, IsPrivateToItsUserWhateverTheBaseAllows) {
    test_util::ScratchDir dir;
    ASSERT_TRUE(platform::SetUnixMode(dir.path(), 0777));  // a shared /T: folder
    BaseGuard base(dir.path());
    const std::string name = CSFEFileExtractor().GetTempFolderName();
    ASSERT_FALSE(name.empty());
    EXPECT_EQ(platform::DescribeAccess(name), "0700");
}

TEST(TempFolder, SystemTempPathGetsOneSeparator) {
    CSFEFileExtractor extractor;
    const std::string name = extractor.GetTempFolderName();
    ASSERT_FALSE(name.empty());
    std::string temp = platform::GetTempPath();
    ASSERT_EQ(temp.back(), '\\');
    EXPECT_EQ(name.rfind(temp + "qx_ext_temp_", 0), 0u) << name;
    EXPECT_TRUE(platform::RemoveDirectory(name));
}

TEST(TempFolder, MissingBaseGivesNoFolder) {
    test_util::ScratchDir dir;
    BaseGuard base(dir.Path("gone"));
    CSFEFileExtractor extractor;
    EXPECT_EQ(extractor.GetTempFolderName(), "");
}

TEST(TempFolder, LaunchersStartedTogetherNeverShareAFolder) {
    test_util::ScratchDir dir;
    BaseGuard base(dir.path());
    const int kThreads = 8, kEach = 25;
    std::vector<std::vector<std::string>> names(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&names, t] {
            for (int i = 0; i < kEach; ++i) names[t].push_back(CSFEFileExtractor().GetTempFolderName());
        });
    }
    for (std::thread& t : threads) t.join();
    std::set<std::string> unique;
    for (const auto& list : names) unique.insert(list.begin(), list.end());
    EXPECT_EQ(unique.size(), static_cast<std::size_t>(kThreads * kEach));
    EXPECT_EQ(unique.count(""), 0u);
}

}  // namespace
