// Folder locks: who may hold one together with whom, creating and deleting
// the lock file, and what is never taken for one; and the private folder
// the locks go with.
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

// The extraction cache's copies outlive their runs: a run of a copy whose
// lock file is gone makes it, and every other run shares it.
TEST(FolderLock, TakeSharedCreatingMakesAMissingLockFileAndSharesIt) {
    test_util::ScratchDir dir;
    FolderLock first, second, exclusive;
    ASSERT_TRUE(first.TakeSharedCreating(dir.Path("copy")));
    EXPECT_NE(platform::GetFileAttributes(dir.Path("copy.lock")), platform::kInvalidAttributes);
    EXPECT_TRUE(second.TakeSharedCreating(dir.Path("copy")));
    EXPECT_FALSE(exclusive.TryTake(dir.Path("copy"), FolderLock::kExclusive));
    first.Release();
    second.Release();
    ASSERT_TRUE(exclusive.TryTake(dir.Path("copy"), FolderLock::kExclusive));
    EXPECT_FALSE(first.TakeSharedCreating(dir.Path("copy"))) << "refused while somebody deletes the copy";
    EXPECT_EQ(platform::GetLastError(), platform::kErrorSharingViolation);

    // Never through a link, nor anything but a plain file.
    dir.Write("target.txt", "somebody's");
    fs::create_symlink(dir.Native("target.txt"), dir.Native("link.lock"));
    fs::create_symlink(dir.Native("nowhere"), dir.Native("dangling.lock"));
    fs::create_directory(dir.Native("folder.lock"));
    for (const char* name : {"link", "dangling", "folder"}) {
        FolderLock lock;
        EXPECT_FALSE(lock.TakeSharedCreating(dir.Path(name))) << name;
    }
    EXPECT_EQ(dir.Read("target.txt"), "somebody's");
    EXPECT_FALSE(fs::exists(dir.Native("nowhere")));
}

TEST(PrivateFolderSddl, GrantsTheUserSystemAndAdministratorsAlone) {
    EXPECT_EQ(platform::PrivateFolderSddl("S-1-5-21-1-2-3-1001"),
              "D:P(A;OICI;FA;;;S-1-5-21-1-2-3-1001)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");
}

// A folder private to its user: what the extraction cache starts programs from.
TEST(PrivateFolder, OnlyTheUsersOwnFolderThatGrantsOthersNothing) {
    test_util::ScratchDir dir;
    const struct {
        unsigned mode;
        bool isPrivate;
    } modes[] = {{0700, true}, {0500, true}, {0750, false}, {0705, false}, {0711, false}, {0777, false}};
    for (const auto& c : modes) {
        const std::string folder = dir.Path("mode " + std::to_string(c.mode));
        ASSERT_TRUE(platform::CreateDirectory(folder));
        ASSERT_TRUE(platform::SetUnixMode(folder, c.mode));
        EXPECT_EQ(platform::IsPrivateFolder(folder), c.isPrivate) << std::oct << c.mode;
        if (!c.isPrivate) {
            EXPECT_EQ(platform::GetLastError(), platform::kErrorAccessDenied);
        }
        platform::SetUnixMode(folder, 0700);
    }
    ASSERT_TRUE(platform::CreatePrivateDirectory(dir.Path("private")));
    EXPECT_TRUE(platform::IsPrivateFolder(dir.Path("private")));
    // A link to a private folder, or a file, is none.
    fs::create_directory_symlink(dir.Native("private"), dir.Native("link"));
    EXPECT_FALSE(platform::IsPrivateFolder(dir.Path("link")));
    ASSERT_TRUE(platform::SetUnixMode(dir.Write("file", "x"), 0600));
    EXPECT_FALSE(platform::IsPrivateFolder(dir.Path("file")));
    EXPECT_FALSE(platform::IsPrivateFolder(dir.Path("missing")));
    EXPECT_EQ(platform::GetLastError(), platform::kErrorFileNotFound);
    // Somebody else's folder needs root to make: tests/e2e/launcher/test_launcher_cache.py.
}

}  // namespace
