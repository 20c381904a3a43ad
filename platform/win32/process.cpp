// Starting programs on Win32 and waiting for them with the queue alive.
#include "platform/win32/windows_api.h"

#include "platform/process.h"
#include "platform/widepath.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

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
    if (m_handle != 0) ::CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

bool Process::Create(const std::string& commandLine, const std::string& folder, int showCommand) {
    if (!FitsPathLimit(commandLine, kMaxCommandLineBuffer)) {
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showCommand);

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
                          nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                          directory.empty() ? nullptr : detail::Wide(directory), &startup, &info))
        return false;
    ::CloseHandle(info.hThread);
    if (m_handle != 0) ::CloseHandle(reinterpret_cast<HANDLE>(m_handle));
    m_handle = reinterpret_cast<std::intptr_t>(info.hProcess);
    return true;
}

bool Process::WaitDispatchingMessages() {
    if (m_handle == 0) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    HANDLE process = reinterpret_cast<HANDLE>(m_handle);
    bool quit = false;
    WPARAM quitCode = 0;
    bool ended = false;
    for (;;) {
        DWORD result = ::MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_ALLINPUT);
        if (result == WAIT_OBJECT_0) {
            ended = true;
            break;
        }
        if (result != WAIT_OBJECT_0 + 1) break;  // the wait failed
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_MOUSEMOVE || msg.message == WM_LBUTTONDOWN || msg.message == WM_LBUTTONUP)
                continue;
            if (msg.message == WM_QUIT) {
                // Not ours to consume: the message loop that waits for it gets it after the wait.
                quit = true;
                quitCode = msg.wParam;
                continue;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    // Without messages the windows stall, but the program must not be left
    // running under a cleanup that deletes its files.
    if (!ended) ended = ::WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0;
    const DWORD error = ::GetLastError();
    if (quit) ::PostQuitMessage(static_cast<int>(quitCode));
    ::SetLastError(error);
    return ended;
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
