// Starting programs on posix: fork and exec, no shell in between. A pipe
// that closes on exec carries a failure of chdir or exec back to the parent,
// so that a program that cannot start is reported as not started.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <vector>

#include "platform/posix/cmdline.h"
#include "platform/posix/instrument.h"
#include "platform/posix/posix_internal.h"
#include "platform/posix/processtree.h"
#include "platform/process.h"
#include "platform/strings.h"
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

detail::ProcessTree* TreeOf(void* tree) { return static_cast<detail::ProcessTree*>(tree); }

void Nap(long milliseconds) {
    timespec pause{0, milliseconds * 1000000L};
    ::nanosleep(&pause, nullptr);
}

}  // namespace

Process::~Process() {
    // A wait that failed left the terminal and the signals with the program's group.
    if (detail::ProcessTree* tree = TreeOf(m_pTree)) {
        detail::EndTree(*tree);
        delete tree;
    }
}

bool Process::Create(const std::string& commandLine, const std::string& folder, int, unsigned options) {
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
    // kProcessLeaveTree has nothing to leave here: nothing leaves a subreaper's tree.
    const bool ownTree = (options & kProcessOwnTree) != 0;
    const bool terminal = ownTree && detail::PrepareTree();
    const pid_t parent = ::getpid();
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
        if (ownTree && !detail::EnterTreeInChild(parent, terminal)) ::_exit(127);
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
    detail::ProcessTree* tree = nullptr;
    if (ownTree) {
        tree = new detail::ProcessTree{pid, terminal};
        detail::StartTree(*tree);
    }
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
        if (tree != nullptr) {
            detail::EndTree(*tree);
            delete tree;
        }
        if (failure.step == 1) {
            SetLastError(kErrorDirectoryInvalid);  // what Windows says for a bad working folder
        } else {
            errno = failure.err;
            detail::SetLastErrorForPath(program);  // tells a missing folder from a missing file
        }
        return false;
    }
    if (detail::ProcessTree* previous = TreeOf(m_pTree)) {
        detail::EndTree(*previous);
        delete previous;
    }
    m_pTree = tree;
    m_handle = pid;
    m_bEnded = false;
    m_bCodeLost = false;
    return true;
}

bool Process::WaitDispatchingMessages() {
    // The posix message queue holds nothing to dispatch: just wait.
    if (m_handle == 0) {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    detail::ProcessTree* tree = TreeOf(m_pTree);
    if (m_bEnded && tree == nullptr) return true;
    if (detail::InstrumentedCallFails(instrument::Call::kWaitProcess, std::string())) return false;
    // Stops are seen only while the program has the terminal, to stop along with it.
    const int options = tree != nullptr && tree->terminal ? WUNTRACED : 0;
    while (!m_bEnded) {
        int status;
        const pid_t got = ::waitpid(static_cast<pid_t>(m_handle), &status, options);
        if (got < 0 && errno == EINTR) continue;
        if (got == static_cast<pid_t>(m_handle)) {
            if (WIFSTOPPED(status)) {
                detail::StopWithTree(*tree);
                continue;
            }
            m_dwExitCode = DecodeStatus(status);
            m_bEnded = true;
            break;
        }
        const int err = errno;
        detail::SetLastErrorFromErrno();
        if (got < 0 && err == ECHILD) {
            // With SIGCHLD ignored the system reaps the program itself: waitpid
            // returns only once it has ended, but its exit code is gone.
            m_bEnded = true;
            m_bCodeLost = true;
            break;
        }
        return false;
    }
    if (tree == nullptr) return true;
    // Then every descendant: orphans become this process's children, down to the last.
    for (;;) {
        const pid_t got = ::waitpid(-1, nullptr, 0);
        if (got >= 0 || errno == EINTR) continue;
        if (errno == ECHILD) break;
        detail::SetLastErrorFromErrno();
        return false;
    }
    detail::EndTree(*tree);
    delete tree;
    m_pTree = nullptr;
    return true;
}

bool Process::EndTree(unsigned graceMs) {
    if (m_handle == 0) {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    const pid_t pid = static_cast<pid_t>(m_handle);
    detail::ProcessTree* tree = TreeOf(m_pTree);
    // Ended once the program is reaped and, for a tree, no child is left.
    auto ended = [&] {
        int status;
        if (!m_bEnded) {
            const pid_t got = ::waitpid(pid, &status, WNOHANG);
            if (got == pid && !WIFSTOPPED(status)) {
                m_dwExitCode = DecodeStatus(status);
                m_bEnded = true;
            } else if (got < 0 && errno == ECHILD) {
                m_bEnded = m_bCodeLost = true;
            }
        }
        if (!m_bEnded) return false;
        if (tree == nullptr) return true;
        pid_t got;
        while ((got = ::waitpid(-1, nullptr, WNOHANG)) > 0) {
        }
        return got < 0 && errno == ECHILD;
    };
    const long kNapMs = 10, kEndingMs = 1000;
    for (long waited = 0; !ended(); waited += kNapMs) {
        if (waited >= static_cast<long>(graceMs)) {
            ::kill(tree != nullptr ? -tree->group : pid, SIGKILL);
            for (long ending = 0; !ended(); ending += kNapMs) {
                if (ending >= kEndingMs) return false;
                Nap(kNapMs);
            }
            break;
        }
        Nap(kNapMs);
    }
    if (tree != nullptr) {
        detail::EndTree(*tree);
        delete tree;
        m_pTree = nullptr;
    }
    return true;
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

std::vector<std::string> OpenFileNames() {
    std::vector<std::string> names;
    DIR* folder = ::opendir("/proc/self/fd");
    if (folder == nullptr) return names;
    const int own = ::dirfd(folder);  // the listing's own descriptor is not one the process holds
    while (const dirent* entry = ::readdir(folder)) {
        if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == own) continue;
        char target[4096];
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
        names.push_back(length > 0 ? std::string(target, static_cast<std::size_t>(length)) : "?");
    }
    ::closedir(folder);
    return names;
}

bool Process::Open(const std::string&, const std::string&, const std::string&, int, unsigned) {
    SetLastError(kErrorBadExeFormat);
    return false;
}

std::string StartFailureText(const std::string& program, std::uint32_t code) {
    struct stat info;
    const bool file = ::stat(ToNativePath(program).c_str(), &info) == 0 && S_ISREG(info.st_mode);
    if (file && code == kErrorAccessDenied && (info.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) == 0)
        return "The file is not marked executable (its execute permission is not set).";
    if (file && code == kErrorBadExeFormat)
        return "The file is neither a program of this system nor a script with a \"#!\" line.";
    std::string text = SystemErrorText(code);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text.empty() ? Format("Error %u.", code) : text;
}

}  // namespace platform
