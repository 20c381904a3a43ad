// Starting programs on Win32 and waiting for them with the queue alive.
#include "platform/win32/windows_api.h"

#include <vector>

#include "platform/process.h"

namespace platform {

Process::~Process() {
    if (m_handle != 0) ::CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

bool Process::Create(const std::string& commandLine, const std::string& folder, int showCommand) {
    if (commandLine.size() >= kMaxCommandLineBuffer) {
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showCommand);

    // CreateProcess may write into the command line: hand it a copy that fits.
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    PROCESS_INFORMATION info;
    ZeroMemory(&info, sizeof info);
    if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &startup, &info))
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
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_MOUSEMOVE || msg.message == WM_LBUTTONDOWN || msg.message == WM_LBUTTONUP)
                continue;
            if (msg.message == WM_QUIT) {
                // Not ours to consume: the message loop that waits for it gets it after the wait.
                quit = true;
                quitCode = msg.wParam;
                continue;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
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
