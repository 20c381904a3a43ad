// The whole run against a real payload, with failures injected into the
// posix backend where a real machine would misbehave: a wait for the
// program that fails, an exit code that cannot be read, a file that will
// not go. The program is a shell script that ends with 7.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/run.h"
#include "platform/posix/instrument.h"
#include "platform/process.h"
#include "platform/system.h"
#include "run_support.h"
#include "test_util/scratch.h"

namespace {

using platform::instrument::Call;
using runtest::Names;
using runtest::PackSilentLauncher;
using runtest::RunLauncher;
using runtest::RunResult;

TEST(Run, NeverDeletesUnderARunningProgramAndNamesWhatStays) {
    test_util::ScratchDir dir;
    dir.Write("app\\data.txt", "data\n");
    const std::string launcher = PackSilentLauncher(dir, 7);
    ASSERT_FALSE(launcher.empty());

    struct Case {
        const char* what;
        Call call;
        const char* suffix;
        std::uint32_t error;
        int exitCode;
        bool leftBehind;
    } cases[] = {
        {"a clean run", Call::kCount, "", 0, 7, false},
        {"the wait fails: the program may still run", Call::kWaitProcess, "", platform::kErrorInvalidHandle,
         static_cast<int>(platform::kStillActive), true},
        {"the exit code cannot be read", Call::kGetExitCode, "", platform::kErrorAccessDenied,
         static_cast<int>(platform::kErrorAccessDenied), false},
        {"a file will not go", Call::kDeleteFile, "data.txt", platform::kErrorInvalidName, 7, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string base = dir.Path(std::string("base ") + std::to_string(&c - cases));
        ASSERT_TRUE(platform::CreateDirectory(base));
        if (c.call != Call::kCount) platform::instrument::InjectFailure(c.call, c.suffix, c.error, 1);
        const RunResult result = RunLauncher(launcher, base);
        platform::instrument::ClearFailures();

        EXPECT_EQ(result.exitCode, c.exitCode);
        const std::string folder = base + "\\qx_ext_temp_0";
        EXPECT_EQ(result.leftBehind, c.leftBehind ? folder : std::string());
        // A folder that stays keeps its lock file, for a later run's sweep.
        const std::vector<std::string> kept = {"qx_ext_temp_0", "qx_ext_temp_0.lock"};
        EXPECT_EQ(Names(platform::ToNativePath(base)), c.leftBehind ? kept : std::vector<std::string>{});
        if (c.call == Call::kWaitProcess) {
            // Nothing of a program that may still be running was touched.
            EXPECT_EQ(Names(platform::ToNativePath(folder)), (std::vector<std::string>{"app", "data.txt"}));
        }
    }
}

// A cancelled run started nothing: it must not end as a success would.
TEST(Run, ACancelledRunEndsWithErrorCancelled) {
    test_util::ScratchDir dir;
    dir.Write("app\\data.txt", "data\n");
    const std::string launcher = PackSilentLauncher(dir, 0);
    ASSERT_FALSE(launcher.empty());
    ASSERT_TRUE(platform::CreateDirectory(dir.Path("base")));
    bool cancel = true;
    RunWindows windows;
    windows.cancel = &cancel;
    EXPECT_EQ(RunLauncher(launcher, dir.Path("base"), windows).exitCode, 1223);
    EXPECT_EQ(Names(dir.Native("base")), std::vector<std::string>{});
}

// Every file the run extracts and deletes costs it at most three calls that
// open something (on Windows each passes the file-system filters): creating
// it, and deleting it, plus a share of its folder's.
TEST(Run, AtMostThreeOpensPerFileOverExtractAndDelete) {
    test_util::ScratchDir dir;
    const int folders = 6, perFolder = 10;
    for (int f = 0; f < folders; ++f)
        for (int i = 0; i < perFolder; ++i)
            dir.Write("app\\part " + std::to_string(f) + "\\" + std::to_string(i) + ".txt",
                      std::string(20000, static_cast<char>('a' + i)));  // over a megabyte: on workers
    const std::string launcher = PackSilentLauncher(dir, 0);
    ASSERT_FALSE(launcher.empty());

    ASSERT_TRUE(platform::CreateDirectory(dir.Path("base")));
    platform::instrument::ResetCounts();
    EXPECT_EQ(RunLauncher(launcher, dir.Path("base")).exitCode, 0);
    EXPECT_EQ(Names(dir.Native("base")), std::vector<std::string>{});

    std::uint64_t opens = 0;
    for (Call call : {Call::kOpenFile, Call::kGetAttributes, Call::kSetAttributes, Call::kSetTimes,
                      Call::kCreateDirectory, Call::kRemoveDirectory, Call::kDeleteFile, Call::kFindFirst})
        opens += platform::instrument::CallCount(call);
    const int files = folders * perFolder + 1;
    EXPECT_LE(opens, static_cast<std::uint64_t>(3 * files)) << opens << " for " << files << " files";
}

}  // namespace
