#include "launcher/launch.h"

#include "payload/runkind.h"
#include "platform/app.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/unicode.h"

int LaunchShowCommand(int show) {
    switch (show) {
        case 0: return platform::kShowNormal;
        case 1: return platform::kShowMinimized;
        case 2: return platform::kShowMaximized;
        default: return platform::kShowHide;
    }
}

std::string LaunchCommandLine(const std::string& program, const std::string& arguments) {
    if (arguments.empty()) return program;
    return "\"" + program + "\" " + arguments;
}

bool StartsThroughInstaller(const std::string& program) {
    return RunKindOf(program) == RunKind::kPackage && !platform::SystemFolder().empty();
}

namespace {

// The command line that starts `program`: a package goes to the system's
// installer, from the system folder (a msiexec.exe beside the launcher is
// never taken); everything else starts itself.
std::string StartCommandLine(const std::string& program, const std::string& arguments) {
    if (!StartsThroughInstaller(program)) return LaunchCommandLine(program, arguments);
    return "\"" + platform::SystemFolder() + "\\msiexec.exe\" /i \"" + program + "\"" +
           (arguments.empty() ? "" : " " + arguments);
}

// The code a failed call leaves, never 0.
std::uint32_t FailureCode() {
    const std::uint32_t error = platform::GetLastError();
    return error != 0 ? error : platform::kErrorInvalidHandle;
}

}  // namespace

std::uint32_t LaunchProgram(const std::string& program, const std::string& arguments, const std::string& folder,
                            bool wait, int show, LaunchOutcome* outcome, CLaunchWatcher* watcher) {
    LaunchOutcome ignored;
    LaunchOutcome& result = outcome != nullptr ? *outcome : ignored;
    result = LaunchOutcome();
    // The line is built to its full length; only the system's own limit refuses it.
    const std::string commandLine = StartCommandLine(program, arguments);
    if (platform::Utf16Length(commandLine) >= platform::kMaxCommandLineBuffer)
        return platform::kErrorFilenameExcedRange;

    // A program not waited for must outlive the launcher: it gets no tree.
    const unsigned options = wait ? platform::kProcessOwnTree : platform::kProcessAlone;
    platform::Process process;
    if (!process.Create(commandLine, folder, LaunchShowCommand(show), options)) {
        // A file of another kind that is no program: what the system opens it with.
        if (platform::GetLastError() != platform::kErrorBadExeFormat || RunKindOf(program) == RunKind::kProgram ||
            !process.Open(program, arguments, folder, LaunchShowCommand(show), options))
            return FailureCode();
        if (!process.HasProcess()) {
            // Whatever opened it may be running still, with the folder's files open.
            result.started = true;
            platform::AppMessageBox("The system opened the program without naming a process to wait for:\n" +
                                    program + "\nThe temporary folder is kept.");
            return platform::kStillActive;
        }
    }
    result.started = true;
    if (wait) {
        if (watcher != nullptr) watcher->OnStarted(process);
        result.ended = process.WaitDispatchingMessages();
        const std::uint32_t error = platform::GetLastError();
        if (watcher != nullptr) watcher->OnWaitEnded();
        platform::SetLastError(error);
        if (!result.ended) return platform::kStillActive;
    }
    std::uint32_t code = 0;
    if (!process.GetExitCode(code)) return FailureCode();
    if (!wait) result.ended = code != platform::kStillActive;
    return code;
}
