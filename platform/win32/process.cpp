// Starting programs on Win32 and waiting for them with the queue alive.
#include "platform/win32/windows_api.h"

#include <shellapi.h>

#include <vector>

#include "platform/process.h"
#include "platform/strings.h"
#include "platform/system.h"
#include "platform/widepath.h"
#include "platform/win32/job.h"
#include "platform/win32/systemdll.h"
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

// This process's standard handles, as a started program inherits them: the
// valid ones (GetFileType knows them: a console, a pipe, a file), each
// duplicated once as inheritable for this one start, and the list of
// exactly those that the start lets the program inherit. Nothing when this
// process has none (a GUI program started without redirection).
class CStandardHandles {
public:
    CStandardHandles() {
        const DWORD which[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
        HANDLE original[3] = {};
        for (int i = 0; i < 3; ++i) {
            original[i] = ::GetStdHandle(which[i]);
            if (original[i] == INVALID_HANDLE_VALUE || original[i] == nullptr ||
                ::GetFileType(original[i]) == FILE_TYPE_UNKNOWN)
                continue;
            // Output and error are often one handle: it is passed on once.
            for (int j = 0; j < i && m_hStd[i] == nullptr; ++j)
                if (original[j] == original[i]) m_hStd[i] = m_hStd[j];
            if (m_hStd[i] == nullptr &&
                ::DuplicateHandle(::GetCurrentProcess(), original[i], ::GetCurrentProcess(), &m_hStd[i], 0, TRUE,
                                  DUPLICATE_SAME_ACCESS))
                m_hOwned[m_nOwned++] = m_hStd[i];
        }
        // Console handles of Windows 7 and older (the low two bits set) are
        // no kernel handles and have no place in the list: the console
        // hands them down itself.
        for (int i = 0; i < m_nOwned; ++i)
            if ((reinterpret_cast<ULONG_PTR>(m_hOwned[i]) & 3) != 3) m_hListed[m_nListed++] = m_hOwned[i];
    }
    ~CStandardHandles() {
        for (int i = 0; i < m_nOwned; ++i) ::CloseHandle(m_hOwned[i]);
    }
    CStandardHandles(const CStandardHandles&) = delete;
    CStandardHandles& operator=(const CStandardHandles&) = delete;

    bool Any() const { return m_nOwned != 0; }
    HANDLE Input() const { return m_hStd[0]; }
    HANDLE Output() const { return m_hStd[1]; }
    HANDLE Error() const { return m_hStd[2]; }
    HANDLE* Listed() { return m_hListed; }
    DWORD ListedCount() const { return static_cast<DWORD>(m_nListed); }

private:
    HANDLE m_hStd[3] = {};     // input, output, error: the duplicates, or null
    HANDLE m_hOwned[3] = {};   // each duplicate once
    int m_nOwned = 0;
    HANDLE m_hListed[3] = {};  // the duplicates that go in the handle list
    int m_nListed = 0;
};

// A process attribute list that lets a started program inherit the
// handles given and no other.
class CInheritOnly {
public:
    CInheritOnly(HANDLE* handles, DWORD count) {
        SIZE_T size = 0;
        ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        m_storage.resize(size);
        auto list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(m_storage.data());
        if (count == 0 || size == 0 || !::InitializeProcThreadAttributeList(list, 1, 0, &size)) return;
        if (::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles, count * sizeof(HANDLE),
                                        nullptr, nullptr))
            m_pList = list;
        else
            ::DeleteProcThreadAttributeList(list);
    }
    ~CInheritOnly() {
        if (m_pList != nullptr) ::DeleteProcThreadAttributeList(m_pList);
    }
    CInheritOnly(const CInheritOnly&) = delete;
    CInheritOnly& operator=(const CInheritOnly&) = delete;

    // Null when the system made no list.
    LPPROC_THREAD_ATTRIBUTE_LIST get() const { return m_pList; }

private:
    std::vector<unsigned char> m_storage;
    LPPROC_THREAD_ATTRIBUTE_LIST m_pList = nullptr;
};

// The system error that ShellExecute's result code `result` (32 or less)
// stands for; ERROR_SUCCESS for a code without one.
DWORD ErrorOfShellResult(HINSTANCE result) {
    switch (static_cast<int>(reinterpret_cast<INT_PTR>(result))) {
        case SE_ERR_FNF: return ERROR_FILE_NOT_FOUND;
        case SE_ERR_PNF: return ERROR_PATH_NOT_FOUND;
        case SE_ERR_ACCESSDENIED: return ERROR_ACCESS_DENIED;
        case SE_ERR_OOM: return ERROR_NOT_ENOUGH_MEMORY;
        case SE_ERR_SHARE: return ERROR_SHARING_VIOLATION;
        case SE_ERR_DLLNOTFOUND: return ERROR_DLL_NOT_FOUND;
        case SE_ERR_DDETIMEOUT:
        case SE_ERR_DDEFAIL:
        case SE_ERR_DDEBUSY: return ERROR_DDE_FAIL;
        case SE_ERR_NOASSOC:
        case SE_ERR_ASSOCINCOMPLETE: return ERROR_NO_ASSOCIATION;
        default: return ERROR_SUCCESS;  // no code of these: the last error tells
    }
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
    STARTUPINFOEXW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW;
    startup.StartupInfo.wShowWindow = static_cast<WORD>(showCommand);
    // The program gets this process's standard handles, redirected or not,
    // and nothing else: this process's own handles (the archive, the lock
    // file, the job) are never inheritable, and the list keeps out any
    // inheritable handle that this process was given itself.
    CStandardHandles standard;
    CInheritOnly inheritOnly(standard.Listed(), standard.ListedCount());
    if (standard.Any()) {
        startup.StartupInfo.dwFlags |= STARTF_USESTDHANDLES;
        startup.StartupInfo.hStdInput = standard.Input();
        startup.StartupInfo.hStdOutput = standard.Output();
        startup.StartupInfo.hStdError = standard.Error();
        startup.lpAttributeList = inheritOnly.get();
    }
    if (options & kProcessInheritAll) startup.lpAttributeList = nullptr;
    const BOOL inherit = standard.Any() || (options & kProcessInheritAll) ? TRUE : FALSE;

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
    auto create = [&] {
        const DWORD extended = startup.lpAttributeList != nullptr ? EXTENDED_STARTUPINFO_PRESENT : 0;
        return ::CreateProcessW(program.empty() ? nullptr : detail::Wide(program), reinterpret_cast<wchar_t*>(&line[0]),
                                nullptr, nullptr, inherit, flags | extended, nullptr,
                                directory.empty() ? nullptr : detail::Wide(directory), &startup.StartupInfo,
                                &info) != FALSE;
    };
    bool created = create();
    if (!created && startup.lpAttributeList != nullptr && ::GetLastError() == ERROR_INVALID_PARAMETER) {
        // A system that refuses the list (a handle it will not take in it):
        // the standard handles are still passed on, and only handles that
        // are inheritable already go along, which this process's own never
        // are. The line may have been written to: it is made again.
        startup.lpAttributeList = nullptr;
        line = detail::WideText(commandLine);
        created = create();
    }
    if (!created) {
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

bool Process::Open(const std::string& file, const std::string& parameters, const std::string& folder,
                   int showCommand, unsigned options) {
    // SHELL32 from the system folder, on first use only, as every DLL the
    // launcher does not need at start.
    using ShellExecuteFunction = BOOL(WINAPI*)(SHELLEXECUTEINFOW*);
    HMODULE shell = detail::LoadSystemDll("shell32.dll");
    auto shellExecute = shell == nullptr ? nullptr
                                         : reinterpret_cast<ShellExecuteFunction>(reinterpret_cast<void*>(
                                               ::GetProcAddress(shell, "ShellExecuteExW")));
    if (shellExecute == nullptr) return false;

    // Associated programs are ordinary programs: the plain path where it fits.
    const std::u16string path = PathForProgram(file, kMaxPlainPath - 1);
    const std::u16string arguments = detail::WideText(parameters);
    const std::u16string directory = folder.empty() ? std::u16string() : PathForProgram(folder, kMaxPlainPath - 1);
    SHELLEXECUTEINFOW info;
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    // A process handle to wait on, the start finished before the call
    // returns, and the failure as the last error instead of a message box.
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpFile = detail::Wide(path);
    info.lpParameters = arguments.empty() ? nullptr : detail::Wide(arguments);
    info.lpDirectory = directory.empty() ? nullptr : detail::Wide(directory);
    info.nShow = showCommand;
    if (!shellExecute(&info)) {
        // The result code says what failed; the last error may be left by
        // an attempt along the way (Wine leaves 193 from its own
        // CreateProcess when no program is associated).
        const DWORD error = ErrorOfShellResult(info.hInstApp);
        if (error != ERROR_SUCCESS || ::GetLastError() == ERROR_SUCCESS)
            ::SetLastError(error != ERROR_SUCCESS ? error : ERROR_BAD_EXE_FORMAT);
        return false;
    }

    detail::JobObject* job = nullptr;
    if (info.hProcess != nullptr && (options & kProcessOwnTree)) {
        job = new detail::JobObject;
        // No job, or an outer one that forbids it: the process runs alone.
        if (!job->Create() || !job->Assign(info.hProcess)) {
            delete job;
            job = nullptr;
        }
    }
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

std::string StartFailureText(const std::string& program, std::uint32_t code) {
    std::string text = SystemErrorText(code);
    // "%1 is not a valid Win32 application.": the system's place for the name.
    const std::size_t insert = text.find("%1");
    if (insert != std::string::npos) text.replace(insert, 2, program);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text.empty() ? Format("Error %u.", code) : text;
}

std::vector<std::string> OpenFileNames() {
    // Handle values are multiples of four, and a process's few sit low.
    const ULONG_PTR kLastValue = 0x4000;
    std::vector<std::string> names;
    for (ULONG_PTR value = 4; value <= kLastValue; value += 4) {
        HANDLE handle = reinterpret_cast<HANDLE>(value);
        switch (::GetFileType(handle)) {
            case FILE_TYPE_DISK: {
                std::vector<wchar_t> path(kMaxWidePath);
                const DWORD length =
                    ::GetFinalPathNameByHandleW(handle, path.data(), kMaxWidePath, FILE_NAME_NORMALIZED);
                std::string name = length != 0 && length < kMaxWidePath ? detail::Narrow(path.data(), length) : "?";
                if (name.compare(0, 4, "\\\\?\\") == 0) name.erase(0, 4);
                names.push_back(name);
                break;
            }
            case FILE_TYPE_PIPE: names.push_back("pipe"); break;
            case FILE_TYPE_CHAR: names.push_back("character device"); break;
            default: break;  // no file, or no handle
        }
    }
    return names;
}

}  // namespace platform
