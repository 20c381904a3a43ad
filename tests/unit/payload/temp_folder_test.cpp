#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "payload/extractor.h"
#include "payload/runfolder.h"
#include "platform/folderlock.h"
#include "platform/posix/instrument.h"
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
    dir.Write("qx_ext_temp_2.lock", "a dead run's mark: taken until a sweep removes it");
    CSFEFileExtractor extractor;
    platform::FolderLock mark;
    const std::string name = extractor.GetTempFolderName(mark);
    EXPECT_EQ(name, dir.Path("qx_ext_temp_3"));
    EXPECT_EQ(platform::GetFileAttributes(name) & platform::kAttrDirectory, platform::kAttrDirectory)
        << "the name is claimed by creating the folder";
    EXPECT_EQ(mark.LockFilePath(), dir.Path("qx_ext_temp_3.lock"));
    platform::FolderLock other;
    EXPECT_FALSE(other.TryTake(name, platform::FolderLock::kExclusive)) << "the run holds its mark";
    platform::FolderLock next;
    EXPECT_EQ(extractor.GetTempFolderName(next), dir.Path("qx_ext_temp_4"));
    // Nobody else's folder got a lock file.
    EXPECT_EQ(platform::GetFileAttributes(dir.Path("qx_ext_temp_0.lock")), platform::kInvalidAttributes);
}

// A folder of a free name that appears between the lock file and the folder
// (another program's, made just then) is not taken over: the name goes back.
TEST(TempFolder, AFolderMadeMeanwhileIsLeftToItsOwner) {
    test_util::ScratchDir dir;
    BaseGuard base(dir.path());
    platform::instrument::InjectFailure(platform::instrument::Call::kCreateDirectory, "qx_ext_temp_0",
                                        platform::kErrorAlreadyExists, 1);
    platform::FolderLock mark;
    const std::string name = CSFEFileExtractor().GetTempFolderName(mark);
    platform::instrument::ClearFailures();
    EXPECT_EQ(name, dir.Path("qx_ext_temp_1"));
    EXPECT_EQ(platform::GetFileAttributes(dir.Path("qx_ext_temp_0.lock")), platform::kInvalidAttributes)
        << "the lock file of the name given back is gone";
}

TEST(TempFolder, IsPrivateToItsUserWhateverTheBaseAllows) {
    test_util::ScratchDir dir;
    ASSERT_TRUE(platform::SetUnixMode(dir.path(), 0777));  // a shared /T: folder
    BaseGuard base(dir.path());
    platform::FolderLock mark;
    const std::string name = CSFEFileExtractor().GetTempFolderName(mark);
    ASSERT_FALSE(name.empty());
    EXPECT_EQ(platform::DescribeAccess(name), "0700");
}

TEST(TempFolder, SystemTempPathGetsOneSeparator) {
    CSFEFileExtractor extractor;
    platform::FolderLock mark;
    const std::string name = extractor.GetTempFolderName(mark);
    ASSERT_FALSE(name.empty());
    std::string temp = platform::GetTempPath();
    ASSERT_EQ(temp.back(), '\\');
    EXPECT_EQ(name.rfind(temp + "qx_ext_temp_", 0), 0u) << name;
    EXPECT_TRUE(platform::RemoveDirectory(name));
    EXPECT_TRUE(mark.DeleteAndRelease());
}

TEST(TempFolder, MissingBaseGivesNoFolder) {
    test_util::ScratchDir dir;
    BaseGuard base(dir.Path("gone"));
    CSFEFileExtractor extractor;
    platform::FolderLock mark;
    EXPECT_EQ(extractor.GetTempFolderName(mark), "");
    EXPECT_FALSE(mark.Held());
}

TEST(TempFolder, LaunchersStartedTogetherNeverShareAFolder) {
    test_util::ScratchDir dir;
    BaseGuard base(dir.path());
    const int kThreads = 8, kEach = 25;
    std::vector<std::vector<std::string>> names(kThreads);
    // Each run keeps its mark while the others claim theirs.
    std::vector<platform::FolderLock> marks(kThreads * kEach);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&names, &marks, t] {
            for (int i = 0; i < kEach; ++i)
                names[t].push_back(CSFEFileExtractor().GetTempFolderName(marks[t * kEach + i]));
        });
    }
    for (std::thread& t : threads) t.join();
    std::set<std::string> unique;
    for (const auto& list : names) unique.insert(list.begin(), list.end());
    EXPECT_EQ(unique.size(), static_cast<std::size_t>(kThreads * kEach));
    EXPECT_EQ(unique.count(""), 0u);
}

TEST(RunFolderName, OnlyWhatTheRunNamesIsOurs) {
    EXPECT_EQ(RunFolderName("C:\\T", 12), "C:\\T\\qx_ext_temp_12");
    const struct {
        const char* name;
        bool ours;
    } cases[] = {
        {"qx_ext_temp_0", true},         {"qx_ext_temp_17", true},       {"qx_ext_temp_2147483647", true},
        {"qx_ext_temp_", false},         {"qx_ext_temp_01", false},      {"qx_ext_temp_-1", false},
        {"qx_ext_temp_+1", false},       {"qx_ext_temp_1a", false},      {"qx_ext_temp_2147483648", false},
        {"qx_ext_temp_99999999999", false}, {"QX_EXT_TEMP_1", false},    {"qx_ext_temp_1.lock", false},
        {"my_qx_ext_temp_1", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsRunFolderName(c.name), c.ours) << c.name;
}

}  // namespace
