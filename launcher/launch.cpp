#include "launcher/launch.h"

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

namespace {

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
    const std::string commandLine = LaunchCommandLine(program, arguments);
    if (platform::Utf16Length(commandLine) >= platform::kMaxCommandLineBuffer)
        return platform::kErrorFilenameExcedRange;

    // A program not waited for must outlive the launcher: it gets no tree.
    platform::Process process;
    if (!process.Create(commandLine, folder, LaunchShowCommand(show),
                        wait ? platform::kProcessOwnTree : platform::kProcessAlone))
        return FailureCode();
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
