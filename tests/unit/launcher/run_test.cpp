// The whole run against a real payload, with failures injected into the
// posix backend where a real machine would misbehave: a wait for the
// program that fails, an exit code that cannot be read, a file that will
// not go. The program is a shell script that ends with 7.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "launcher/run.h"
#include "payload/cachefolder.h"
#include "platform/posix/instrument.h"
#include "platform/process.h"
#include "platform/system.h"
#include "run_support.h"
#include "test_util/scratch.h"
#include "zip/archive.h"

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

// Flips a byte in the middle of the stored data of entry `name` of the archive in `file` (native).
void DamageEntry(const std::string& file, const std::string& name) {
    CZipArchive archive;
    archive.Open(platform::FromNativePath(file));
    CZipFileHeader header;
    for (int i = 0; i < archive.GetEntryCount(); ++i)
        if (archive.GetEntryInfo(header, static_cast<std::uint32_t>(i)) && header.GetName() == name) break;
    ASSERT_EQ(header.GetName(), name);
    archive.Close();
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    unsigned char lengths[4];
    f.seekg(static_cast<std::streamoff>(header.m_uOffset) + 26);
    f.read(reinterpret_cast<char*>(lengths), 4);
    const std::streamoff data = static_cast<std::streamoff>(header.m_uOffset) + 30 + (lengths[0] | lengths[1] << 8) +
                                (lengths[2] | lengths[3] << 8);
    const std::streamoff middle = data + static_cast<std::streamoff>(header.m_uComprSize / 2);
    f.seekg(middle);
    const char byte = static_cast<char>(f.get() ^ 0x55);
    f.seekp(middle);
    f.put(byte);
}

// When the workers must start over one entry after another but the folder
// will not empty, the run launches nothing, says why, ends with
// ERROR_DIR_NOT_EMPTY and names what stayed; a cold start of the cache
// the same, and it caches nothing.
TEST(Run, LaunchesNothingWhenASecondAttemptFindsTheFolderNotEmpty) {
    for (const bool cache : {false, true}) {
        SCOPED_TRACE(cache ? "cold start of the cache" : "run once");
        test_util::ScratchDir dir;
        std::string data(2 << 20, '\0');
        for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 2654435761u) >> 13);
        dir.Write("app\\data.bin", data);
        const std::string launcher = PackSilentLauncher(dir, 7, cache);
        ASSERT_FALSE(launcher.empty());
        DamageEntry(launcher, "data.bin");  // a worker's CRC check fails: only the order can decide

        const std::string base = dir.Path("base");
        ASSERT_TRUE(platform::CreateDirectory(base));
        setenv("SFX_LAUNCHER_THREADS", "2", 1);
        // Neither the emptying nor the cleanup after it can delete the damaged file.
        platform::instrument::InjectFailure(Call::kDeleteFile, "data.bin", platform::kErrorInvalidName, 2);
        const RunResult result = RunLauncher(launcher, base);
        platform::instrument::ClearFailures();
        unsetenv("SFX_LAUNCHER_THREADS");

        EXPECT_EQ(result.exitCode, 145);  // the program, had it run, ends with 7
        const std::string folder = base + (cache ? "\\launcher\\qx_ext_temp_0" : "\\qx_ext_temp_0");
        EXPECT_EQ(result.leftBehind, folder);
        EXPECT_EQ(Names(platform::ToNativePath(cache ? folder + "\\files" : folder)),
                  std::vector<std::string>{"data.bin"});
        if (cache) {
            for (const std::string& name : Names(dir.Native("base\\launcher"))) EXPECT_FALSE(IsCopyFolderName(name));
        }
    }
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
