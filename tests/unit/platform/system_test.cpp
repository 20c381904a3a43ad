#include "platform/system.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "test_util/scratch.h"

namespace {

TEST(PosixPaths, DriveZIsTheRootAndSeparatorsTurn) {
    struct Case {
        const char* windows;
        const char* native;
    } cases[] = {
        {"Z:\\tmp\\a", "/tmp/a"}, {"z:\\", "/"}, {"Z:", "/"}, {"a\\b", "a/b"}, {"\\x", "/x"},
    };
    for (const Case& c : cases) EXPECT_EQ(platform::ToNativePath(c.windows), c.native) << c.windows;
    EXPECT_EQ(platform::FromNativePath("/tmp/a"), "Z:\\tmp\\a");
    EXPECT_NE(platform::ToNativePath("C:\\Windows").rfind("/Windows"), std::string::npos);
    EXPECT_EQ(platform::GetFileAttributes("C:\\"), platform::kInvalidAttributes)
        << "only drive Z: exists on posix";
}

TEST(PosixPaths, ModuleAndTempPathAreWindowsPaths) {
    std::string module;
    ASSERT_TRUE(platform::GetModuleFileName(module));
    EXPECT_EQ(module.rfind("Z:\\", 0), 0u);
    std::string temp = platform::GetTempPath();
    EXPECT_EQ(temp.back(), '\\');
}

TEST(FileSystem, AttributesAndWindowsDeleteRules) {
    test_util::ScratchDir dir;
    const std::string file = dir.Write("f.txt", "x");
    EXPECT_EQ(platform::GetFileAttributes(dir.path()) & platform::kAttrDirectory, platform::kAttrDirectory);
    EXPECT_EQ(platform::GetFileAttributes(file) & platform::kAttrDirectory, 0u);

    ASSERT_TRUE(platform::SetFileAttributes(file, platform::kAttrReadOnly));
    EXPECT_TRUE(platform::GetFileAttributes(file) & platform::kAttrReadOnly);
    EXPECT_FALSE(platform::DeleteFile(file)) << "a read-only file is not deleted";
    EXPECT_EQ(platform::GetLastError(), platform::kErrorAccessDenied);
    ASSERT_TRUE(platform::SetFileAttributes(file, platform::kAttrNormal));
    EXPECT_TRUE(platform::DeleteFile(file));

    const std::string sub = dir.Path("sub");
    EXPECT_TRUE(platform::CreateDirectory(sub));
    EXPECT_FALSE(platform::CreateDirectory(sub));
    EXPECT_EQ(platform::GetLastError(), platform::kErrorAlreadyExists);
    dir.Write("sub\\g", "y");
    EXPECT_FALSE(platform::RemoveDirectory(sub));
    EXPECT_EQ(platform::GetLastError(), platform::kErrorDirNotEmpty);
    EXPECT_FALSE(platform::DeleteFile(sub)) << "DeleteFile refuses folders";
}

TEST(FileSystem, RemoveDirectoryRemovesAFolderLinkAsALink) {
    test_util::ScratchDir dir;
    dir.Write("target\\kept.txt", "x");
    const std::string file = dir.Write("file.txt", "x");
    std::filesystem::create_directory_symlink(dir.Native("target"), dir.Native("folder link"));
    std::filesystem::create_directory_symlink(dir.Native("gone"), dir.Native("dangling"));
    std::filesystem::create_symlink(dir.Native("file.txt"), dir.Native("file link"));

    EXPECT_TRUE(platform::RemoveDirectory(dir.Path("folder link")));
    EXPECT_EQ(dir.Read("target\\kept.txt"), "x");
    // Windows knows a folder link by the link, whatever became of its folder.
    EXPECT_TRUE(platform::RemoveDirectory(dir.Path("dangling")));
    EXPECT_FALSE(platform::RemoveDirectory(dir.Path("file link")));
    EXPECT_EQ(platform::GetLastError(), platform::kErrorDirectoryInvalid);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir.Native("dangling"))));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.Native("file link")));
}

// As on Windows, a move never takes the place of anything: rename() alone
// would replace a file or an empty folder (the cache's copies are made by
// a move that must lose to a copy already there).
TEST(FileSystem, MoveFileNeverTakesThePlaceOfAnything) {
    const struct {
        const char* what;
        void (*make)(const test_util::ScratchDir& dir);
        bool moved;
    } cases[] = {
        {"nothing there", [](const test_util::ScratchDir&) {}, true},
        {"an empty folder", [](const test_util::ScratchDir& dir) { std::filesystem::create_directory(dir.Native("to")); },
         false},
        {"a file", [](const test_util::ScratchDir& dir) { dir.Write("to", "theirs"); }, false},
        {"a dangling link", [](const test_util::ScratchDir& dir) {
             std::filesystem::create_symlink(dir.Native("nowhere"), dir.Native("to"));
         }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test_util::ScratchDir dir;
        dir.Write("from\\mine.txt", "mine");
        c.make(dir);
        EXPECT_EQ(platform::MoveFile(dir.Path("from"), dir.Path("to")), c.moved);
        if (c.moved) {
            EXPECT_EQ(dir.Read("to\\mine.txt"), "mine");
        } else {
            EXPECT_EQ(platform::GetLastError(), platform::kErrorAlreadyExists);
            EXPECT_EQ(dir.Read("from\\mine.txt"), "mine");
        }
    }
}

TEST(FileSystem, SystemErrorTextsEndInALineBreak) {
    for (std::uint32_t code : {2u, 3u, 5u, 183u, 1392u}) {
        std::string text = platform::SystemErrorText(code);
        ASSERT_GE(text.size(), 2u) << code;
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    }
}

}  // namespace

namespace {

TEST(FileTimes, LocalConversionStaysInRangeAtTheExtremes) {
    const std::uint64_t kDay = 864000000000ull;  // in 100 ns units
    for (std::uint64_t utc : {std::uint64_t{0}, std::uint64_t{1} << 63, ~std::uint64_t{0},
                              std::uint64_t{132000000000000000ull}}) {
        std::uint64_t local = 0;
        if (!platform::FileTimeToLocalFileTime(utc, local)) continue;  // no such local time
        EXPECT_LE(local > utc ? local - utc : utc - local, kDay) << utc;
        std::uint64_t back = 0;
        if (platform::LocalFileTimeToFileTime(local, back)) {
            EXPECT_LE(back > utc ? back - utc : utc - back, kDay);
        }
    }
}

}  // namespace
