// The console on Win32: the console stub's start, its control handler, and
// the standard streams.
#include "platform/win32/windows_api.h"

#include <atomic>

#include "platform/app.h"
#include "platform/console.h"
#include "platform/win32/entry.h"
#include "platform/win32/systemdll.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

bool g_console = false;                  // set once, before the application object runs
std::atomic<bool> g_interrupted{false};  // Ctrl+C or Ctrl+Break since ConsoleInterrupted last looked

// Runs on a thread the system starts for each event. A handler that
// returns TRUE, rather than SetConsoleCtrlHandler(NULL, TRUE): that flag
// would be inherited by the programs this process starts, and Ctrl+C must
// reach them.
BOOL WINAPI OnConsoleControl(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            // Every process on the console has it; the programs decide, this
            // one goes on to wait for them and clean up.
            g_interrupted.store(true);
            return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            // The system ends this process once the handler returns, and a
            // few seconds after the event in any case (about 5 s for a
            // close): what the end of the session does, on this thread.
            NotifySessionEnd();
            return TRUE;
        default: return FALSE;
    }
}

HANDLE StandardHandle(DWORD which) {
    HANDLE handle = ::GetStdHandle(which);
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && ::GetConsoleMode(handle, &mode) != FALSE;
}

}  // namespace

namespace detail {

int RunApplication(bool console) {
    // Launchers are started from folders such as Downloads, where any DLL
    // may lie: from here on DLLs come from the system folder only. The
    // launcher imports only DLLs that the system always takes from there,
    // so nothing beside it was loaded before this runs.
    RestrictDllSearchToSystem();
    g_console = console;
    if (console) ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    Application* app = Application::Current();
    return app ? app->Run() : 1;
}

}  // namespace detail

bool IsConsoleProgram() { return g_console; }

bool StandardErrorIsConsole() { return IsConsole(StandardHandle(STD_ERROR_HANDLE)); }

void WriteStandardStream(StandardStream stream, const std::string& text) {
    HANDLE handle = StandardHandle(stream == StandardStream::kOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    if (handle == nullptr || text.empty()) return;
    if (IsConsole(handle)) {
        // The console shows characters, whatever its code page.
        const std::u16string wide = detail::WideText(text);
        for (std::size_t done = 0; done < wide.size();) {
            DWORD written = 0;
            const DWORD size = static_cast<DWORD>(wide.size() - done);
            if (!::WriteConsoleW(handle, detail::Wide(wide) + done, size, &written, nullptr) || written == 0) return;
            done += written;
        }
        return;
    }
    for (std::size_t done = 0; done < text.size();) {
        DWORD written = 0;
        const DWORD size = static_cast<DWORD>(text.size() - done);
        if (!::WriteFile(handle, text.data() + done, size, &written, nullptr) || written == 0) return;
        done += written;
    }
}

std::string ReadStandardInput() {
    HANDLE handle = StandardHandle(STD_INPUT_HANDLE);
    std::string text;
    if (handle == nullptr) return text;
    char buffer[4096];
    DWORD got = 0;
    // A pipe ends with ERROR_BROKEN_PIPE, a file with a read of nothing.
    while (::ReadFile(handle, buffer, sizeof buffer, &got, nullptr) && got != 0) text.append(buffer, got);
    return text;
}

bool ConsoleInterrupted() { return g_interrupted.exchange(false); }

}  // namespace platform
