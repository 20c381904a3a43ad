// Guarded deletion: the source rules, the status texts, the passes over
// files and folders, failures, progress, abort and links.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "cleanup/busyretry.h"
#include "cleanup/deletefiles.h"
#include "platform/app.h"
#include "platform/deleteblock.h"
#include "platform/posix/instrument.h"
#include "platform/strings.h"
#include "platform/system.h"
#include "platform/window.h"
#include "test_util/scratch.h"

namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

class Recorder : public CQXDeleteFiles {
public:
    Recorder() = default;
    // The whole scratch folder as the launcher deletes its own: every file
    // and sub-folder, going on after errors.
    explicit Recorder(const test_util::ScratchDir& dir, CBusyRetry* retry = nullptr) {
        TargetFolderContents(dir.path());
        m_pRetry = retry;
    }

    Texts texts;
    void OnStatusMessage(std::string text) override { texts.push_back(std::move(text)); }
};

// Everything under the scratch folder, relative, sorted; folders end in '/'.
std::vector<std::string> Contents(const test_util::ScratchDir& dir) {
    std::vector<std::string> names;
    const fs::path root(dir.Native());
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        std::string name = fs::relative(it->path(), root).generic_string();
        if (it->is_directory() && !it->is_symlink()) name += "/";
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

struct RuleCase {
    const char* source;
    const char* failure;  // null: valid
};

class SourceRuleTest : public ::testing::TestWithParam<RuleCase> {};

TEST_P(SourceRuleTest, TheFirstFailingRuleReportsItsMessage) {
    const RuleCase& c = GetParam();
    Recorder deleter;
    deleter.m_strSource = c.source;
    EXPECT_EQ(deleter.ValidateSource(), c.failure == nullptr) << c.source;
    EXPECT_EQ(deleter.texts, c.failure ? Texts{c.failure} : Texts{}) << c.source;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SourceRuleTest,
    ::testing::Values(RuleCase{"", "Source was empty"},
                      RuleCase{"C:\\", "Source was less than 4 characters"},
                      RuleCase{"C:\\Temp\\", "Source ends with a slash"},
                      RuleCase{"Temp\\*.*", "Source did not have drive specifier"},
                      RuleCase{"ab:\\x", "Source did not have drive specifier"},
                      RuleCase{"C:/Temp/*.*", "Source contains invalid character"},
                      // A trailing forward slash is rule 5's, not rule 3's.
                      RuleCase{"C:\\Temp/", "Source contains invalid character"},
                      RuleCase{"C:\\T\\\"a\"", "Source contains invalid character"},
                      RuleCase{"C:\\T\\a<b", "Source contains invalid character"},
                      RuleCase{"C:\\T\\a>b", "Source contains invalid character"},
                      RuleCase{"C:\\T\\a|b", "Source contains invalid character"},
                      RuleCase{"\\\\server\\share\\*.*", nullptr},
                      RuleCase{"C:\\Temp\\*.*", nullptr},
                      // Any first character; later colons, '*' and '?' are allowed.
                      RuleCase{"1:\\x", nullptr},
                      RuleCase{"C:\\a:b\\?*", nullptr}));

TEST(SourceRules, ReadDoubleByteCharactersWhole) {
    ASSERT_TRUE(platform::SetLeadByteCodePage(932));
    // Trail bytes that equal '\' and '|' are parts of characters, not separators or bars.
    Recorder deleter;
    deleter.m_strSource = "C:\\\x95\x5C";
    const bool trailBackslash = deleter.ValidateSource();
    deleter.m_strSource = "C:\\a\x95\x7C";
    const bool trailBar = deleter.ValidateSource();
    platform::SetLeadByteCodePage(0);
    EXPECT_TRUE(trailBackslash);
    EXPECT_TRUE(trailBar);
    EXPECT_EQ(deleter.texts, Texts{});
}

TEST(DeleteSource, AnInvalidSourceChangesNothing) {
    test_util::ScratchDir dir;
    dir.Write("a.txt", "");
    Recorder deleter;
    std::string source = dir.Path("*.*");
    for (char& c : source)
        if (c == '\\') c = '/';
    deleter.m_strSource = source;
    deleter.m_bRecurse = true;
    EXPECT_EQ(deleter.DeleteSource(true), CQXDeleteFiles::kInvalidSource);
    EXPECT_EQ(deleter.texts, (Texts{"Start deleting files", "Source contains invalid character", "Invalid source",
                                    "End deleting files"}));
    EXPECT_EQ(deleter.m_strFailedFiles, source);
    EXPECT_EQ(Contents(dir), (std::vector<std::string>{"a.txt"}));
}

TEST(DeleteSource, ReportsEachFileAndEndsWithDoneAndFullProgress) {
    test_util::ScratchDir dir;
    dir.Write("b.txt", "");
    dir.Write("a.txt", "");
    Recorder deleter;
    deleter.m_strSource = dir.Path("*.*");
    deleter.m_pStatusWnd = platform::CreateHiddenTextWindow();
    deleter.m_pProgressWnd = platform::CreateHiddenProgressBar();
    EXPECT_EQ(deleter.DeleteSource(true), CQXDeleteFiles::kDeleted);
    EXPECT_EQ(deleter.texts, (Texts{"Start deleting files", dir.Path("a.txt"), "Delete successful", dir.Path("b.txt"),
                                    "Delete successful", "End deleting files"}));
    EXPECT_EQ(platform::WindowTextOf(deleter.m_pStatusWnd), "Done");
    EXPECT_EQ(platform::SendWindowMessage(deleter.m_pProgressWnd, platform::kPbmGetPos, 0, 0), 100);
    EXPECT_EQ(deleter.m_strFailedFiles, "");
    EXPECT_EQ(Contents(dir), std::vector<std::string>{});
    platform::DestroyHiddenWindow(deleter.m_pStatusWnd);
    platform::DestroyHiddenWindow(deleter.m_pProgressWnd);
}

// A\a.txt, A\B\b.txt (read-only), A\B\C\ (empty), D\ (empty), top.txt, ro.txt (read-only).
void MakeTree(const test_util::ScratchDir& dir) {
    dir.Write("A\\a.txt", "a");
    platform::SetFileAttributes(dir.Write("A\\B\\b.txt", "b"), platform::kAttrReadOnly);
    fs::create_directories(dir.Native("A\\B\\C"));
    fs::create_directories(dir.Native("D"));
    dir.Write("top.txt", "t");
    platform::SetFileAttributes(dir.Write("ro.txt", "r"), platform::kAttrReadOnly);
}

TEST(DeleteSource, RecursionEmptiesTheTreeButKeepsTheSourceFolder) {
    struct Case {
        bool recurse;
        std::vector<std::string> left;
    } cases[] = {
        {true, {}},
        {false, {"A/", "A/B/", "A/B/C/", "A/B/b.txt", "A/a.txt", "D/"}},
    };
    for (const Case& c : cases) {
        test_util::ScratchDir dir;
        MakeTree(dir);
        Recorder deleter;
        deleter.m_strSource = dir.Path("*.*");
        deleter.m_bRecurse = c.recurse;
        EXPECT_EQ(deleter.DeleteSource(true), CQXDeleteFiles::kDeleted) << c.recurse;
        EXPECT_EQ(Contents(dir), c.left) << c.recurse;
        EXPECT_TRUE(fs::is_directory(dir.Native())) << c.recurse;
    }
}

TEST(DeleteSource, AMaskLeavesOtherFiles) {
    test_util::ScratchDir dir;
    dir.Write("a.txt", "");
    dir.Write("b.dat", "");
    dir.Write("sub\\c.txt", "");
    Recorder deleter;
    deleter.m_strSource = dir.Path("*.txt");
    deleter.m_bRecurse = true;
    EXPECT_EQ(deleter.DeleteSource(false), CQXDeleteFiles::kDeleted);
    EXPECT_EQ(Contents(dir), (std::vector<std::string>{"b.dat"}));
}

TEST(DeleteSource, AFileThatCannotBeDeletedStopsTheRunUnlessToldToGoOn) {
    struct Case {
        bool continueOnError;
        std::vector<std::string> left;
        const char* statusWindow;
    } cases[] = {
        // Going on: everything else goes, the folder pass runs.
        {true, {"locked.txt"}, "Error"},
        // Stopping: later files stay, and so do the listed folders.
        {false, {"empty/", "locked.txt", "z.txt"}, "Error"},
    };
    for (const Case& c : cases) {
        test_util::ScratchDir dir;
        fs::create_directory(dir.Native("empty"));
        dir.Write("sub\\s.txt", "");
        dir.Write("a.txt", "");
        const std::string locked = dir.Write("locked.txt", "");
        dir.Write("z.txt", "");
        platform::DeleteBlock block(locked);
        if (!block.active()) GTEST_SKIP() << "this file system cannot make a file undeletable";

        CBusyRetry retry(50);  // the block never ends: do not wait long for it
        Recorder deleter;
        deleter.m_pRetry = &retry;
        deleter.m_strSource = dir.Path("*.*");
        deleter.m_bRecurse = true;
        deleter.m_bContinueOnError = c.continueOnError;
        deleter.m_pStatusWnd = platform::CreateHiddenTextWindow();
        EXPECT_EQ(deleter.DeleteSource(true), CQXDeleteFiles::kNotAllDeleted);
        EXPECT_EQ(deleter.m_strFailedFiles, locked);
        EXPECT_EQ(Contents(dir), c.left);
        EXPECT_EQ(platform::WindowTextOf(deleter.m_pStatusWnd), c.statusWindow);
        ASSERT_GE(deleter.texts.size(), 4u);
        EXPECT_EQ(deleter.texts[deleter.texts.size() - 2], "Failed to delete one or more files");
        // The locked file's path is followed by the failure, never by success.
        auto at = std::find(deleter.texts.begin(), deleter.texts.end(), locked);
        ASSERT_NE(at, deleter.texts.end());
        EXPECT_EQ(*(at + 1), "Delete failed");
        platform::DestroyHiddenWindow(deleter.m_pStatusWnd);
    }
}

// The retry budget is for waiting, not for the work around it: a long pass
// over a big tree still leaves the full budget to a file busy at its end,
// and copies on other threads draw on the same budget.
TEST(BusyRetry, TheBudgetStartsWithTheFirstPauseAndIsShared) {
    CBusyRetry retry(100);
    platform::PauseWithMessages(150, false);  // a long pass, with nothing busy
    EXPECT_EQ(retry.RemainingMs(), 100u);
    int attempts = 0;
    EXPECT_TRUE(retry.Run([&] {
        platform::SetLastError(platform::kErrorSharingViolation);
        return ++attempts == 3;
    }));
    EXPECT_EQ(attempts, 3);

    const CBusyRetry copy(retry);
    EXPECT_LE(copy.RemainingMs(), 70u);  // the two pauses so far (10 and 20 ms) count for the copy too
    EXPECT_FALSE(retry.Run([] {
        platform::SetLastError(platform::kErrorSharingViolation);
        return false;
    }));
    EXPECT_EQ(copy.RemainingMs(), 0u);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorSharingViolation);
}

// Files and folders that are busy for a moment (a program still exiting, a
// scanner looking at a new file) are waited out within the budget; what
// stays busy, or fails for another reason, or cannot be listed, is reported
// and named, and the rest still goes.
TEST(DeleteSource, BusyFilesAreRetriedAndFailuresAreNamed) {
    using platform::instrument::Call;
    struct Case {
        const char* what;
        Call call;
        const char* suffix;
        std::uint32_t error;
        int times;
        std::vector<std::string> left;  // besides nothing
        const char* failed;             // relative to the folder; empty: none
    } cases[] = {
        {"file busy twice", Call::kDeleteFile, "busy.txt", platform::kErrorSharingViolation, 2, {}, ""},
        {"file held while its program exits", Call::kDeleteFile, "busy.txt", platform::kErrorAccessDenied, 2, {}, ""},
        {"folder busy twice", Call::kRemoveDirectory, "sub", platform::kErrorSharingViolation, 2, {}, ""},
        // Its file is deleted, but someone still has it open: the folder is not empty for a moment.
        {"sub-folder not empty while a deleted file is still open", Call::kRemoveDirectory, "sub",
         platform::kErrorDirNotEmpty, 2, {}, ""},
        {"file busy for good", Call::kDeleteFile, "busy.txt", platform::kErrorSharingViolation, 1000,
         {"sub/", "sub/busy.txt"}, "sub\\busy.txt"},
        {"file that fails otherwise", Call::kDeleteFile, "busy.txt", platform::kErrorInvalidName, 1,
         {"sub/", "sub/busy.txt"}, "sub\\busy.txt"},
        {"folder that cannot be listed", Call::kFindFirst, "sub\\*", platform::kErrorAccessDenied, 1,
         {"sub/", "sub/busy.txt"}, "sub"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test_util::ScratchDir dir;
        dir.Write("a.txt", "");
        dir.Write("sub\\busy.txt", "");
        dir.Write("z\\z.txt", "");
        platform::instrument::InjectFailure(c.call, c.suffix, c.error, c.times);
        CBusyRetry retry(100);
        Recorder deleter(dir, &retry);
        const int result = deleter.DeleteSource(false);
        platform::instrument::ClearFailures();
        EXPECT_EQ(result, *c.failed ? CQXDeleteFiles::kNotAllDeleted : CQXDeleteFiles::kDeleted);
        EXPECT_EQ(deleter.m_strFailedFiles, *c.failed ? dir.Path(c.failed) : std::string());
        EXPECT_EQ(Contents(dir), c.left);
    }
}

// What deleting a tree costs in system calls: every file is deleted with one
// call and nothing else (the walk has read its attributes already), only
// read-only files have their attributes changed, each folder is listed once
// and removed once, when it is empty, and a folder that still holds what
// could not be deleted is not tried at all.
TEST(DeleteSource, CallsPerFileAndPerFolder) {
    using platform::instrument::Call;
    using platform::instrument::CallCount;
    // Six folders: A (files and sub-folders), A\A1, A\A2, B (sub-folder only), B\B1, E (empty).
    const std::vector<std::string> folders = {"A", "A\\A1", "A\\A2", "B", "B\\B1", "E"};
    const std::vector<std::string> filled = {"", "A", "A\\A1", "A\\A2", "B\\B1"};  // "": the source's folder
    struct Case {
        const char* what;
        const char* failing;  // a file whose delete fails for good, relative; empty: none
        std::uint64_t removeDirectory;
    } cases[] = {
        {"everything goes", "", 6},
        // A\A1 and A keep the file: neither is tried; the others go.
        {"one file stays", "A\\A1\\f2.txt", 4},
    };
    for (const Case& c : cases)
    for (unsigned threads : {1u, 2u}) {
        SCOPED_TRACE(std::string(c.what) + " on " + std::to_string(threads) + " threads");
        test_util::ScratchDir dir;
        std::uint64_t files = 0, readOnly = 0;
        for (const std::string& folder : folders) fs::create_directories(dir.Native(folder));
        for (const std::string& folder : filled) {
            for (int i = 0; i < 5; ++i, ++files) {
                const std::string path = dir.Write((folder.empty() ? "" : folder + "\\") + "f" + std::to_string(i) + ".txt", "x");
                if (i % 3 == 0) {
                    ASSERT_TRUE(platform::SetFileAttributes(path, platform::kAttrReadOnly));
                    ++readOnly;
                }
            }
        }
        if (*c.failing) platform::instrument::InjectFailure(Call::kDeleteFile, c.failing, platform::kErrorInvalidName, 1);
        platform::instrument::ResetCounts();
        Recorder deleter(dir);
        deleter.m_nThreads = threads;
        const int result = deleter.DeleteSource(false);
        platform::instrument::ClearFailures();

        EXPECT_EQ(result, *c.failing ? CQXDeleteFiles::kNotAllDeleted : CQXDeleteFiles::kDeleted);
        EXPECT_EQ(deleter.m_strFailedFiles, *c.failing ? dir.Path(c.failing) : std::string());
        EXPECT_EQ(CallCount(Call::kDeleteFile), files);
        // Only the source's folder is asked, to see that it is not a link.
        EXPECT_LE(CallCount(Call::kGetAttributes), 1u);
        EXPECT_EQ(CallCount(Call::kSetAttributes), readOnly);
        EXPECT_EQ(CallCount(Call::kFindFirst), folders.size() + 1);
        // Each removal succeeded: nothing of the tried folders is left.
        EXPECT_EQ(CallCount(Call::kRemoveDirectory), c.removeDirectory);
        EXPECT_EQ(Contents(dir), *c.failing ? (std::vector<std::string>{"A/", "A/A1/", "A/A1/f2.txt"})
                                            : std::vector<std::string>{});
    }
}

// More threads delete the same files with the same outcome; afterwards the
// hook hears of the files that failed only, each as one thread reports it.
TEST(DeleteSource, TwoThreadsDeleteAsOneDoes) {
    struct Case {
        const char* what;
        bool continueOnError;
        const char* failing;  // a file whose delete fails for good, relative; empty: none
        bool abort;
        bool sameContents;  // stopping, a worker may still finish the file in its hands
    } cases[] = {
        {"a tree", true, "", false, true},
        {"a file that fails, going on", true, "A\\B\\b.txt", false, true},
        {"a file that fails, stopping", false, "A\\a.txt", false, false},
        {"an abort", true, "", true, true},
    };
    struct Outcome {
        int result;
        Texts texts;
        std::string failed, status;
        std::uintptr_t progress;
        std::vector<std::string> left;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test_util::ScratchDir dir;
        auto run = [&](unsigned threads) {
            MakeTree(dir);
            fs::create_directory_symlink(dir.Native("D"), dir.Native("A\\link"));
            if (*c.failing)
                platform::instrument::InjectFailure(platform::instrument::Call::kDeleteFile, c.failing,
                                                    platform::kErrorInvalidName, 1);
            std::atomic<std::int32_t> abort{c.abort ? 1 : 0};
            Recorder deleter(dir);
            deleter.m_bContinueOnError = c.continueOnError;
            deleter.m_pAbortFlag = &abort;
            deleter.m_nThreads = threads;
            deleter.m_pStatusWnd = platform::CreateHiddenTextWindow();
            deleter.m_pProgressWnd = platform::CreateHiddenProgressBar();
            Outcome outcome;
            outcome.result = deleter.DeleteSource(true);
            platform::instrument::ClearFailures();
            outcome.texts = deleter.texts;
            outcome.failed = deleter.m_strFailedFiles;
            outcome.status = platform::WindowTextOf(deleter.m_pStatusWnd);
            outcome.progress = platform::SendWindowMessage(deleter.m_pProgressWnd, platform::kPbmGetPos, 0, 0);
            outcome.left = Contents(dir);
            platform::DestroyHiddenWindow(deleter.m_pStatusWnd);
            platform::DestroyHiddenWindow(deleter.m_pProgressWnd);
            // Back to a clean folder for the next run.
            for (const fs::directory_entry& entry : fs::directory_iterator(dir.Native())) fs::remove_all(entry.path());
            return outcome;
        };
        const Outcome one = run(1), two = run(2);
        EXPECT_EQ(two.result, one.result);
        EXPECT_EQ(two.failed, one.failed);
        EXPECT_EQ(two.status, one.status);
        if (c.sameContents) {
            EXPECT_EQ(two.left, one.left);
            // One thread counts the file at hand before it sees an abort; workers see it before they take one.
            if (!c.abort) {
                EXPECT_EQ(two.progress, one.progress);
            }
        }
        // One thread's texts without the files that went (and the file an abort stopped at).
        Texts expected;
        for (std::size_t i = 0; i < one.texts.size(); ++i) {
            const bool path = one.texts[i].rfind(dir.path(), 0) == 0;
            const bool failedNext = i + 1 < one.texts.size() && one.texts[i + 1] == "Delete failed";
            if (one.texts[i] == "Delete successful" || (path && !failedNext)) continue;
            expected.push_back(one.texts[i]);
        }
        EXPECT_EQ(two.texts, expected);
        // The outcome itself is checked where one thread is; here only that it is not trivial.
        EXPECT_GT(one.texts.size(), 3u);
    }
}

// The pass works from what the walk read; what changed since must not stop
// it, and a folder is named only when it really stays.
TEST(DeleteSource, WhatChangedAfterTheWalk) {
    struct Case {
        const char* what;
        void (*change)(const test_util::ScratchDir& dir);
        bool deleted;
        const char* failed;  // relative; empty: none
        std::vector<std::string> left;
    } cases[] = {
        {"its program removed a file", [](const test_util::ScratchDir& dir) {
             ASSERT_TRUE(platform::DeleteFile(dir.Path("a\\gone.txt")));
         }, true, "", {}},
        {"its program removed a folder", [](const test_util::ScratchDir& dir) {
             fs::remove_all(dir.Native("a"));
         }, true, "", {}},
        // Denied, the file is looked at again and its read-only bit cleared.
        {"a file was made read-only", [](const test_util::ScratchDir& dir) {
             ASSERT_TRUE(platform::SetFileAttributes(dir.Path("a\\b.txt"), platform::kAttrReadOnly));
         }, true, "", {}},
        {"a file was added to a folder", [](const test_util::ScratchDir& dir) {
             dir.Write("a\\new.txt", "");
         }, false, "a", {"a/", "a/new.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test_util::ScratchDir dir;
        dir.Write("a\\gone.txt", "");
        dir.Write("a\\b.txt", "");
        dir.Write("z.txt", "");
        CBusyRetry retry(100);
        Recorder deleter(dir, &retry);
        ASSERT_TRUE(deleter.ValidateSource());
        deleter.CollectTargets();
        c.change(dir);
        EXPECT_EQ(deleter.DeleteTargets(), c.deleted);
        EXPECT_EQ(deleter.m_strFailedFiles, *c.failed ? dir.Path(c.failed) : std::string());
        EXPECT_EQ(Contents(dir), c.left);
    }
}

TEST(DeleteSource, SeveralFailuresAreListedWithCommas) {
    test_util::ScratchDir dir;
    const std::string first = dir.Write("1.txt", "");
    const std::string second = dir.Write("2.txt", "");
    platform::DeleteBlock block1(first), block2(second);
    if (!block1.active() || !block2.active()) GTEST_SKIP() << "this file system cannot make a file undeletable";
    CBusyRetry retry(50);
    Recorder deleter;
    deleter.m_pRetry = &retry;
    deleter.m_strSource = dir.Path("*.*");
    deleter.m_bContinueOnError = true;
    EXPECT_EQ(deleter.DeleteSource(true), CQXDeleteFiles::kNotAllDeleted);
    EXPECT_EQ(deleter.m_strFailedFiles, first + "," + second);
}

TEST(DeleteSource, ASingleFileSource) {
    test_util::ScratchDir dir;
    const std::string file = dir.Write("one.txt", "");
    dir.Write("two.txt", "");
    Recorder deleter;
    deleter.m_strSource = file;
    EXPECT_EQ(deleter.DeleteSource(true), CQXDeleteFiles::kDeleted);
    EXPECT_EQ(deleter.texts, (Texts{"Start deleting files", file, "Delete successful", "End deleting files"}));
    EXPECT_EQ(Contents(dir), (std::vector<std::string>{"two.txt"}));

    // A missing file gives the empty record, which counts as a folder: nothing happens.
    Recorder again;
    again.m_strSource = file;
    EXPECT_EQ(again.DeleteSource(true), CQXDeleteFiles::kDeleted);
    EXPECT_EQ(again.texts, (Texts{"Start deleting files", "End deleting files"}));
    EXPECT_EQ(again.m_nTotal, 1u);
    EXPECT_EQ(Contents(dir), (std::vector<std::string>{"two.txt"}));
}

TEST(DeleteSource, ASourceThatMatchesNothingSucceeds) {
    test_util::ScratchDir dir;
    Recorder deleter;
    deleter.m_strSource = dir.Path("missing\\*.*");
    deleter.m_pStatusWnd = platform::CreateHiddenTextWindow();
    EXPECT_EQ(deleter.DeleteSource(true), CQXDeleteFiles::kDeleted);
    EXPECT_EQ(platform::WindowTextOf(deleter.m_pStatusWnd), "Done");
    platform::DestroyHiddenWindow(deleter.m_pStatusWnd);
}

TEST(DeleteSource, ProgressEndsAt100EvenWithFolderRecordsInTheTotal) {
    test_util::ScratchDir dir;
    for (const char* name : {"x\\1", "x\\2", "y\\3", "4"}) dir.Write(name, "");
    Recorder deleter;
    deleter.m_strSource = dir.Path("*.*");
    deleter.m_bRecurse = true;
    deleter.m_pProgressWnd = platform::CreateHiddenProgressBar();
    EXPECT_EQ(deleter.DeleteSource(true), CQXDeleteFiles::kDeleted);
    EXPECT_EQ(deleter.m_nTotal, 6u);
    EXPECT_EQ(deleter.m_nDone, 4u);
    EXPECT_EQ(platform::SendWindowMessage(deleter.m_pProgressWnd, platform::kPbmGetPos, 0, 0), 100);
    platform::DestroyHiddenWindow(deleter.m_pProgressWnd);
}

TEST(DeleteSource, AnAbortStopsBeforeTheFirstFileIsTouched) {
    test_util::ScratchDir dir;
    dir.Write("a.txt", "");
    dir.Write("b.txt", "");
    std::atomic<std::int32_t> abort{1};
    Recorder deleter;
    deleter.m_strSource = dir.Path("*.*");
    deleter.m_pAbortFlag = &abort;
    EXPECT_EQ(deleter.DeleteSource(true), CQXDeleteFiles::kNotAllDeleted);
    EXPECT_EQ(deleter.texts, (Texts{"Start deleting files", dir.Path("a.txt"), "Failed to delete one or more files",
                                    "End deleting files"}));
    EXPECT_EQ(deleter.m_strFailedFiles, "");
    EXPECT_EQ(Contents(dir), (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST(DeleteSource, LinksGoAsLinksAndNothingBehindThemIsTouched) {
    test_util::ScratchDir outside;
    outside.Write("precious.txt", "keep");
    outside.Write("inner\\more.txt", "keep");
    const std::string readOnly = outside.Write("readonly.txt", "keep");
    ASSERT_TRUE(platform::SetFileAttributes(readOnly, platform::kAttrReadOnly));
    const std::vector<std::string> before = Contents(outside);

    test_util::ScratchDir dir;
    dir.Write("own.txt", "");
    dir.Write("sub\\own2.txt", "");
    fs::create_directory_symlink(outside.Native(), dir.Native("sub\\folder link"));
    fs::create_directory_symlink(outside.Native("inner"), dir.Native("inner link"));
    fs::create_symlink(outside.Native("readonly.txt"), dir.Native("file link"));
    fs::create_symlink(dir.Native("gone"), dir.Native("dangling link"));

    Recorder deleter(dir);
    EXPECT_EQ(deleter.DeleteSource(true), CQXDeleteFiles::kDeleted);
    EXPECT_EQ(Contents(dir), std::vector<std::string>{});
    EXPECT_EQ(Contents(outside), before);
    EXPECT_EQ(outside.Read("precious.txt"), "keep");
    EXPECT_EQ(platform::GetFileAttributes(readOnly) & platform::kAttrReadOnly, platform::kAttrReadOnly);

    // A source folder that is itself a link is not walked.
    fs::create_directory_symlink(outside.Native(), dir.Native("top link"));
    Recorder viaLink;
    viaLink.m_strSource = dir.Path("top link\\*.*");
    viaLink.m_bRecurse = true;
    EXPECT_EQ(viaLink.DeleteSource(true), CQXDeleteFiles::kDeleted);
    EXPECT_EQ(Contents(outside), before);
}

TEST(SplitSourcePath, SplitsAtTheLastBackslash) {
    struct Case {
        const char *source, *folder, *mask;
    } cases[] = {
        {"C:\\Temp\\x\\*.*", "C:\\Temp\\x", "*.*"},
        {"C:\\Temp\\", "C:\\Temp", ""},
        {"nothing", "", ""},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        std::string folder = "?", mask = "?";
        CQXDeleteFiles::SplitSourcePath(c.source, folder, mask);
        EXPECT_EQ(folder, c.folder) << c.source;
        EXPECT_EQ(mask, c.mask) << c.source;
    }
}

}  // namespace
