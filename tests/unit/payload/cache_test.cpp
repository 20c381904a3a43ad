// The extraction cache's names, the digest that tells payloads apart, and
// the manifest that tells a warm start whether a copy is whole.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "payload/cachefolder.h"
#include "payload/manifest.h"
#include "payload/runfolder.h"
#include "platform/system.h"
#include "test_util/scratch.h"

namespace {

namespace fs = std::filesystem;

const std::string kDigest = "0123456789abcdef";

TEST(CacheNames, CopyFolderNames) {
    const struct {
        std::string run;
        std::string expected;
    } cases[] = {
        {"app.exe", "app-" + kDigest},
        {"bin\\tool.exe", "tool-" + kDigest},
        {"bin/tool", "tool-" + kDigest},
        {"my.app.v2.exe", "my.app.v2-" + kDigest},
        {"\xd0\xbf\xd1\x80\xd0\xbe\xd0\xb3.exe", "\xd0\xbf\xd1\x80\xd0\xbe\xd0\xb3-" + kDigest},
        // What some file system would refuse, and a name ending in dots, becomes harmless.
        {"a:b*c?.exe", "a_b_c_-" + kDigest},
        {"dots...", "dots-" + kDigest},
        {".exe", "program-" + kDigest},
        {std::string(60, 'x') + ".exe", std::string(40, 'x') + "-" + kDigest},
        // Cut between characters: 39 bytes and a two-byte character do not fit 40.
        {std::string(39, 'x') + "\xc3\xa9" + "z.exe", std::string(39, 'x') + "-" + kDigest},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CopyFolderName(c.run, kDigest), c.expected) << c.run;
        EXPECT_TRUE(IsCopyFolderName(CopyFolderName(c.run, kDigest))) << c.run;
    }
}

TEST(CacheNames, OnlyCopyNamesAreCopies) {
    const struct {
        const char* name;
        bool isCopy;
    } cases[] = {
        {"app-0123456789abcdef", true},
        {"-0123456789abcdef", false},       // no program
        {"app-0123456789ABCDEF", false},    // digits as CopyFolderName never writes them
        {"app-0123456789abcde", false},     // one short
        {"app_0123456789abcdef", false},
        {"app-0123456789abcdefg", false},
        {"qx_ext_temp_0", false},
        {"app-0123456789abcdef.lock", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsCopyFolderName(c.name), c.isCopy) << c.name;
    // The two kinds of folder a sweep of the cache tells apart never meet.
    EXPECT_FALSE(IsRunFolderName(CopyFolderName("qx_ext_temp_1", kDigest)));
}

TEST(CacheNames, TheLauncherCacheFolderIsNamedAfterTheLauncher) {
    EXPECT_EQ(LauncherCacheFolder("Z:\\tmp\\base\\", "Z:\\dl\\My Tool.exe"), "Z:\\tmp\\base\\My Tool");
    EXPECT_EQ(LauncherCacheFolder("Z:\\tmp\\base", "Z:\\dl\\tool"), "Z:\\tmp\\base\\tool");
    EXPECT_EQ(CopyFilesFolder("Z:\\c\\app-x"), "Z:\\c\\app-x\\files");
    EXPECT_EQ(CopyManifest("Z:\\c\\app-x"), "Z:\\c\\app-x\\manifest");
}

// Every byte of the configuration and of the directory counts; what lies
// around the directory does not.
TEST(PayloadDigest, ChangesWithTheConfigurationAndTheDirectoryOnly) {
    test_util::ScratchDir dir;
    const std::string head(100, 'h'), directory = "PK\x01\x02 the central directory", tail = "PK\x05\x06 end";
    const std::string file = dir.Write("launcher", head + directory + tail);
    const std::string base = PayloadDigest("<QX_ZCD/>", file, head.size(), directory.size());
    ASSERT_EQ(base.size(), 16u);
    EXPECT_EQ(base.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_EQ(PayloadDigest("<QX_ZCD/>", file, head.size(), directory.size()), base) << "the same payload";

    EXPECT_NE(PayloadDigest("<QX_ZCD> </QX_ZCD>", file, head.size(), directory.size()), base);
    std::string changed = directory;
    changed[10] ^= 1;
    EXPECT_NE(PayloadDigest("<QX_ZCD/>", dir.Write("changed", head + changed + tail), head.size(), directory.size()),
              base);
    const std::string moved = dir.Write("moved", "x" + head + directory + "other" + tail);
    EXPECT_EQ(PayloadDigest("<QX_ZCD/>", moved, head.size() + 1, directory.size()), base);
    // The configuration ends where the directory starts: no two payloads run together.
    EXPECT_NE(PayloadDigest("<QX_ZCD/>P", dir.Write("shifted", head + directory.substr(1) + tail), head.size(),
                            directory.size() - 1),
              base);

    EXPECT_EQ(PayloadDigest("", file, head.size(), directory.size() + tail.size() + 1), "") << "beyond the file";
    EXPECT_EQ(PayloadDigest("", dir.Path("missing"), 0, 1), "");
}

// A tree as a cold start leaves it.
void MakeTree(const test_util::ScratchDir& dir) {
    dir.Write("tree\\app", "program");
    dir.Write("tree\\readme.txt", "text");
    dir.Write("tree\\name with spaces.txt", "spaces");
    dir.Write("tree\\lib\\data.bin", std::string(5000, 'd'));
    dir.Write("tree\\lib\\deeper\\more.txt", "more");
    dir.Write("tree\\lib\\deeper\\empty.txt", "");
    fs::create_directories(dir.Native("tree\\empty folder"));
}

TEST(Manifest, DescribesATreeThatThenMatches) {
    test_util::ScratchDir dir;
    MakeTree(dir);
    std::string manifest;
    ASSERT_TRUE(DescribeTree(dir.Path("tree"), manifest));
    EXPECT_EQ(manifest.find("sfxlauncher cache manifest 1\nin \n"), 0u) << manifest;
    EXPECT_NE(manifest.find("\nin lib\\deeper\nfile 0 "), std::string::npos) << manifest;
    EXPECT_NE(manifest.find(" name with spaces.txt\n"), std::string::npos) << manifest;
    EXPECT_EQ(manifest.substr(manifest.size() - 9), "\nend 6 3\n") << manifest;
    EXPECT_TRUE(TreeMatches(dir.Path("tree"), manifest));

    ASSERT_TRUE(WriteManifest(dir.Path("manifest"), manifest));
    EXPECT_FALSE(WriteManifest(dir.Path("manifest"), manifest)) << "never over anything";
    std::string read;
    ASSERT_TRUE(ReadManifest(dir.Path("manifest"), read));
    EXPECT_EQ(read, manifest);
    EXPECT_FALSE(ReadManifest(dir.Path("missing"), read));
    // What no read would take is never written: that copy would be made again on every start.
    EXPECT_FALSE(WriteManifest(dir.Path("too big"), manifest + std::string(64u << 20, 'x')));
    EXPECT_FALSE(fs::exists(dir.Native("too big")));
}

TEST(Manifest, ALinkOrANameThatCannotStandOnALineIsNeverDescribed) {
    for (const char* what : {"link", "line break"}) {
        test_util::ScratchDir dir;
        MakeTree(dir);
        if (std::string(what) == "link")
            fs::create_directory_symlink(dir.Native("tree\\lib"), dir.Native("tree\\lib link"));
        else
            dir.Write("tree\\two\nlines", "x");
        std::string manifest;
        EXPECT_FALSE(DescribeTree(dir.Path("tree"), manifest)) << what;
    }
}

// Whatever happened to the tree or to its manifest since it was made.
TEST(Manifest, CatchesWhatChangedAndAllowsWhatWasAdded) {
    using Change = std::function<void(const test_util::ScratchDir&, std::string&)>;
    const struct {
        const char* what;
        Change change;
        bool matches;
    } cases[] = {
        {"nothing", [](const test_util::ScratchDir&, std::string&) {}, true},
        {"a file added", [](const test_util::ScratchDir& d, std::string&) { d.Write("tree\\lib\\log.txt", "x"); },
         true},
        {"a folder added", [](const test_util::ScratchDir& d, std::string&) { d.Write("tree\\new\\x", "x"); }, true},
        {"a file deleted", [](const test_util::ScratchDir& d, std::string&) {
             fs::remove(d.Native("tree\\lib\\deeper\\more.txt"));
         }, false},
        {"an empty file deleted", [](const test_util::ScratchDir& d, std::string&) {
             fs::remove(d.Native("tree\\lib\\deeper\\empty.txt"));
         }, false},
        {"an empty folder deleted", [](const test_util::ScratchDir& d, std::string&) {
             fs::remove(d.Native("tree\\empty folder"));
         }, false},
        {"a file of another size", [](const test_util::ScratchDir& d, std::string&) {
             const auto time = fs::last_write_time(d.Native("tree\\readme.txt"));
             d.Write("tree\\readme.txt", "longer text");
             fs::last_write_time(d.Native("tree\\readme.txt"), time);
         }, false},
        {"a file written again", [](const test_util::ScratchDir& d, std::string&) {
             const auto time = fs::last_write_time(d.Native("tree\\readme.txt"));
             fs::last_write_time(d.Native("tree\\readme.txt"), time + std::chrono::seconds(2));
         }, false},
        {"a file where a folder was", [](const test_util::ScratchDir& d, std::string&) {
             fs::remove(d.Native("tree\\empty folder"));
             d.Write("tree\\empty folder", "");
         }, false},
        {"a link where a folder was", [](const test_util::ScratchDir& d, std::string&) {
             fs::rename(d.Native("tree\\lib"), d.Native("elsewhere"));
             fs::create_directory_symlink(d.Native("elsewhere"), d.Native("tree\\lib"));
         }, false},
        {"a link where the tree was", [](const test_util::ScratchDir& d, std::string&) {
             fs::rename(d.Native("tree"), d.Native("elsewhere"));
             fs::create_directory_symlink(d.Native("elsewhere"), d.Native("tree"));
         }, false},
        {"the tree gone", [](const test_util::ScratchDir& d, std::string&) { fs::remove_all(d.Native("tree")); },
         false},
        {"the manifest cut short", [](const test_util::ScratchDir&, std::string& m) { m.resize(m.size() / 2); },
         false},
        {"the manifest without its end", [](const test_util::ScratchDir&, std::string& m) {
             m.resize(m.rfind("end "));
         }, false},
        {"the manifest without its last line break", [](const test_util::ScratchDir&, std::string& m) {
             m.pop_back();
         }, false},
        {"a line of the manifest lost", [](const test_util::ScratchDir&, std::string& m) {
             const std::size_t line = m.find("\nfile ");
             m.erase(line, m.find('\n', line + 1) - line);
         }, false},
        {"another manifest format", [](const test_util::ScratchDir&, std::string& m) { m[27] = '2'; }, false},
        {"an empty manifest", [](const test_util::ScratchDir&, std::string& m) { m.clear(); }, false},
        {"a size that is no number", [](const test_util::ScratchDir&, std::string& m) {
             m.replace(m.find("\nfile ") + 6, 1, "-");
         }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test_util::ScratchDir dir;
        MakeTree(dir);
        std::string manifest;
        ASSERT_TRUE(DescribeTree(dir.Path("tree"), manifest));
        c.change(dir, manifest);
        EXPECT_EQ(TreeMatches(dir.Path("tree"), manifest), c.matches);
    }
}

}  // namespace
