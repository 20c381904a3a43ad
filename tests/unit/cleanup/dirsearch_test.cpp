// The directory search as the posix backend emulates it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/dirsearch.h"
#include "platform/system.h"
#include "test_util/scratch.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> Names(const std::string& pattern) {
    std::vector<std::string> names;
    platform::DirSearch search;
    platform::FindData entry;
    for (bool found = search.First(pattern, entry); found; found = search.Next(entry))
        names.push_back(entry.cFileName);
    return names;
}

platform::FindData Find(const std::string& pattern) {
    platform::DirSearch search;
    platform::FindData entry;
    EXPECT_TRUE(search.First(pattern, entry)) << pattern;
    return entry;
}

TEST(DirSearch, ListsDotEntriesFirstThenNamesInUpperCaseOrder) {
    test_util::ScratchDir dir;
    for (const char* name : {"b.txt", "A.txt", "c", "_x"}) dir.Write(name, "");
    fs::create_directory(dir.Native("Sub"));
    EXPECT_EQ(Names(dir.Path("*")), (std::vector<std::string>{".", "..", "A.txt", "b.txt", "c", "Sub", "_x"}));
    EXPECT_EQ(Names(dir.Path("*.txt")), (std::vector<std::string>{"A.txt", "b.txt"}));
    EXPECT_EQ(Names(dir.Path("*.")), (std::vector<std::string>{".", "..", "c", "Sub", "_x"}));
}

TEST(DirSearch, ReportsAttributesSizesAndTimes) {
    test_util::ScratchDir dir;
    dir.Write("plain", "12345");
    const std::string readOnly = dir.Write("locked", "");
    ASSERT_TRUE(platform::SetFileAttributes(readOnly, platform::kAttrReadOnly));
    fs::create_directory(dir.Native("folder"));
    // Sparse: takes no room, yet needs both halves of the size.
    dir.Write("huge", "");
    fs::resize_file(dir.Native("huge"), (5ull << 30) + 7);
    fs::create_directory_symlink(dir.Native("folder"), dir.Native("folderlink"));
    fs::create_symlink(dir.Native("plain"), dir.Native("filelink"));
    fs::create_symlink(dir.Native("nowhere"), dir.Native("dangling"));

    struct Case {
        const char* name;
        std::uint32_t attributes;
        std::uint32_t sizeHigh, sizeLow;
    } cases[] = {
        {"plain", platform::kAttrArchive, 0, 5},
        {"locked", platform::kAttrArchive | platform::kAttrReadOnly, 0, 0},
        {"folder", platform::kAttrDirectory, 0, 0},
        {"huge", platform::kAttrArchive, 1, (1u << 30) + 7},
        {"folderlink", platform::kAttrDirectory | platform::kAttrReparsePoint, 0, 0},
        {"filelink", platform::kAttrReparsePoint, 0, 0},
        {"dangling", platform::kAttrReparsePoint, 0, 0},
    };
    for (const Case& c : cases) {
        platform::FindData entry = Find(dir.Path(c.name));
        EXPECT_EQ(entry.cFileName, c.name);
        EXPECT_EQ(entry.dwFileAttributes, c.attributes) << c.name;
        EXPECT_EQ(entry.nFileSizeHigh, c.sizeHigh) << c.name;
        EXPECT_EQ(entry.nFileSizeLow, c.sizeLow) << c.name;
    }

    ASSERT_TRUE(platform::SetFileTimes(dir.Path("plain"), 0, 130000000000000000ull, 131000000000000000ull));
    platform::FindData entry = Find(dir.Path("plain"));
    EXPECT_EQ(entry.ftLastAccessTime, 130000000000000000ull);
    EXPECT_EQ(entry.ftLastWriteTime, 131000000000000000ull);
    EXPECT_NE(entry.ftCreationTime, 0u);
}

TEST(DirSearch, FailuresSetTheLastError) {
    test_util::ScratchDir dir;
    dir.Write("a.txt", "");
    struct Case {
        std::string pattern;
        std::uint32_t error;
    } cases[] = {
        {dir.Path("missing\\*"), platform::kErrorPathNotFound},
        {dir.Path("a.txt\\*"), platform::kErrorPathNotFound},
        {dir.Path("*.doc"), platform::kErrorFileNotFound},
        {dir.Path("b.txt"), platform::kErrorFileNotFound},
        {dir.Path(""), platform::kErrorFileNotFound},
    };
    for (const Case& c : cases) {
        platform::DirSearch search;
        platform::FindData entry;
        EXPECT_FALSE(search.First(c.pattern, entry)) << c.pattern;
        EXPECT_EQ(platform::GetLastError(), c.error) << c.pattern;
        EXPECT_FALSE(search.IsOpen());
    }

    platform::DirSearch search;
    platform::FindData entry;
    ASSERT_TRUE(search.First(dir.Path("a.txt"), entry));
    EXPECT_FALSE(search.Next(entry));
    EXPECT_EQ(platform::GetLastError(), platform::kErrorNoMoreFiles);
}

}  // namespace
