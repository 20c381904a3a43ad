// Path splitting, target paths, the hostile-name test and folder creation.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "fixtures.h"
#include "platform/system.h"
#include "test_util/scratch.h"
#include "zip/entrypath.h"
#include "zip/fileops.h"
#include "zip/pathcomponent.h"

namespace {

namespace fs = std::filesystem;

TEST(ZipPathComponent, Split) {
    const struct {
        const char* path;
        const char *prefix, *drive, *folder, *title, *extension;
    } cases[] = {
        {"C:\\T\\a\\b.txt", "", "C:", "T\\a", "b", "txt"},
        {"\\\\server\\share\\f.txt", "\\\\", "", "server\\share", "f", "txt"},
        {"\\\\?\\C:\\x\\y.dat", "\\\\?\\", "C:", "x", "y", "dat"},
        {"\\\\?\\UNC\\srv\\sh\\f", "\\\\?\\UNC\\", "", "srv\\sh", "f", ""},
        {"\\\\?\\unc\\srv\\f", "\\\\?\\unc\\", "", "srv", "f", ""},
        {"\\\\?x\\f", "", "", "?x", "f", ""},    // 3 bytes agree: no prefix
        {"\\\\?\\UN\\f", "", "", "?\\UN", "f", ""},  // 6 bytes agree: no prefix either
        {"a/b\\c.tar.gz", "", "", "a/b", "c.tar", "gz"},
        {"name.", "", "", "", "name", ""},
        {".hidden", "", "", "", "", "hidden"},
        {"dir\\", "", "", "dir", "", ""},
        {"C:", "", "C:", "", "", ""},
        {"", "", "", "", "", ""},
    };
    for (const auto& c : cases) {
        CZipPathComponent parts(c.path);
        EXPECT_TRUE(parts.IsValid()) << c.path;
        EXPECT_EQ(parts.m_strPrefix, c.prefix) << c.path;
        EXPECT_EQ(parts.m_strDrive, c.drive) << c.path;
        EXPECT_EQ(parts.m_strFolder, c.folder) << c.path;
        EXPECT_EQ(parts.m_strTitle, c.title) << c.path;
        EXPECT_EQ(parts.m_strExtension, c.extension) << c.path;
    }
}

TEST(ZipPathComponent, Joins) {
    const struct {
        const char* path;
        const char *fileName, *folderPath, *withoutDrive, *full;
    } cases[] = {
        {"C:\\T\\a\\b.txt", "b.txt", "C:\\T\\a", "T\\a\\b.txt", "C:\\T\\a\\b.txt"},
        {"C:\\b.txt", "b.txt", "C:", "b.txt", "C:\\b.txt"},
        {"\\\\srv\\sh\\f", "f", "\\\\srv\\sh", "srv\\sh\\f", "\\\\srv\\sh\\f"},
        {"a\\name.", "name", "a", "a\\name", "a\\name"},
        {"C:\\T", "T", "C:", "T", "C:\\T"},
    };
    for (const auto& c : cases) {
        CZipPathComponent parts(c.path);
        EXPECT_EQ(parts.FileName(), c.fileName) << c.path;
        EXPECT_EQ(parts.FolderPath(), c.folderPath) << c.path;
        EXPECT_EQ(parts.PathWithoutDrive(), c.withoutDrive) << c.path;
        EXPECT_EQ(parts.FullPath(), c.full) << c.path;
    }
}

TEST(ZipPathComponent, PartsBeyondTheSplittersLimits) {
    // Deep trees have folder parts far beyond 255 bytes: only the longest
    // path the system takes is a limit.
    const std::size_t most = CZipPathComponent::kMaxPart;
    const struct {
        std::string path;
        bool valid;
    } cases[] = {
        {"C:\\" + std::string(most - 2, 'd') + "\\f.txt", true},  // folder "\...\" of kMaxPart bytes
        {"C:\\" + std::string(most - 1, 'd') + "\\f.txt", false},
        {"C:\\T\\" + std::string(most, 'n'), true},
        {"C:\\T\\" + std::string(most + 1, 'n'), false},
        {"C:\\T\\x." + std::string(most - 1, 'e'), true},  // ".eee" of kMaxPart bytes
        {"C:\\T\\x." + std::string(most, 'e'), false},
    };
    for (const auto& c : cases) {
        CZipPathComponent parts(c.path);
        EXPECT_EQ(parts.IsValid(), c.valid) << c.path.size();
        if (!c.valid) {
            EXPECT_EQ(parts.FullPath(), "") << "nothing of an invalid split is kept";
        }
    }
}

TEST(ZipPathComponent, DoubleByteTrailBytesDoNotSeparate) {
    ziptest::CodePage shiftJis(932);
    ASSERT_TRUE(shiftJis.ok());
    // "\x95\x5C" is one character; its trail byte is 0x5C, the code of '\'.
    CZipPathComponent parts("C:\\T\\\x95\x5C\\f\x95\x5C.txt");
    EXPECT_EQ(parts.m_strFolder, "T\\\x95\x5C");
    EXPECT_EQ(parts.m_strTitle, "f\x95\x5C");
    EXPECT_EQ(zip::TrimTrailingSeparators("a\x95\x5C\\\\"), "a\x95\x5C");
}

TEST(ZipTargetPath, FromEntryNameAndFolder) {
    const struct {
        const char* name;
        const char* folder;
        bool fullPath;
        const char* newName;
        bool stripDrive;
        const char* target;
    } cases[] = {
        {"a\\b.txt", "C:\\T\\", true, nullptr, true, "C:\\T\\a\\b.txt"},
        {"a\\b.txt", "C:\\T", true, nullptr, true, "C:\\T\\a\\b.txt"},
        {"a\\b.txt", "C:\\T/", true, nullptr, true, "C:\\T\\a\\b.txt"},
        {"a\\b.txt", "C:\\T\\\\//", true, nullptr, true, "C:\\T\\a\\b.txt"},
        {"D:\\x\\y.dat", "C:\\T", true, nullptr, true, "C:\\T\\x\\y.dat"},
        {"\\\\?\\UNC\\srv\\sh\\f", "C:\\T", true, nullptr, true, "C:\\T\\srv\\sh\\f"},
        {"\\lead\\f.txt", "C:\\T", true, nullptr, true, "C:\\T\\lead\\f.txt"},
        {"dir\\", "C:\\T", true, nullptr, true, "C:\\T\\dir"},
        {"name.", "C:\\T", true, nullptr, true, "C:\\T\\name"},
        {"", "C:\\T\\", true, nullptr, true, "C:\\T\\"},
        {"a\\b.txt", "", true, nullptr, true, "a\\b.txt"},
        {"a\\b.txt", "C:\\T", false, nullptr, true, "C:\\T\\b.txt"},
        {"D:\\x\\y.dat", "C:\\T", true, nullptr, false, "C:\\T\\D:\\x\\y.dat"},
        {"a\\b.txt", "C:\\T", true, "c\\d.txt", true, "C:\\T\\c\\d.txt"},
        {"a\\b.txt", "C:\\T", true, "", true, "C:\\T"},
    };
    for (const auto& c : cases) {
        std::string target = "unchanged";
        EXPECT_TRUE(zip::TargetPathForEntry(c.name, c.folder, c.fullPath, c.newName, c.stripDrive, target)) << c.name;
        EXPECT_EQ(target, c.target) << c.name << " in " << c.folder;
    }
    std::string target;
    const std::string tooLong(CZipPathComponent::kMaxPart + 1, 'f');
    EXPECT_FALSE(zip::TargetPathForEntry(tooLong, "C:\\T", true, nullptr, true, target));
    EXPECT_TRUE(zip::TargetPathForEntry(std::string(300, 'd') + "\\f", "C:\\T", true, nullptr, true, target))
        << "a long folder part, as deep trees have";
}

TEST(ZipEntryName, HostileNamesAreRefused) {
    const struct {
        std::string name;
        bool safe;
    } cases[] = {
        {"a.txt", true},
        {"a\\b\\c.txt", true},
        {"dir\\", true},
        {".\\a.txt", true},
        {"a\\.\\b", true},
        {"..a\\b..c\\.d", true},  // dots inside names are fine
        {"a b\\c d.txt", true},
        {"..", false},
        {"..\\x", false},
        {"../x", false},
        {"a\\..\\..\\x", false},
        {"a\\..", false},
        {"a/../b", false},
        {"...\\x", false},
        {".. \\x", false},
        {". .\\x", false},
        {"   \\x", false},
        {"\\abs.txt", false},
        {"/abs.txt", false},
        {"\\\\server\\share\\x", false},
        {"\\\\?\\C:\\x", false},
        {"C:\\x", false},
        {"C:x", false},
        {"a.txt:stream", false},
        {"", false},
        {"\\", false},
        {std::string("a\0b", 3), false},
        {std::string("..\0x", 4), false},
    };
    for (const auto& c : cases) EXPECT_EQ(zip::IsSafeEntryName(c.name), c.safe) << c.name;

    // Trail bytes are not the characters of their codes in Shift-JIS.
    ziptest::CodePage shiftJis(932);
    ASSERT_TRUE(shiftJis.ok());
    EXPECT_TRUE(zip::IsSafeEntryName("\x95\x7C\\x")) << "0x7C, '|', as a trail byte";
    EXPECT_FALSE(zip::IsSafeEntryName("\x95\x5C\\..\\x"));
}

TEST(ZipEntryName, NamesWindowsWouldChangeAreRefusedWithTheReason) {
    // Written under another name, or not at all, on Windows: refused in
    // every build, and the reason says why.
    const struct {
        std::string name;
        const char* reason;  // a word of the reason; null: taken
    } cases[] = {
        {"a*.txt", "'*'"},
        {"dir\\wh?t", "'?'"},
        {"say \"hi\"", "'\"'"},
        {"a<b", "'<'"},
        {"a>b\\c", "'>'"},
        {"pipe|d\\x", "'|'"},
        {"tab\there", "0x09"},
        {std::string("bell\x01"), "0x01"},
        {"line\nbreak", "0x0A"},
        {"\x1F", "0x1F"},
        {"name.", "dot"},
        {"folder.\\x", "dot"},
        {"name ", "space"},
        {"folder \\x", "space"},
        {"a\\b.txt.  ", "space"},
        {std::string(256, 'n'), "longer than 255"},
        {"d\\" + std::string(256, 'n') + "\\x", "longer than 255"},
        {"ver 1.0\\x", nullptr},
        {std::string(255, 'n'), nullptr},
        // 255 CJK characters are 765 bytes of UTF-8 but 255 UTF-16 units: a name Windows holds.
        {[] { std::string s; for (int i = 0; i < 255; ++i) s += "\xE6\x97\xA5"; return s; }(), nullptr},
        {[] { std::string s; for (int i = 0; i < 256; ++i) s += "\xE6\x97\xA5"; return s; }(), "longer than 255"},
        // Device names are files of those names in the launcher's folder.
        {"con", nullptr},
        {"aux.txt", nullptr},
        {"dir\\nul.log", nullptr},
        {"COM1", nullptr},
        {"LPT2.dat", nullptr},
        {"lpt2 .dat", nullptr},
        {"con.tar.gz", nullptr},
    };
    for (const auto& c : cases) {
        const std::string problem = zip::EntryNameProblem(c.name);
        if (c.reason == nullptr) {
            EXPECT_EQ(problem, "") << c.name;
        } else {
            EXPECT_NE(problem.find(c.reason), std::string::npos) << c.name << ": " << problem;
        }
    }
}

TEST(ZipFolderChain, CreatesFromTheOutermostMissingFolder) {
    test_util::ScratchDir dir;
    EXPECT_TRUE(zip::CreateFolderChain(dir.Path("a\\b")));
    EXPECT_TRUE(fs::is_directory(dir.Native("a\\b")));
    EXPECT_TRUE(zip::CreateFolderChain(dir.Path("a\\b\\")) ) << "an existing folder, trailing separator";
    EXPECT_TRUE(zip::CreateFolderChain(dir.Path("a\\c\\d\\e")));
    EXPECT_TRUE(fs::is_directory(dir.Native("a\\c\\d\\e")));

    dir.Write("file", "x");
    EXPECT_FALSE(zip::CreateFolderChain(dir.Path("file"))) << "a file is in the way";
    EXPECT_FALSE(zip::CreateFolderChain(dir.Path("file\\b"))) << "a file is in the way of a parent";
    EXPECT_FALSE(fs::exists(dir.Native("file\\b")));

    const std::string drive = dir.path().substr(0, 2);  // "Z:" on posix
    EXPECT_TRUE(zip::CreateFolderChain(drive)) << "a drive: nothing to create";
    EXPECT_TRUE(zip::CreateFolderChain(drive + "\\"));
    EXPECT_FALSE(zip::CreateFolderChain(dir.Path(std::string(300, 'x') + "\\y"))) << "beyond the splitter";
}

TEST(ZipFileOps, PathKind) {
    test_util::ScratchDir dir;
    dir.Write("file.txt", "x");
    EXPECT_EQ(zip::PathKind(dir.Path("file.txt")), 1);
    EXPECT_EQ(zip::PathKind(dir.path()), -1);
    EXPECT_EQ(zip::PathKind(dir.Path("missing")), 0);
    EXPECT_TRUE(zip::IsExistingFolder(dir.path()));
    EXPECT_FALSE(zip::IsExistingFolder(dir.Path("file.txt")));
    EXPECT_FALSE(zip::IsExistingFolder(dir.Path("missing")));
}

TEST(ZipFileOps, ModificationTimeMinusOneMeansNow) {
    test_util::ScratchDir dir;
    dir.Write("old.txt", "x");
    fs::last_write_time(dir.Native("old.txt"), fs::file_time_type::clock::now() - std::chrono::hours(24 * 400));
    dir.Write("fresh.txt", "y");
    const auto fresh = fs::last_write_time(dir.Native("fresh.txt"));
    ASSERT_TRUE(zip::SetPathModTime(dir.Path("old.txt"), -1));
    const auto set = fs::last_write_time(dir.Native("old.txt"));
    EXPECT_LT(std::chrono::abs(set - fresh), std::chrono::seconds(60));

    ASSERT_TRUE(zip::SetPathModTime(dir.Path("old.txt"), 1000000000));  // 2001-09-09 01:46:40 UTC
    ASSERT_TRUE(zip::SetPathModTime(dir.Path("fresh.txt"), 1000000060));
    EXPECT_EQ(fs::last_write_time(dir.Native("fresh.txt")) - fs::last_write_time(dir.Native("old.txt")),
              std::chrono::seconds(60));
    EXPECT_FALSE(zip::SetPathModTime(dir.Path("missing.txt"), 1000000000));
}

TEST(ZipFileOps, DeleteAndRenameThrowWhenAsked) {
    test_util::ScratchDir dir;
    dir.Write("a.txt", "x");
    EXPECT_TRUE(zip::RenamePath(dir.Path("a.txt"), dir.Path("b.txt"), true));
    EXPECT_FALSE(zip::RenamePath(dir.Path("a.txt"), dir.Path("c.txt"), false));
    const CZipException renamed = ziptest::Caught([&] { zip::RenamePath(dir.Path("a.txt"), dir.Path("c.txt"), true); });
    EXPECT_EQ(renamed.m_nCode, 114);
    EXPECT_EQ(renamed.m_strFileName, dir.Path("a.txt"));
    EXPECT_TRUE(zip::DeletePath(dir.Path("b.txt"), true));
    EXPECT_FALSE(zip::DeletePath(dir.Path("b.txt"), false));
    const CZipException removed = ziptest::Caught([&] { zip::DeletePath(dir.Path("b.txt"), true); });
    EXPECT_EQ(removed.m_nCode, 113);
    EXPECT_EQ(removed.GetDescription().rfind("Error while removing a file (", 0), 0u);
}

}  // namespace
