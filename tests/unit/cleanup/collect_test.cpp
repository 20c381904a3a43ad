// Walking folder trees into records: order, switches, mask, abort, counter,
// status windows and links.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "cleanup/compactpath.h"
#include "cleanup/fileinfoarray.h"
#include "platform/system.h"
#include "platform/window.h"
#include "test_util/scratch.h"

namespace {

namespace fs = std::filesystem;

// Record paths relative to the scratch folder; folders end in '\'.
std::vector<std::string> Relative(const CFileInfoArray& array, const test_util::ScratchDir& dir) {
    std::vector<std::string> paths;
    const std::string prefix = dir.path() + "\\";
    for (std::size_t i = 0; i < array.GetSize(); ++i) {
        std::string path = array[i].m_strPath;
        EXPECT_EQ(path.compare(0, prefix.size(), prefix), 0) << path;
        path.erase(0, prefix.size());
        if (array[i].m_dwAttributes & platform::kAttrDirectory) path += "\\";
        paths.push_back(path);
    }
    return paths;
}

// A\a1.txt, A\deep\d.dat, B (empty), f.txt, README (no dot).
void MakeTree(const test_util::ScratchDir& dir) {
    dir.Write("A\\a1.txt", "1");
    dir.Write("A\\deep\\d.dat", "22");
    fs::create_directory(dir.Native("B"));
    dir.Write("f.txt", "333");
    dir.Write("README", "4444");
}

struct WalkCase {
    const char* mask;
    bool recurse, includeFolders;
    std::vector<std::string> records;
};

class CollectFolderTest : public ::testing::TestWithParam<WalkCase> {};

TEST_P(CollectFolderTest, FoldersWithTheirSubtreesComeBeforeTheFolderFiles) {
    const WalkCase& c = GetParam();
    test_util::ScratchDir dir;
    MakeTree(dir);
    CFileInfoArray array;
    const int added = array.CollectFolder(dir.path(), c.mask, c.recurse, 0, c.includeFolders);
    EXPECT_EQ(Relative(array, dir), c.records);
    EXPECT_EQ(added, static_cast<int>(c.records.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CollectFolderTest,
    ::testing::Values(
        WalkCase{"*.*", true, true, {"A\\", "A\\deep\\", "A\\deep\\d.dat", "A\\a1.txt", "B\\", "f.txt", "README"}},
        // Sub-folders listed, not entered.
        WalkCase{"*.*", false, true, {"A\\", "B\\", "f.txt", "README"}},
        // Entered, not listed.
        WalkCase{"*.*", true, false, {"A\\deep\\d.dat", "A\\a1.txt", "f.txt", "README"}},
        WalkCase{"*.*", false, false, {"f.txt", "README"}},
        // The mask filters files only; sub-folders are walked whatever it is.
        WalkCase{"*.txt", true, true, {"A\\", "A\\deep\\", "A\\a1.txt", "B\\", "f.txt"}},
        WalkCase{"*.", true, false, {"README"}},
        WalkCase{"*.none", false, false, {}}));

TEST(CollectFolder, TrailingBackslashesDoNotMatter) {
    test_util::ScratchDir dir;
    MakeTree(dir);
    for (const std::string& folder : {dir.path(), dir.path() + "\\", dir.path() + "\\\\\\"}) {
        CFileInfoArray array;
        array.CollectFolder(folder, "*.*", false, 0, false);
        EXPECT_EQ(Relative(array, dir), (std::vector<std::string>{"f.txt", "README"})) << folder;
    }
}

TEST(CollectFolder, RecordsCarryAttributesAndSizes) {
    test_util::ScratchDir dir;
    MakeTree(dir);
    CFileInfoArray array;
    array.CollectFolder(dir.path(), "*.*", true, CFileInfoArray::ORDER_SIZE_DESCENDING, true);
    ASSERT_EQ(array.GetSize(), 7u);
    EXPECT_EQ(array[0].m_strPath, dir.Path("README"));
    EXPECT_EQ(array[0].m_nSize, 4u);
    EXPECT_EQ(array[0].m_dwAttributes, platform::kAttrArchive);
}

TEST(CollectFolder, AnAbortFlagSetBeforehandStopsAfterTheFirstEntry) {
    test_util::ScratchDir dir;
    MakeTree(dir);
    std::atomic<std::int32_t> abort{1};
    CFileInfoArray array;
    // The first entry of a folder is ".", which adds nothing; the file pass is skipped.
    EXPECT_EQ(array.CollectFolder(dir.path(), "*.*", true, 0, true, &abort), 0);
    EXPECT_EQ(array.GetSize(), 0u);
}

TEST(CollectFolder, CountsEveryRecordInTheSharedCounter) {
    test_util::ScratchDir dir;
    MakeTree(dir);
    std::atomic<std::int32_t> counter{10};
    CFileInfoArray array;
    EXPECT_EQ(array.CollectFolder(dir.path(), "*.*", true, 0, true, nullptr, &counter), 7);
    EXPECT_EQ(counter.load(), 17);
}

TEST(CollectFolder, ShowsTheFolderPatternAndTheLastFileInLiveStatusWindows) {
    test_util::ScratchDir dir;
    dir.Write("only.txt", "");
    CFileInfoArray array;
    array.m_pFolderStatusWnd = platform::CreateHiddenTextWindow();
    array.m_pFileStatusWnd = platform::CreateHiddenTextWindow();
    array.CollectFolder(dir.path(), "*.*", false, 0, false);
    // Shortened to 47 characters.
    const std::string pattern = dir.path() + "\\*";
    const std::string file = dir.Path("only.txt");
    EXPECT_EQ(platform::WindowTextOf(array.m_pFolderStatusWnd), CompactPathForDisplay(pattern, 47));
    EXPECT_EQ(platform::WindowTextOf(array.m_pFileStatusWnd), CompactPathForDisplay(file, 47));
    platform::DestroyHiddenWindow(array.m_pFolderStatusWnd);
    platform::DestroyHiddenWindow(array.m_pFileStatusWnd);

    // Windows that are gone are left alone.
    array.RemoveAll();
    EXPECT_EQ(array.CollectFolder(dir.path(), "*.*", false, 0, false), 1);
}

TEST(CollectFolder, NeverEntersALinkedFolder) {
    test_util::ScratchDir dir;
    dir.Write("outside\\precious.txt", "keep");
    dir.Write("outside\\inner\\more.txt", "keep");
    dir.Write("walked\\own.txt", "");
    fs::create_directory_symlink(dir.Native("outside"), dir.Native("walked\\link"));
    fs::create_symlink(dir.Native("outside\\precious.txt"), dir.Native("walked\\file link"));

    CFileInfoArray array;
    EXPECT_EQ(array.CollectFolder(dir.Path("walked"), "*.*", true, 0, true), 3);
    EXPECT_EQ(Relative(array, dir), (std::vector<std::string>{"walked\\link\\", "walked\\file link", "walked\\own.txt"}));
    EXPECT_EQ(array[0].m_dwAttributes, platform::kAttrDirectory | platform::kAttrReparsePoint);
    EXPECT_EQ(array[1].m_dwAttributes, platform::kAttrReparsePoint);

    // A top folder that is a link is not walked at all.
    array.RemoveAll();
    EXPECT_EQ(array.CollectFolder(dir.Path("walked\\link"), "*.*", true, 0, true), 0);
    EXPECT_EQ(array.GetSize(), 0u);
}

TEST(CollectPath, AddsTheRecordOrTheEmptyOne) {
    test_util::ScratchDir dir;
    dir.Write("one.txt", "abc");
    CFileInfoArray array;
    EXPECT_EQ(array.CollectPath(dir.Path("one.txt"), 0), 0u);
    EXPECT_EQ(array.CollectPath(dir.Path("two.txt"), 0), 1u);
    ASSERT_EQ(array.GetSize(), 2u);
    EXPECT_EQ(array[0].m_strPath, dir.Path("one.txt"));
    EXPECT_EQ(array[0].m_nSize, 3u);
    EXPECT_EQ(array[1].m_strPath, "");
    EXPECT_EQ(array[1].m_dwAttributes, 0xFFFFFFFFu);
}

}  // namespace
