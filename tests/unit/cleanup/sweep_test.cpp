// The sweep of dead runs' folders: what goes and what stays, and the races
// with live runs and other sweepers, driven through the posix backend's
// fault injection.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "cleanup/sweep.h"
#include "platform/folderlock.h"
#include "platform/posix/instrument.h"
#include "platform/system.h"
#include "test_util/scratch.h"

namespace {

namespace fs = std::filesystem;
using platform::FolderLock;
using platform::instrument::Call;

bool IsOurs(const std::string& name) { return name.rfind("run_", 0) == 0; }

std::vector<std::string> Names(const std::string& native) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(native)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A run's folder with files in it and its lock file, as a run leaves them
// when it dies.
void MakeDeadRun(const test_util::ScratchDir& dir, const std::string& name) {
    dir.Write(name + "\\app.exe", "program");
    dir.Write(name + "\\sub\\data.txt", "data");
    ASSERT_TRUE(platform::SetFileAttributes(dir.Write(name + "\\ro.txt", "r"), platform::kAttrReadOnly));
    dir.Write(name + ".lock", "");
}

TEST(Sweep, RemovesDeadRunsOnlyAndNeverGoesThroughALink) {
    test_util::ScratchDir outside;
    outside.Write("precious.txt", "keep");
    test_util::ScratchDir dir;
    MakeDeadRun(dir, "run_1");
    // A dead run whose folder holds a link to somebody else's folder.
    MakeDeadRun(dir, "run_2");
    fs::create_directory_symlink(outside.Native(), dir.Native("run_2\\link"));
    // Live runs: one holds its lock alone, two share one.
    MakeDeadRun(dir, "run_3");
    FolderLock live;
    ASSERT_TRUE(live.TryTake(dir.Path("run_3"), FolderLock::kExclusive));
    MakeDeadRun(dir, "run_4");
    FolderLock shared1, shared2;
    ASSERT_TRUE(shared1.TryTake(dir.Path("run_4"), FolderLock::kShared));
    ASSERT_TRUE(shared2.TryTake(dir.Path("run_4"), FolderLock::kShared));
    // Without a mark: somebody's own folder of that name.
    dir.Write("run_5\\mine.txt", "a user's");
    // A mark whose folder is gone: a run that died before making it, or after deleting it.
    dir.Write("run_6.lock", "");
    // A link of our name, and a lock file that is a link.
    fs::create_directory_symlink(outside.Native(), dir.Native("run_7"));
    dir.Write("run_7.lock", "");
    dir.Write("run_8\\file.txt", "x");
    fs::create_symlink(outside.Native("precious.txt"), dir.Native("run_8.lock"));
    // A name that is not ours.
    MakeDeadRun(dir, "other_9");

    EXPECT_EQ(SweepDeadFolders(dir.path(), IsOurs), 2u);
    EXPECT_EQ(Names(dir.Native()),
              (std::vector<std::string>{"other_9", "other_9.lock", "run_3", "run_3.lock", "run_4", "run_4.lock", "run_5",
                                        "run_7", "run_7.lock", "run_8", "run_8.lock"}));
    EXPECT_EQ(Names(dir.Native("run_3")), (std::vector<std::string>{"app.exe", "ro.txt", "sub"}));
    EXPECT_EQ(Names(dir.Native("run_4")), (std::vector<std::string>{"app.exe", "ro.txt", "sub"}));
    EXPECT_EQ(Names(outside.Native()), (std::vector<std::string>{"precious.txt"}));
    EXPECT_EQ(outside.Read("precious.txt"), "keep");
    EXPECT_TRUE(live.Held() && shared1.Held() && shared2.Held());

    // Once its runs have ended, a live folder is a dead one.
    live.Release();
    shared1.Release();
    EXPECT_EQ(SweepDeadFolders(dir.path(), IsOurs), 1u) << "a shared holder still keeps run_4";
    shared2.Release();
    EXPECT_EQ(SweepDeadFolders(dir.path(), IsOurs), 1u);
    EXPECT_EQ(SweepDeadFolders(dir.Path("missing"), IsOurs), 0u);
}

// What another process may do at the moment the sweep has opened a lock
// file and is about to lock it.
TEST(Sweep, RacesWithRunsAndOtherSweepers) {
    struct Case {
        const char* what;
        void (*meanwhile)(const test_util::ScratchDir& dir, const test_util::ScratchDir& outside, FolderLock& newRun);
        std::vector<std::string> left;  // in the base, besides nothing
        std::vector<std::string> inRun;  // in run_1, when it is left
    } cases[] = {
        // Another sweeper removed the dead run, and a new run took the name:
        // the file the sweep opened is not the lock file any more.
        {"the folder becomes live", [](const test_util::ScratchDir& dir, const test_util::ScratchDir&, FolderLock& newRun) {
             fs::remove_all(dir.Native("run_1"));
             fs::remove(dir.Native("run_1.lock"));
             ASSERT_TRUE(newRun.CreateNew(dir.Path("run_1")));
             dir.Write("run_1\\new.txt", "a new run's");
         }, {"run_1", "run_1.lock"}, {"new.txt"}},
        // Somebody put a link to their own folder where the run's folder was.
        {"a link takes the folder's place", [](const test_util::ScratchDir& dir, const test_util::ScratchDir& outside, FolderLock&) {
             fs::remove_all(dir.Native("run_1"));
             fs::create_directory_symlink(outside.Native(), dir.Native("run_1"));
         }, {"run_1", "run_1.lock"}, {"precious.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test_util::ScratchDir outside;
        outside.Write("precious.txt", "keep");
        test_util::ScratchDir dir;
        MakeDeadRun(dir, "run_1");
        FolderLock newRun;
        platform::instrument::InjectAction(Call::kLockFolder, "run_1.lock", [&] { c.meanwhile(dir, outside, newRun); });
        EXPECT_EQ(SweepDeadFolders(dir.path(), IsOurs), 0u);
        platform::instrument::ClearFailures();
        EXPECT_EQ(Names(dir.Native()), c.left);
        EXPECT_EQ(Names(dir.Native("run_1")), c.inRun);
        EXPECT_EQ(Names(outside.Native()), (std::vector<std::string>{"precious.txt"}));
    }
}

TEST(Sweep, ALockThatCannotBeReadKeepsItsFolder) {
    test_util::ScratchDir dir;
    MakeDeadRun(dir, "run_1");
    MakeDeadRun(dir, "run_2");
    platform::instrument::InjectFailure(Call::kLockFolder, "run_1.lock", platform::kErrorAccessDenied, 1);
    EXPECT_EQ(SweepDeadFolders(dir.path(), IsOurs), 1u);
    platform::instrument::ClearFailures();
    EXPECT_EQ(Names(dir.Native()), (std::vector<std::string>{"run_1", "run_1.lock"}));
}

// What a sweep could not delete at once stays with its mark, for the next one.
TEST(Sweep, WhatStaysKeepsItsMark) {
    test_util::ScratchDir dir;
    MakeDeadRun(dir, "run_1");
    platform::instrument::InjectFailure(Call::kDeleteFile, "data.txt", platform::kErrorSharingViolation, 1);
    EXPECT_EQ(SweepDeadFolders(dir.path(), IsOurs), 0u);
    platform::instrument::ClearFailures();
    EXPECT_EQ(Names(dir.Native()), (std::vector<std::string>{"run_1", "run_1.lock"}));
    EXPECT_EQ(SweepDeadFolders(dir.path(), IsOurs), 1u);
    EXPECT_EQ(Names(dir.Native()), std::vector<std::string>{});
}

// Folders that outlive their runs (the extraction cache's copies): the
// newest stay whether held or not, older ones go unless held.
TEST(Sweep, OldFoldersGoButTheNewestAndThoseInUse) {
    test_util::ScratchDir dir;
    const auto now = fs::file_time_type::clock::now();
    // run_1 the oldest ... run_5 the newest.
    for (int i = 1; i <= 5; ++i) {
        const std::string name = "run_" + std::to_string(i);
        MakeDeadRun(dir, name);
        fs::last_write_time(dir.Native(name), now - std::chrono::hours(10 - i));
    }
    FolderLock inUse, newestInUse;
    ASSERT_TRUE(inUse.TryTake(dir.Path("run_2"), FolderLock::kShared));
    ASSERT_TRUE(newestInUse.TryTake(dir.Path("run_5"), FolderLock::kShared));
    dir.Write("run_6.lock", "");  // a copy never made
    dir.Write("run_7\\mine.txt", "a user's own folder of that name, the newest of all");
    MakeDeadRun(dir, "other_1");

    EXPECT_EQ(SweepOldFolders(dir.path(), IsOurs, 2), 2u);
    EXPECT_EQ(Names(dir.Native()), (std::vector<std::string>{"other_1", "other_1.lock", "run_2", "run_2.lock",
                                                              "run_4", "run_4.lock", "run_5", "run_5.lock", "run_7"}));
    EXPECT_EQ(Names(dir.Native("run_4")), (std::vector<std::string>{"app.exe", "ro.txt", "sub"}));
    // What the newest two are counts among the folders there, held or not.
    inUse.Release();
    newestInUse.Release();
    EXPECT_EQ(SweepOldFolders(dir.path(), IsOurs, 1), 2u);
    EXPECT_EQ(Names(dir.Native()), (std::vector<std::string>{"other_1", "other_1.lock", "run_5", "run_5.lock", "run_7"}));
    EXPECT_EQ(SweepOldFolders(dir.Path("missing"), IsOurs, 2), 0u);
}

}  // namespace
