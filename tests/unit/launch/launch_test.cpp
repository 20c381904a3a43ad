// LaunchProgram against a real program of ours: exit codes, arguments,
// working folder, not waiting, start failures and command-line lengths.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "launcher/launch.h"
#include "platform/posix/instrument.h"
#include "platform/process.h"
#include "platform/system.h"
#include "test_util/scratch.h"

namespace {

const std::string kLaunchee = platform::FromNativePath(LAUNCHEE_PATH);

struct Report {
    bool exists = false;
    std::vector<std::string> argv;
    std::string cwd;
};

Report ReadReport(const test_util::ScratchDir& dir, const std::string& name = "report.txt") {
    Report report;
    if (!std::filesystem::exists(dir.Native(name))) return report;
    report.exists = true;
    std::istringstream in(dir.Read(name));
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, 5, "argv=") == 0) report.argv.push_back(line.substr(5));
        if (line.compare(0, 4, "cwd=") == 0) report.cwd = line.substr(4);
    }
    return report;
}

// The argument text the run builds: every argument quoted, then a space.
std::string Quoted(const std::vector<std::string>& args) {
    std::string text;
    for (const std::string& arg : args) text += "\"" + arg + "\" ";
    return text;
}

TEST(LaunchProgram, ReturnsTheProgramsExitCode) {
    for (int code : {0, 1, 7, 255}) {
        test_util::ScratchDir dir;
        const std::string args = Quoted({dir.Path("report.txt"), std::to_string(code)});
        EXPECT_EQ(LaunchProgram(kLaunchee, args, dir.path(), true, 0), static_cast<std::uint32_t>(code));
        EXPECT_TRUE(ReadReport(dir).exists) << code;
    }
}

TEST(LaunchProgram, ArgumentsWithSpacesArriveWholeAndTheFolderIsTheWorkingFolder) {
    test_util::ScratchDir dir;
    dir.Write("work folder\\keep.txt", "x");
    const std::string work = dir.Path("work folder");
    const std::string args = Quoted({dir.Path("report.txt"), "0", "/S", "a b", "", "SFXSOURCE:Z:\\x y\\l.exe"});
    ASSERT_EQ(LaunchProgram(kLaunchee, args, work, true, 0), 0u);
    Report report = ReadReport(dir);
    ASSERT_TRUE(report.exists);
    EXPECT_EQ(report.argv, (std::vector<std::string>{kLaunchee, dir.Path("report.txt"), "0", "/S", "a b", "",
                                                     "SFXSOURCE:Z:\\x y\\l.exe"}));
    EXPECT_EQ(report.cwd, work);
}

TEST(LaunchProgram, AProgramPathWithSpacesIsQuoted) {
    test_util::ScratchDir dir;
    std::filesystem::create_directories(dir.Native("a folder"));
    std::filesystem::copy_file(LAUNCHEE_PATH, dir.Native("a folder\\the program"));
    const std::string program = dir.Path("a folder\\the program");
    ASSERT_EQ(LaunchProgram(program, Quoted({dir.Path("report.txt"), "3"}), "", true, 0), 3u);
    EXPECT_EQ(ReadReport(dir).argv.at(0), program);
}

TEST(LaunchProgram, WithoutArgumentsTheCommandLineIsTheProgramAlone) {
    EXPECT_EQ(LaunchCommandLine("C:\\t\\run.exe", ""), "C:\\t\\run.exe");
    EXPECT_EQ(LaunchCommandLine("C:\\t\\run.exe", "\"a\""), "\"C:\\t\\run.exe\" \"a\"");
    // Started that way, the program is still found (and here says it lacks its arguments).
    EXPECT_EQ(LaunchProgram(kLaunchee, "", "", true, 0), 250u);
}

TEST(LaunchProgram, AnEmptyFolderKeepsTheLaunchersCurrentFolder) {
    test_util::ScratchDir dir;
    const std::string before = platform::GetCurrentDirectory();
    ASSERT_TRUE(platform::SetCurrentDirectory(dir.path()));
    const std::uint32_t result = LaunchProgram(kLaunchee, Quoted({dir.Path("report.txt"), "0"}), "", true, 0);
    platform::SetCurrentDirectory(before);
    ASSERT_EQ(result, 0u);
    EXPECT_EQ(ReadReport(dir).cwd, dir.path());
}

TEST(LaunchProgram, WithoutWaitReturnsStillActiveWhileTheProgramRuns) {
    test_util::ScratchDir dir;
    const std::string gate = dir.Path("gate");
    const std::string args = Quoted({"--wait-for", gate, dir.Path("report.txt"), "7"});
    // The program cannot end before the gate opens, which happens only after the call.
    EXPECT_EQ(LaunchProgram(kLaunchee, args, dir.path(), false, 0), platform::kStillActive);
    dir.Write("gate", "");
    // Let it see the gate and end before the folder goes (bounded; no time is measured).
    for (int i = 0; i < 1000 && !ReadReport(dir).exists; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(ReadReport(dir).exists);
}

TEST(LaunchProgram, ShowValuesMapToWindowStates) {
    const std::map<int, int> expected = {{0, platform::kShowNormal}, {1, platform::kShowMinimized},
                                         {2, platform::kShowMaximized}, {3, platform::kShowHide},
                                         {-1, platform::kShowHide}};
    for (const auto& [show, command] : expected) EXPECT_EQ(LaunchShowCommand(show), command) << show;
    EXPECT_EQ(platform::kShowNormal, 5);
    EXPECT_EQ(platform::kShowMinimized, 6);
    EXPECT_EQ(platform::kShowMaximized, 3);
}

TEST(LaunchProgram, AProgramKilledByASignalEndsWith128PlusTheSignal) {
    test_util::ScratchDir dir;
    EXPECT_EQ(LaunchProgram(kLaunchee, Quoted({dir.Path("report.txt"), "signal:15"}), "", true, 0), 128u + 15u);
    EXPECT_EQ(LaunchProgram(kLaunchee, Quoted({dir.Path("report.txt"), "signal:9"}), "", true, 0), 128u + 9u);
}

TEST(LaunchProgram, StartFailuresReturnTheSystemsErrorCode) {
    test_util::ScratchDir dir;
    const std::string notProgram = dir.Write("data.exe", "this is not a program\n");
    ASSERT_TRUE(platform::SetUnixMode(notProgram, 0755));
    const std::string args = Quoted({dir.Path("report.txt"), "0"});
    struct Case {
        std::string program, folder;
        std::uint32_t error;
    } cases[] = {
        {notProgram, "", platform::kErrorBadExeFormat},
        {dir.Path("missing.exe"), "", platform::kErrorFileNotFound},
        {dir.Path("no folder\\missing.exe"), "", platform::kErrorPathNotFound},
        {kLaunchee, dir.Path("no folder"), platform::kErrorDirectoryInvalid},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LaunchProgram(c.program, args, c.folder, true, 0), c.error) << c.program << " in " << c.folder;
    }
    EXPECT_FALSE(ReadReport(dir).exists);
}

// A wait that fails leaves the program possibly running, and a result that
// cannot be read is not a success: neither may come back as 0.
TEST(LaunchProgram, AFailedWaitOrAnUnreadableExitCodeIsNeverSuccess) {
    using platform::instrument::Call;
    const struct {
        Call call;
        bool ended;
        std::uint32_t code;
    } cases[] = {
        {Call::kWaitProcess, false, platform::kStillActive},
        {Call::kGetExitCode, true, platform::kErrorAccessDenied},
    };
    for (const auto& c : cases) {
        test_util::ScratchDir dir;
        platform::instrument::InjectFailure(c.call, "", platform::kErrorAccessDenied, 1);
        LaunchOutcome outcome;
        const std::uint32_t code = LaunchProgram(kLaunchee, Quoted({dir.Path("report.txt"), "0"}), "", true, 0, &outcome);
        platform::instrument::ClearFailures();
        EXPECT_EQ(code, c.code) << static_cast<int>(c.call);
        EXPECT_TRUE(outcome.started);
        EXPECT_EQ(outcome.ended, c.ended) << static_cast<int>(c.call);
    }
    LaunchOutcome outcome;
    test_util::ScratchDir dir;
    EXPECT_EQ(LaunchProgram(kLaunchee, Quoted({dir.Path("report.txt"), "0"}), "", true, 0, &outcome), 0u);
    EXPECT_TRUE(outcome.started && outcome.ended);
    EXPECT_EQ(LaunchProgram(dir.Path("missing"), "", "", true, 0, &outcome), platform::kErrorFileNotFound);
    EXPECT_FALSE(outcome.started);
}

// The end of the session: a tree that ends by itself within the grace keeps
// its own code; one that does not is ended.
TEST(ProcessTree, EndTreeGivesTheGraceThenEndsWhatIsLeft) {
    const struct {
        bool gateOpen;
        std::uint32_t code;
    } cases[] = {
        {true, 7},
        {false, 128u + 9u},  // SIGKILL to the program's group
    };
    for (const auto& c : cases) {
        test_util::ScratchDir dir;
        if (c.gateOpen) dir.Write("gate", "");
        platform::Process process;
        const std::string line = LaunchCommandLine(kLaunchee, Quoted({"--wait-for", dir.Path("gate"), dir.Path("report.txt"), "7"}));
        ASSERT_TRUE(process.Create(line, "", platform::kShowNormal, platform::kProcessOwnTree));
        EXPECT_TRUE(process.EndTree(c.gateOpen ? 10000 : 100));
        std::uint32_t code = 0;
        ASSERT_TRUE(process.GetExitCode(code));
        EXPECT_EQ(code, c.code) << c.gateOpen;
        EXPECT_TRUE(process.WaitDispatchingMessages()) << "nothing left to wait for";
    }
}

// Pads the arguments so that the whole command line has exactly `length` characters.
std::string ArgumentsForLength(const std::string& report, std::size_t length) {
    std::string args = Quoted({report, "0"}) + "\"\"";
    const std::size_t base = LaunchCommandLine(kLaunchee, args).size();
    EXPECT_LE(base, length);
    args.insert(args.size() - 1, std::string(length - base, 'x'));
    return args;
}

TEST(LaunchProgram, CommandLinesUpToTheSystemLimitArriveWhole) {
    for (std::size_t length : {499u, 500u, 4096u, 32766u}) {
        test_util::ScratchDir dir;
        const std::string args = ArgumentsForLength(dir.Path("report.txt"), length);
        ASSERT_EQ(LaunchCommandLine(kLaunchee, args).size(), length);
        ASSERT_EQ(LaunchProgram(kLaunchee, args, "", true, 0), 0u) << length;
        Report report = ReadReport(dir);
        ASSERT_EQ(report.argv.size(), 4u) << length;
        EXPECT_EQ(report.argv[3].size(), length - (LaunchCommandLine(kLaunchee, Quoted({dir.Path("report.txt"), "0"})).size() + 2))
            << length;
    }
}

TEST(LaunchProgram, LongerCommandLinesAreRefusedWithoutStartingAnything) {
    for (std::size_t length : {32767u, 40000u}) {
        test_util::ScratchDir dir;
        const std::string args = ArgumentsForLength(dir.Path("report.txt"), length);
        EXPECT_EQ(LaunchProgram(kLaunchee, args, "", true, 0), platform::kErrorFilenameExcedRange) << length;
        EXPECT_FALSE(ReadReport(dir).exists) << length;
    }
}

}  // namespace
