// Extracting whole archives: what the tools made comes out as unzip makes
// it; names that would leave the target folder never do.
#include <gtest/gtest.h>

#include <filesystem>

#include "fixtures.h"
#include "platform/posix/instrument.h"
#include "platform/system.h"
#include "test_util/scratch.h"

namespace {

namespace fs = std::filesystem;
using ziptest::Fixture;
using ziptest::FixtureNative;

std::string Describe(const std::map<std::string, ziptest::Node>& tree) {
    std::string text;
    for (const auto& [name, node] : tree) {
        text += name + (node.folder ? "/" : "") + " mode " + std::to_string(node.mode) + " mtime " +
                std::to_string(node.mtime) + " size " + std::to_string(node.content.size()) + "\n";
    }
    return text;
}

TEST(ZipExtract, ToolArchivesComeOutAsUnzipMakesThem) {
    const struct {
        const char* fixture;
        const char* password;
        const char* unzipped = nullptr;  // the fixture unzip reads instead (it warns of a stub)
    } cases[] = {
        {"infozip-deflate.zip", nullptr},
        {"infozip-stored.zip", nullptr},
        {"infozip-crypt.zip", ziptest::kPassword},
        {"infozip-crypt-stored.zip", ziptest::kPassword},
        {"infozip-stream.zip", nullptr},
        {"infozip-stream-crypt.zip", ziptest::kPassword},
        {"infozip-adjusted.exe", nullptr},
        {"7z-deflate.zip", nullptr},
        {"7z-stored.zip", nullptr},
        {"7z-crypt.zip", ziptest::kPassword},
        // A password does not disturb entries that are not encrypted.
        {"infozip-deflate.zip", ziptest::kPassword},
        // Zip64 records, blocks and data descriptors.
        {"zip64-python.zip", nullptr},
        {"zip64-python-stream.zip", nullptr},
        {"zip64-python-prefixed.exe", nullptr, "zip64-python.zip"},
        {"zip64-infozip.zip", nullptr},
        {"zip64-libarchive.zip", nullptr},
        {"zip64-beyond-4gib.zip", nullptr},
    };
    const std::string source = FixtureNative("src");
    ASSERT_FALSE(source.empty());
    const auto sourceTree = ziptest::Snapshot(source);
    int compared = 0;
    for (const auto& c : cases) {
        if (FixtureNative(c.fixture).empty()) continue;  // its tool is missing
        SCOPED_TRACE(c.fixture);
        test_util::ScratchDir dir;
        const std::vector<int> outcomes = ziptest::ExtractAll(Fixture(c.fixture), dir.Path("ours"), c.password);
        EXPECT_EQ(outcomes, std::vector<int>(outcomes.size(), 1));
        ASSERT_TRUE(ziptest::RunUnzip(FixtureNative(c.unzipped ? c.unzipped : c.fixture), dir.Native("unzip"), c.password));
        const auto ours = ziptest::Snapshot(dir.Native("ours"));
        const auto theirs = ziptest::Snapshot(dir.Native("unzip"));
        EXPECT_EQ(ours, theirs) << "ours:\n" << Describe(ours) << "unzip:\n" << Describe(theirs);
        ASSERT_EQ(ours.size(), sourceTree.size());
        for (const auto& [name, node] : sourceTree) {
            ASSERT_EQ(ours.count(name), 1u) << name;
            EXPECT_EQ(ours.at(name).content, node.content) << name;
            EXPECT_EQ(ours.at(name).folder, node.folder) << name;
        }
        ++compared;
    }
    if (compared == 0) GTEST_SKIP() << "neither zip nor 7z was there to make archives";
}

TEST(ZipExtract, ModesAndAttributesBySystemFamily) {
    REQUIRE_FIXTURE("families.zip");
    test_util::ScratchDir dir;
    const std::vector<int> outcomes = ziptest::ExtractAll(Fixture("families.zip"), dir.path());
    EXPECT_EQ(outcomes, std::vector<int>(outcomes.size(), 1));
    const struct {
        const char* name;
        bool folder;
        bool writable;
        bool executable;
    } cases[] = {
        {"unix/tool", false, true, true},             // mode 755: stays executable
        {"unix/readonly.txt", false, false, false},   // mode 444
        {"unix/folder", true, true, true},
        {"unix/zero", false, false, false},           // 0 from Unix: read-only, hidden, archive
        {"unix/zerofolder", true, true, true},        // 0 with a trailing '/': a folder
        {"dos/readonly.txt", false, false, false},
        {"dos/folder", true, true, true},
        {"os2/file.txt", false, true, false},
        {"mac/file.txt", false, false, false},        // 0x25 AND 0x11: read-only
        {"ntfs/hidden.txt", false, true, false},
        {"amiga/file.txt", false, true, false},       // unsupported: the default file attributes
        {"amiga/folder", true, true, true},
        {"future/file.txt", false, true, false},
    };
    for (const auto& c : cases) {
        const fs::path path = fs::path(dir.Native()) / c.name;
        ASSERT_TRUE(fs::exists(path)) << c.name;
        EXPECT_EQ(fs::is_directory(path), c.folder) << c.name;
        const fs::perms perms = fs::status(path).permissions();
        EXPECT_EQ((perms & fs::perms::owner_write) != fs::perms::none, c.writable) << c.name;
        if (!c.folder) {
            EXPECT_EQ((perms & fs::perms::owner_exec) != fs::perms::none, c.executable) << c.name;
        }
    }
    EXPECT_EQ(fs::status(fs::path(dir.Native()) / "unix/tool").permissions() & fs::perms::all,
              static_cast<fs::perms>(0755));
}

TEST(ZipExtract, NamesThatWouldLeaveTheTargetAreRefusedBeforeAnythingIsMade) {
    REQUIRE_FIXTURE("hostile.zip");
    test_util::ScratchDir dir;
    const std::vector<int> outcomes = ziptest::ExtractAll(Fixture("hostile.zip"), dir.Path("inner\\target"));
    // first.txt, ../escape.txt, a/../../escape2.txt, /absolute.txt, C:/drive.txt,
    // dots/.../x.txt, ../escapedir/, last.txt
    EXPECT_EQ(outcomes, (std::vector<int>{1, 101, 101, 101, 101, 101, 101, 1}));
    std::vector<std::string> made;
    for (const auto& item : fs::recursive_directory_iterator(dir.Native()))
        made.push_back(fs::relative(item.path(), dir.Native()).generic_string());
    std::sort(made.begin(), made.end());
    EXPECT_EQ(made, (std::vector<std::string>{"inner", "inner/target", "inner/target/first.txt",
                                              "inner/target/last.txt"}));
}

TEST(ZipExtract, ARefusalNamesTheEntry) {
    REQUIRE_FIXTURE("hostile.zip");
    test_util::ScratchDir dir;
    CZipArchive archive;
    archive.Open(Fixture("hostile.zip"));
    CZipFileHeader header;
    ASSERT_TRUE(archive.GetEntryInfo(header, 1));
    ASSERT_EQ(header.GetName(), "..\\escape.txt");
    try {
        archive.ExtractEntry(1, dir.path());
        ADD_FAILURE() << "refused";
    } catch (const CZipException& e) {
        EXPECT_EQ(e.m_nCode, CZipException::kBadZipFile);
        EXPECT_EQ(e.fileName(), "..\\escape.txt") << "the entry, not the archive";
    }
}

TEST(ZipExtract, NamesBeyondTheSplittersLimitsFailInOrder) {
    REQUIRE_FIXTURE("long-names.zip");
    test_util::ScratchDir dir;
    const std::vector<int> outcomes = ziptest::ExtractAll(Fixture("long-names.zip"), dir.path());
    EXPECT_EQ(outcomes, (std::vector<int>{101, 101, 1}));
    const auto made = ziptest::Snapshot(dir.Native());
    EXPECT_EQ(made.size(), 1u) << Describe(made);
    EXPECT_EQ(dir.Read("short.txt"), "short\n");
}

TEST(ZipExtract, NeverWritesThroughALinkInTheTarget) {
    REQUIRE_FIXTURE("infozip-deflate.zip");
    test_util::ScratchDir dir;
    fs::create_directories(dir.Native("outside"));
    fs::create_directories(dir.Native("target"));
    fs::create_directory_symlink(dir.Native("outside"), dir.Native("target/text"));
    fs::create_symlink(dir.Native("outside/hello.txt"), dir.Native("target/hello.txt"));
    CZipArchive archive;
    archive.Open(Fixture("infozip-deflate.zip"));
    int refused = 0, extracted = 0;
    for (int i = 0; i < archive.GetEntryCount(); ++i) {
        CZipFileHeader header;
        ASSERT_TRUE(archive.GetEntryInfo(header, static_cast<std::uint32_t>(i)));
        const int outcome = ziptest::Extract(archive, static_cast<std::uint32_t>(i), dir.Path("target"));
        const std::string name = header.GetName();
        const bool throughLink = name.rfind("text", 0) == 0 || name == "hello.txt";
        EXPECT_EQ(outcome, throughLink ? 0 : 1) << name;
        (throughLink ? refused : extracted)++;
    }
    EXPECT_GE(refused, 4);
    EXPECT_GT(extracted, 5);
    EXPECT_TRUE(fs::is_empty(dir.Native("outside")));
}

TEST(ZipExtract, FolderEntriesAndEntryStates) {
    REQUIRE_FIXTURE("pieces.zip");
    test_util::ScratchDir dir;
    CZipArchive archive;
    archive.Open(Fixture("pieces.zip"));
    const int folder = ziptest::IndexOf(archive, "folder\\");
    const int tail = ziptest::IndexOf(archive, "tail.txt");
    ASSERT_GE(folder, 0);
    ASSERT_GE(tail, 0);
    // A folder entry makes the folder and its missing parents.
    EXPECT_EQ(ziptest::Extract(archive, static_cast<std::uint32_t>(folder), dir.Path("a\\b")), 1);
    EXPECT_TRUE(fs::is_directory(dir.Native("a\\b\\folder")));
    // Out of range, zero buffer, entry still open: declined, nothing made.
    EXPECT_FALSE(archive.ExtractEntry(static_cast<std::uint32_t>(archive.GetEntryCount()), dir.path()));
    EXPECT_FALSE(archive.ExtractEntry(static_cast<std::uint32_t>(tail), dir.path(), true, nullptr, 0));
    ASSERT_TRUE(archive.OpenEntry(static_cast<std::uint32_t>(tail)));
    EXPECT_FALSE(archive.OpenEntry(static_cast<std::uint32_t>(tail)));
    EXPECT_FALSE(archive.ExtractEntry(static_cast<std::uint32_t>(tail), dir.path()));
    EXPECT_FALSE(fs::exists(dir.Native("tail.txt")));
    // Only the output it was asked for, then nothing.
    char buffer[16] = {};
    EXPECT_EQ(archive.ReadEntry(buffer, 2), 2u);
    EXPECT_EQ(archive.ReadEntry(buffer + 2, sizeof buffer - 2), 3u);
    EXPECT_EQ(std::string(buffer), "tail\n");
    EXPECT_EQ(archive.ReadEntry(buffer, sizeof buffer), 0u);
    EXPECT_EQ(archive.CloseEntry(), 1);
    EXPECT_EQ(archive.CloseEntry(), 0) << "nothing open";
    EXPECT_EQ(ziptest::Extract(archive, static_cast<std::uint32_t>(tail), dir.Path("new")), 1);
    EXPECT_EQ(dir.Read("new\\tail.txt"), "tail\n");
    // A new name.
    EXPECT_TRUE(archive.ExtractEntry(static_cast<std::uint32_t>(tail), dir.path(), true, "renamed\\t.txt"));
    EXPECT_EQ(dir.Read("renamed\\t.txt"), "tail\n");
}

// Each folder is made and looked at once, and each file costs one open: its
// time and attributes go through the handle that wrote it.
TEST(ZipExtract, OneOpenPerFileAndEachFolderOnce) {
    REQUIRE_FIXTURE("many.zip");
    using platform::instrument::Call;
    test_util::ScratchDir dir;
    platform::instrument::ResetCounts();
    const std::vector<int> outcomes = ziptest::ExtractAll(Fixture("many.zip"), dir.path());
    ASSERT_EQ(outcomes, std::vector<int>(outcomes.size(), 1));
    const int files = 40, folders = 6;  // a, b, b\c, d, d\e, d\e\f
    EXPECT_EQ(platform::instrument::CallCount(Call::kOpenFile), static_cast<std::uint64_t>(files + 1));  // + the archive
    EXPECT_EQ(platform::instrument::CallCount(Call::kSetTimes), 0u);
    EXPECT_EQ(platform::instrument::CallCount(Call::kCreateDirectory), static_cast<std::uint64_t>(folders));
    // Folder entries set their attributes by name; files never do.
    EXPECT_EQ(platform::instrument::CallCount(Call::kSetAttributes), 4u);
    // Looking before creating: at most twice per folder, never per file.
    EXPECT_LE(platform::instrument::CallCount(Call::kGetAttributes), static_cast<std::uint64_t>(2 * folders + 4));
    // ... and the files come out as unzip makes them: contents, times, modes.
    test_util::ScratchDir theirs;
    ASSERT_TRUE(ziptest::RunUnzip(FixtureNative("many.zip"), theirs.Native()));
    const auto tree = ziptest::Snapshot(dir.Native());
    EXPECT_EQ(tree.size(), static_cast<std::size_t>(files + folders));
    EXPECT_EQ(tree, ziptest::Snapshot(theirs.Native()));
}

}  // namespace
