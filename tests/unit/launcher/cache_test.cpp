// The extraction cache over whole runs: cold and warm starts, damage that is
// caught and repaired, copies that a run still holds, crashes, and the
// races with other launchers, driven through the posix backend's fault
// injection. The program is a shell script that ends with 7.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "launcher/cachedrun.h"
#include "payload/cachefolder.h"
#include "payload/extractor.h"
#include "platform/posix/instrument.h"
#include "platform/strings.h"
#include "platform/system.h"
#include "run_support.h"
#include "test_util/scratch.h"
#include "zip/archive.h"

namespace {

namespace fs = std::filesystem;
using platform::instrument::Call;
using runtest::Names;
using runtest::PackSilentLauncher;
using runtest::RunLauncher;

// What is under a folder: each path with its contents (folders have none).
std::map<std::string, std::string> Contents(const std::string& native) {
    std::map<std::string, std::string> tree;
    for (const auto& entry : fs::recursive_directory_iterator(native)) {
        std::string content;
        if (entry.is_regular_file()) {
            std::ifstream in(entry.path(), std::ios::binary);
            content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        tree[fs::relative(entry.path(), native).string()] = content;
    }
    return tree;
}

// The same with every time and mode: what a run that writes nothing leaves as it was.
std::map<std::string, std::string> Everything(const std::string& native) {
    std::map<std::string, std::string> tree = Contents(native);
    for (auto& [path, text] : tree) {
        const fs::path full = fs::path(native) / path;
        text += "|" + std::to_string(fs::last_write_time(full).time_since_epoch().count()) + "|" +
                std::to_string(static_cast<unsigned>(fs::symlink_status(full).permissions()));
    }
    return tree;
}

// The bytes this process has had written to storage (Linux), or -1.
long long WrittenBytes() {
    std::ifstream io("/proc/self/io");
    for (std::string key; io >> key;) {
        long long value = 0;
        io >> value;
        if (key == "write_bytes:") return value;
    }
    return -1;
}

// Calls that change something on disk.
std::uint64_t Changes() {
    std::uint64_t changes = 0;
    for (Call call : {Call::kSetAttributes, Call::kSetTimes, Call::kCreateDirectory, Call::kRemoveDirectory,
                      Call::kDeleteFile, Call::kMoveFile})
        changes += platform::instrument::CallCount(call);
    return changes;
}

class CacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir.Write("app\\readme.txt", "read me\n");
        m_dir.Write("app\\lib\\data.bin", std::string(300000, 'd'));
        m_dir.Write("app\\lib\\deeper\\more.txt", "more\n");
        m_launcher = PackSilentLauncher(m_dir, 7, true);
        ASSERT_FALSE(m_launcher.empty());
        ASSERT_TRUE(platform::CreateDirectory(m_dir.Path("base")));
        m_expected = Contents(m_dir.Native("app"));
    }
    void TearDown() override { platform::instrument::ClearFailures(); }

    std::string Base() const { return m_dir.Path("base"); }
    // The launcher's cache folder.
    std::string Cache() const { return m_dir.Path("base\\launcher"); }
    std::string CacheNative(const std::string& relative = "") const {
        return m_dir.Native("base\\launcher" + (relative.empty() ? "" : "\\" + relative));
    }
    // The copies there, by name.
    std::vector<std::string> CopyNames() const {
        std::vector<std::string> copies;
        for (const std::string& name : Names(CacheNative()))
            if (IsCopyFolderName(name)) copies.push_back(name);
        return copies;
    }
    std::string CopyName() const {
        const std::vector<std::string> copies = CopyNames();
        return copies.size() == 1 ? copies[0] : "";
    }
    std::string FilesNative() const { return CacheNative(CopyName() + "\\files"); }

    int Run(const std::string& launcher = "") { return RunLauncher(launcher.empty() ? m_launcher : launcher, Base()).exitCode; }

    // Prepares a run's place from the cache as a run does, without running the program.
    bool Prepare(RunPlace& place) {
        CSFEFileExtractor payload;
        payload.m_strModulePath = platform::FromNativePath(m_launcher);
        const std::string text = payload.GetDataSegment();
        LaunchConfig config;
        ReadLaunchConfig(text, config);
        CZipArchive archive;
        archive.Open(payload.m_strModulePath);
        return PrepareCachedRun(archive, payload.m_strModulePath, text, config, RunWindows(), Base(), place);
    }

    test_util::ScratchDir m_dir;
    std::string m_launcher;
    std::map<std::string, std::string> m_expected;
};

TEST_F(CacheTest, ColdThenWarmStartTheSameCopyAndTheWarmStartWritesNothing) {
    EXPECT_EQ(Run(), 7);
    const std::string copy = CopyName();
    ASSERT_FALSE(copy.empty());
    EXPECT_EQ(Names(CacheNative()), (std::vector<std::string>{copy, copy + ".lock"}));
    EXPECT_EQ(Names(CacheNative(copy)), (std::vector<std::string>{"files", "manifest"}));
    EXPECT_EQ(Contents(FilesNative()), m_expected) << "the program's folder holds exactly the archive";
    EXPECT_EQ(platform::DescribeAccess(Cache()), "0700");
    EXPECT_EQ(platform::DescribeAccess(Cache() + "\\" + copy), "0700");

    const auto before = Everything(CacheNative());
    platform::instrument::ResetCounts();
    const long long written = WrittenBytes();
    EXPECT_EQ(Run(), 7);
    if (written >= 0) {
        EXPECT_EQ(WrittenBytes(), written);
    }
    EXPECT_EQ(Changes(), 0u);
    EXPECT_EQ(Everything(CacheNative()), before) << "nothing in the cache changed, not even a time";
}

// What a temp cleaner, a user or a crash may do to a copy: never started
// as it is, and made again.
TEST_F(CacheTest, ADamagedCopyIsCaughtAndRepaired) {
    using Damage = std::function<void(const std::string& copy)>;
    const struct {
        const char* what;
        Damage damage;
    } cases[] = {
        {"a file deleted", [](const std::string& copy) { fs::remove(copy + "/files/lib/deeper/more.txt"); }},
        {"a file changed", [](const std::string& copy) { std::ofstream(copy + "/files/readme.txt") << "changed"; }},
        {"a file touched", [](const std::string& copy) {
             fs::last_write_time(copy + "/files/readme.txt", fs::file_time_type::clock::now());
         }},
        {"the manifest gone", [](const std::string& copy) { fs::remove(copy + "/manifest"); }},
        {"the copy opened to others", [](const std::string& copy) {
             fs::permissions(copy, fs::perms::group_read | fs::perms::group_exec, fs::perm_options::add);
         }},
        {"a link in the copy's place", [](const std::string& copy) {
             fs::rename(copy, copy + ".moved");
             fs::create_directory_symlink(copy + ".moved", copy);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(CacheNative());
        EXPECT_EQ(Run(), 7);
        const std::string copy = CopyName();
        c.damage(CacheNative(copy));
        std::ofstream(CacheNative(copy) + "/files/planted.txt") << "never seen by a run";
        EXPECT_EQ(Run(), 7);
        EXPECT_EQ(CopyName(), copy);
        EXPECT_EQ(Contents(FilesNative()), m_expected) << "made again, exactly the archive";
        EXPECT_EQ(platform::DescribeAccess(Cache() + "\\" + copy), "0700");
        // A link was removed as a link: what it pointed to is left alone.
        std::vector<std::string> left = {copy, copy + ".lock"};
        if (fs::exists(CacheNative(copy + ".moved"))) left.push_back(copy + ".moved");
        EXPECT_EQ(Names(CacheNative()), left);
    }
}

TEST_F(CacheTest, APayloadChangedByOneByteGetsACopyOfItsOwn) {
    EXPECT_EQ(Run(), 7);
    const std::string first = CopyName();
    m_dir.Write("app\\readme.txt", "read mE\n");
    const std::string changed = PackSilentLauncher(m_dir, 7, true);
    ASSERT_FALSE(changed.empty());
    EXPECT_EQ(Run(changed), 7);
    const std::vector<std::string> copies = CopyNames();
    ASSERT_EQ(copies.size(), 2u);
    const std::string second = copies[0] == first ? copies[1] : copies[0];
    EXPECT_NE(second, first);
    EXPECT_EQ(Names(CacheNative()), (std::vector<std::string>{copies[0], copies[0] + ".lock", copies[1],
                                                             copies[1] + ".lock"}));
    m_expected = Contents(m_dir.Native("app"));
    EXPECT_EQ(Contents(CacheNative(second + "\\files")), m_expected);
}

// A launcher killed during its cold start leaves a run folder and the
// copy's lock file; the next start extracts again, and its sweep removes
// what the dead one left.
TEST_F(CacheTest, AColdStartThatDiedIsSweptAndStartedAgain) {
    EXPECT_EQ(Run(), 7);
    const std::string copy = CopyName();
    fs::rename(CacheNative(copy), CacheNative("qx_ext_temp_0"));
    fs::remove(CacheNative("qx_ext_temp_0/manifest"));
    std::ofstream(CacheNative("qx_ext_temp_0.lock")).flush();
    EXPECT_EQ(Run(), 7);
    EXPECT_EQ(Names(CacheNative()), (std::vector<std::string>{copy, copy + ".lock"}));
    EXPECT_EQ(Contents(FilesNative()), m_expected);
}

// An extraction that left something out is never the cache's copy: the run
// uses it as its own and deletes it; the next start extracts again.
TEST_F(CacheTest, AnIncompleteExtractionIsNeverCached) {
    platform::instrument::InjectFailure(Call::kOpenFile, "more.txt", platform::kErrorAccessDenied, 1);
    EXPECT_EQ(Run(), 7);
    platform::instrument::ClearFailures();
    EXPECT_EQ(CopyName(), "");
    EXPECT_EQ(Run(), 7);
    EXPECT_EQ(Contents(FilesNative()), m_expected);
}

TEST_F(CacheTest, ACacheFolderOthersCanChangeIsNotUsed) {
    ASSERT_TRUE(platform::CreateDirectory(Cache()));
    ASSERT_TRUE(platform::SetUnixMode(Cache(), 0777));
    EXPECT_EQ(Run(), 7);
    EXPECT_EQ(Names(CacheNative()), std::vector<std::string>{});
    EXPECT_EQ(Names(m_dir.Native("base")), std::vector<std::string>{"launcher"}) << "a temporary folder, deleted";
}

// Two launchers start cold together and the other one's rename wins: this
// one deletes its own extraction and starts the winner's copy.
TEST_F(CacheTest, TheRenameLostToAnotherLauncher) {
    RunPlace mine, theirs;
    bool theirsPrepared = false;
    platform::instrument::InjectAction(Call::kMoveFile, "", [&] { theirsPrepared = Prepare(theirs); });
    ASSERT_TRUE(Prepare(mine));
    ASSERT_TRUE(theirsPrepared);
    const std::string copy = CopyName();
    EXPECT_EQ(theirs.programFolder, Cache() + "\\" + copy + "\\files");
    EXPECT_EQ(mine.programFolder, theirs.programFolder);
    EXPECT_EQ(mine.ownFolder, "");
    EXPECT_TRUE(mine.copy.Held() && theirs.copy.Held());
    EXPECT_EQ(Names(CacheNative()), (std::vector<std::string>{copy, copy + ".lock"}));
    EXPECT_EQ(Contents(FilesNative()), m_expected);
}

// A temp cleaner deletes a file while the warm start looks at the copy.
TEST_F(CacheTest, AFileVanishingDuringTheCheckIsCaught) {
    EXPECT_EQ(Run(), 7);
    const std::string more = FilesNative() + "/lib/deeper/more.txt";
    platform::instrument::InjectAction(Call::kFindFirst, "\\deeper\\*", [&] { fs::remove(more); });
    RunPlace place;
    ASSERT_TRUE(Prepare(place));
    EXPECT_EQ(place.ownFolder, "") << "repaired: nobody held it";
    EXPECT_TRUE(fs::exists(more));
    EXPECT_EQ(Contents(FilesNative()), m_expected);
}

// A damaged copy that a run still holds is not touched: a start meanwhile
// runs a copy of its own, and a start after the holder has ended repairs it.
TEST_F(CacheTest, ADamagedCopyInUseStaysUntilItsRunEnds) {
    RunPlace running;
    ASSERT_TRUE(Prepare(running));
    const std::string more = FilesNative() + "/lib/deeper/more.txt";
    fs::remove(more);

    RunPlace meanwhile;
    ASSERT_TRUE(Prepare(meanwhile));
    EXPECT_EQ(meanwhile.ownFolder, Cache() + "\\qx_ext_temp_0");
    EXPECT_EQ(meanwhile.programFolder, Cache() + "\\qx_ext_temp_0\\files");
    EXPECT_EQ(Contents(CacheNative("qx_ext_temp_0\\files")), m_expected);
    EXPECT_FALSE(fs::exists(more)) << "nothing under the running program was touched";

    running.copy.Release();
    RunPlace after;
    ASSERT_TRUE(Prepare(after));
    EXPECT_EQ(after.ownFolder, "");
    EXPECT_TRUE(fs::exists(more));
}

// The newest two copies stay; older ones go unless a run holds them.
TEST_F(CacheTest, OldCopiesAreSweptButTheNewestTwoAndThoseInUse) {
    // Versions 1 to 4 made (their copies from oldest to newest), none swept yet.
    const auto now = fs::file_time_type::clock::now();
    std::vector<std::string> copies;
    // Version 1's launcher kept as it is: packed again, its files' times could differ.
    const std::string firstLauncher = m_dir.Native("first/launcher");
    fs::create_directory(m_dir.Native("first"));
    for (int version = 1; version <= 4; ++version) {
        m_dir.Write("app\\version.txt", std::to_string(version));
        m_launcher = PackSilentLauncher(m_dir, 7, true);
        if (version == 1) fs::copy_file(m_launcher, firstLauncher);
        RunPlace made;
        ASSERT_TRUE(Prepare(made));
        copies.push_back(platform::FileNameOf(made.programFolder.substr(0, made.programFolder.rfind('\\'))));
        fs::last_write_time(CacheNative(copies.back()), now - std::chrono::hours(10 - version));
    }
    // Version 1 runs on while version 5 starts.
    m_launcher = firstLauncher;
    RunPlace first;
    ASSERT_TRUE(Prepare(first));
    ASSERT_EQ(first.programFolder, Cache() + "\\" + copies[0] + "\\files");
    m_dir.Write("app\\version.txt", "5");
    m_launcher = PackSilentLauncher(m_dir, 7, true);
    EXPECT_EQ(Run(), 7);
    std::vector<std::string> left = CopyNames();
    ASSERT_EQ(left.size(), 3u);
    for (const std::string& kept : {copies[0], copies[3]})
        EXPECT_NE(std::find(left.begin(), left.end(), kept), left.end()) << kept;

    // Once version 1 has ended, it goes too.
    first.copy.Release();
    EXPECT_EQ(Run(), 7);
    left = CopyNames();
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(std::find(left.begin(), left.end(), copies[0]), left.end());
    EXPECT_NE(std::find(left.begin(), left.end(), copies[3]), left.end());
}

}  // namespace
