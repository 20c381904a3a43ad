// Starting programs on Win32 and waiting for them with the queue alive.
#include "platform/win32/windows_api.h"

#include "platform/process.h"
#include "platform/widepath.h"
#include "platform/win32/job.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

// How often the wait looks at the job's port once the program itself has
// ended and what it started is still running (a port cannot be waited on
// together with the queue).
constexpr DWORD kTreePollMs = 50;

detail::JobObject* JobOf(void* tree) { return static_cast<detail::JobObject*>(tree); }

// Dispatches every waiting message but mouse moves and left-button presses
// and releases; a quit message is kept for the loop that waits for it.
void DispatchWaitingMessages(bool& quit, WPARAM& quitCode) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_MOUSEMOVE || msg.message == WM_LBUTTONDOWN || msg.message == WM_LBUTTONUP) continue;
        if (msg.message == WM_QUIT) {
            quit = true;
            quitCode = msg.wParam;
            continue;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

// The program a command line names: up to the closing quote when it starts
// with one, else up to the first space or tab, as the system reads it.
std::string ProgramOf(const std::string& commandLine) {
    if (!commandLine.empty() && commandLine[0] == '"') return commandLine.substr(1, commandLine.find('"', 1) - 1);
    return commandLine.substr(0, commandLine.find_first_of(" \t"));
}

// The extended-length form of `path`; empty when it has none.
std::u16string ExtendedPath(const std::string& path) {
    const detail::WidePath wide(path);
    return wide.ok() ? std::u16string(reinterpret_cast<const char16_t*>(wide.get())) : std::u16string();
}

// Many programs cannot handle the extended-length form of their own path or
// working folder: it is used only where the ordinary one does not fit `limit`.
std::u16string PathForProgram(const std::string& path, std::size_t limit) {
    return FitsPathLimit(path, limit) ? detail::WideText(path) : ExtendedPath(path);
}

}  // namespace

Process::~Process() {
    delete JobOf(m_pTree);  // ends what is left of the tree
    if (m_handle != 0) ::CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

bool Process::Create(const std::string& commandLine, const std::string& folder, int showCommand, unsigned options) {
    if (!FitsPathLimit(commandLine, kMaxCommandLineBuffer)) {
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showCommand);

    // The tree's job exists before the program does, so that the program
    // can start nothing outside it: it starts suspended and joins first.
    detail::JobObject* job = nullptr;
    if (options & kProcessOwnTree) {
        job = new detail::JobObject;
        if (!job->Create()) {
            delete job;
            job = nullptr;
        }
    }
    DWORD flags = NORMAL_PRIORITY_CLASS;
    if (job != nullptr) flags |= CREATE_SUSPENDED;
    if (options & kProcessLeaveTree) flags |= CREATE_BREAKAWAY_FROM_JOB;

    // CreateProcess may write into the command line: hand it a copy of its own.
    std::u16string line = detail::WideText(commandLine);
    // The program is named apart from the line only when its path is too
    // long for the system to find it there.
    const std::string named = ProgramOf(commandLine);
    const std::u16string program = FitsPathLimit(named, kMaxPlainPath) ? std::u16string() : ExtendedPath(named);
    // The working folder, with the '\' the system adds to it.
    const std::u16string directory = folder.empty() ? std::u16string() : PathForProgram(folder, kMaxPlainPath - 1);
    PROCESS_INFORMATION info;
    ZeroMemory(&info, sizeof info);
    if (!::CreateProcessW(program.empty() ? nullptr : detail::Wide(program), reinterpret_cast<wchar_t*>(&line[0]),
                          nullptr, nullptr, FALSE, flags, nullptr,
                          directory.empty() ? nullptr : detail::Wide(directory), &startup, &info)) {
        const DWORD error = ::GetLastError();
        delete job;
        ::SetLastError(error);
        return false;
    }
    if (job != nullptr) {
        // An outer job that forbids it: the program runs alone, as it always did.
        if (!job->Assign(info.hProcess)) {
            delete job;
            job = nullptr;
        }
        if (::ResumeThread(info.hThread) == static_cast<DWORD>(-1)) {
            const DWORD error = ::GetLastError();
            ::TerminateProcess(info.hProcess, error);
            ::CloseHandle(info.hThread);
            ::CloseHandle(info.hProcess);
            delete job;
            ::SetLastError(error);
            return false;
        }
    }
    ::CloseHandle(info.hThread);
    delete JobOf(m_pTree);
    if (m_handle != 0) ::CloseHandle(reinterpret_cast<HANDLE>(m_handle));
    m_handle = reinterpret_cast<std::intptr_t>(info.hProcess);
    m_pTree = job;
    return true;
}

bool Process::WaitDispatchingMessages() {
    if (m_handle == 0) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    HANDLE process = reinterpret_cast<HANDLE>(m_handle);
    detail::JobObject* job = JobOf(m_pTree);
    bool quit = false;
    WPARAM quitCode = 0;
    bool programEnded = false;
    bool failed = false;
    // First the program itself; then, while what it started still runs, the
    // job's port, looked at between short waits for messages.
    while (!(programEnded && (job == nullptr || job->WaitEmpty(0)))) {
        const DWORD count = programEnded ? 0 : 1;
        const DWORD result =
            ::MsgWaitForMultipleObjects(count, &process, FALSE, programEnded ? kTreePollMs : INFINITE, QS_ALLINPUT);
        if (result == WAIT_OBJECT_0 && !programEnded) {
            programEnded = true;
        } else if (result == WAIT_OBJECT_0 + count) {
            DispatchWaitingMessages(quit, quitCode);
        } else if (result != WAIT_TIMEOUT) {
            failed = true;  // the wait itself failed
            break;
        }
    }
    // Without messages the windows stall, but the program must not be left
    // running under a cleanup that deletes its files.
    bool ended = !failed;
    if (failed) {
        ended = programEnded || ::WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0;
        if (ended && job != nullptr) ended = job->WaitEmpty(INFINITE);
    }
    const DWORD error = ::GetLastError();
    if (quit) ::PostQuitMessage(static_cast<int>(quitCode));
    ::SetLastError(error);
    return ended;
}

bool Process::EndTree(unsigned graceMs) {
    if (m_handle == 0) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    HANDLE process = reinterpret_cast<HANDLE>(m_handle);
    // What is ended still takes a moment to go; this long at most.
    const DWORD kEndingMs = 1000;
    if (detail::JobObject* job = JobOf(m_pTree)) {
        if (job->WaitEmpty(graceMs)) return true;
        job->Terminate(kEndedTreeExitCode);
        return job->WaitEmpty(kEndingMs);
    }
    if (::WaitForSingleObject(process, graceMs) == WAIT_OBJECT_0) return true;
    ::TerminateProcess(process, kEndedTreeExitCode);
    return ::WaitForSingleObject(process, kEndingMs) == WAIT_OBJECT_0;
}

bool Process::GetExitCode(std::uint32_t& code) {
    if (m_handle == 0) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    DWORD exitCode = 0;
    if (!::GetExitCodeProcess(reinterpret_cast<HANDLE>(m_handle), &exitCode)) return false;
    code = exitCode;
    return true;
}

}  // namespace platform
