// Starting programs on posix: fork and exec, no shell in between. A pipe
// that closes on exec carries a failure of chdir or exec back to the parent,
// so that a program that cannot start is reported as not started.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/posix/cmdline.h"
#include "platform/posix/instrument.h"
#include "platform/posix/posix_internal.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/unicode.h"

namespace platform {

namespace {

struct StartFailure {
    int step;  // 1: chdir, 2: exec
    int err;
};

std::uint32_t DecodeStatus(int status) {
    if (WIFEXITED(status)) return static_cast<std::uint32_t>(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return 128u + static_cast<std::uint32_t>(WTERMSIG(status));
    return 0;
}

}  // namespace

Process::~Process() = default;

bool Process::Create(const std::string& commandLine, const std::string& folder, int) {
    if (Utf16Length(commandLine) >= kMaxCommandLineBuffer) {
        SetLastError(kErrorFilenameExcedRange);
        return false;
    }
    std::vector<std::string> args = detail::SplitCommandLine(commandLine);
    if (args.empty() || args[0].empty()) {
        SetLastError(kErrorFileNotFound);
        return false;
    }
    const std::string program = ToNativePath(args[0]);
    const std::string directory = folder.empty() ? std::string() : ToNativePath(folder);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(&arg[0]);
    argv.push_back(nullptr);

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        detail::SetLastErrorFromErrno();
        return false;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        detail::SetLastErrorFromErrno();
        ::close(report[0]);
        ::close(report[1]);
        return false;
    }
    if (pid == 0) {
        // The child: only calls that are safe after fork.
        ::close(report[0]);
        StartFailure failure{1, 0};
        if (directory.empty() || ::chdir(directory.c_str()) == 0) {
            ::execv(program.c_str(), argv.data());
            failure.step = 2;
        }
        failure.err = errno;
        ssize_t written = ::write(report[1], &failure, sizeof failure);
        (void)written;
        ::_exit(127);
    }
    ::close(report[1]);
    StartFailure failure{0, 0};
    ssize_t got;
    do {
        got = ::read(report[0], &failure, sizeof failure);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    if (got == static_cast<ssize_t>(sizeof failure)) {
        int status;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (failure.step == 1) {
            SetLastError(kErrorDirectoryInvalid);  // what Windows says for a bad working folder
        } else {
            errno = failure.err;
            detail::SetLastErrorForPath(program);  // tells a missing folder from a missing file
        }
        return false;
    }
    m_handle = pid;
    m_bEnded = false;
    return true;
}

bool Process::WaitDispatchingMessages() {
    // The posix message queue holds nothing to dispatch: just wait.
    if (m_handle == 0) {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    if (m_bEnded) return true;
    if (detail::InstrumentedCallFails(instrument::Call::kWaitProcess, std::string())) return false;
    int status;
    pid_t got;
    do {
        got = ::waitpid(static_cast<pid_t>(m_handle), &status, 0);
    } while (got < 0 && errno == EINTR);
    if (got == static_cast<pid_t>(m_handle)) {
        m_dwExitCode = DecodeStatus(status);
        m_bEnded = true;
        return true;
    }
    const int err = errno;
    detail::SetLastErrorFromErrno();
    if (got < 0 && err == ECHILD) {
        // With SIGCHLD ignored the system reaps the program itself: waitpid
        // returns only once it has ended, but its exit code is gone.
        m_bEnded = true;
        m_bCodeLost = true;
        return true;
    }
    return false;
}

bool Process::GetExitCode(std::uint32_t& code) {
    if (m_handle == 0) {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    if (detail::InstrumentedCallFails(instrument::Call::kGetExitCode, std::string())) return false;
    if (m_bCodeLost) {
        errno = ECHILD;
        detail::SetLastErrorFromErrno();
        return false;
    }
    if (!m_bEnded) {
        int status;
        pid_t got = ::waitpid(static_cast<pid_t>(m_handle), &status, WNOHANG);
        if (got == 0) {
            code = kStillActive;
            return true;
        }
        if (got != static_cast<pid_t>(m_handle)) {
            detail::SetLastErrorFromErrno();
            return false;
        }
        m_dwExitCode = DecodeStatus(status);
        m_bEnded = true;
    }
    code = m_dwExitCode;
    return true;
}

}  // namespace platform
