// Folder locks: who may hold one together with whom, creating and deleting
// the lock file, and what is never taken for one.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/access.h"
#include "platform/folderlock.h"
#include "platform/system.h"
#include "test_util/scratch.h"

namespace {

namespace fs = std::filesystem;
using platform::FolderLock;

TEST(FolderLock, HoldersExcludeEachOtherAsTheirModesSay) {
    const struct {
        FolderLock::Mode held, wanted;
        bool granted;
    } cases[] = {
        {FolderLock::kExclusive, FolderLock::kExclusive, false},
        {FolderLock::kExclusive, FolderLock::kShared, false},
        {FolderLock::kShared, FolderLock::kExclusive, false},
        {FolderLock::kShared, FolderLock::kShared, true},
    };
    for (const auto& c : cases) {
        test_util::ScratchDir dir;
        dir.Write("run.lock", "");
        FolderLock first, second;
        ASSERT_TRUE(first.TryTake(dir.Path("run"), c.held));
        EXPECT_EQ(second.TryTake(dir.Path("run"), c.wanted), c.granted) << c.held << " then " << c.wanted;
        if (!c.granted) {
            EXPECT_EQ(platform::GetLastError(), platform::kErrorSharingViolation);
        }
        first.Release();
        EXPECT_TRUE(second.TryTake(dir.Path("run"), c.wanted)) << "free once the holder lets go";
    }
}

TEST(FolderLock, CreateNewClaimsANameOnceAndDeleteAndReleaseGivesItBack) {
    test_util::ScratchDir dir;
    FolderLock mark, again;
    ASSERT_TRUE(mark.CreateNew(dir.Path("run")));
    EXPECT_EQ(mark.LockFilePath(), dir.Path("run.lock"));
    EXPECT_FALSE(again.CreateNew(dir.Path("run")));
    EXPECT_EQ(platform::GetLastError(), platform::kErrorFileExists);
    EXPECT_FALSE(again.TryTake(dir.Path("run"), FolderLock::kShared)) << "created held";
    EXPECT_TRUE(mark.DeleteAndRelease());
    EXPECT_FALSE(mark.Held());
    EXPECT_EQ(platform::GetFileAttributes(dir.Path("run.lock")), platform::kInvalidAttributes);
    EXPECT_TRUE(again.CreateNew(dir.Path("run")));

    // A shared holder may not delete what others hold with it.
    FolderLock shared;
    dir.Write("other.lock", "");
    ASSERT_TRUE(shared.TryTake(dir.Path("other"), FolderLock::kShared));
    EXPECT_FALSE(shared.DeleteAndRelease());
    EXPECT_NE(platform::GetFileAttributes(dir.Path("other.lock")), platform::kInvalidAttributes);
}

TEST(FolderLock, OnlyAPlainFileIsALockFile) {
    test_util::ScratchDir dir;
    dir.Write("target.txt", "somebody's");
    fs::create_symlink(dir.Native("target.txt"), dir.Native("link.lock"));
    fs::create_directory(dir.Native("folder.lock"));
    fs::create_symlink(dir.Native("gone"), dir.Native("dangling.lock"));
    for (const char* name : {"link", "folder", "missing"}) {
        FolderLock lock;
        EXPECT_FALSE(lock.TryTake(dir.Path(name), FolderLock::kExclusive)) << name;
        EXPECT_FALSE(lock.Held()) << name;
    }
    FolderLock lock;
    EXPECT_FALSE(lock.CreateNew(dir.Path("dangling"))) << "a dangling link counts as taken";
    EXPECT_EQ(dir.Read("target.txt"), "somebody's");
}

TEST(PrivateFolderSddl, GrantsTheUserSystemAndAdministratorsAlone) {
    EXPECT_EQ(platform::PrivateFolderSddl("S-1-5-21-1-2-3-1001"),
              "D:P(A;OICI;FA;;;S-1-5-21-1-2-3-1001)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");
}

}  // namespace
