// The application object's message handling and message boxes on Win32.
#include "platform/win32/windows_api.h"

#include "platform/app.h"
#include "platform/console.h"
#include "platform/strings.h"
#include "platform/system.h"
#include "platform/win32/wide.h"

namespace platform {

void ShowWaitCursor(bool on) { ::SetCursor(::LoadCursor(nullptr, on ? IDC_WAIT : IDC_ARROW)); }

namespace {

HWND g_sessionWindow = nullptr;

LRESULT CALLBACK SessionWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_QUERYENDSESSION) return TRUE;
    if (message == WM_ENDSESSION) {
        if (wParam) NotifySessionEnd();
        return 0;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

// A hidden top-level window: only those hear the session's end (a silent
// run has no other window).
void ListenForSessionEnd(bool on) {
    if (on && g_sessionWindow == nullptr) {
        static const wchar_t kClass[] = L"SfxSessionEnd";
        WNDCLASSW windowClass;
        ZeroMemory(&windowClass, sizeof windowClass);
        windowClass.lpfnWndProc = SessionWindowProc;
        windowClass.hInstance = ::GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kClass;
        ::RegisterClassW(&windowClass);  // fails harmlessly when registered already
        g_sessionWindow = ::CreateWindowExW(0, kClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                            ::GetModuleHandleA(nullptr), nullptr);
    } else if (!on && g_sessionWindow != nullptr) {
        ::DestroyWindow(g_sessionWindow);
        g_sessionWindow = nullptr;
    }
}

bool Application::PumpMessage() {
    MSG msg;
    if (!::GetMessageW(&msg, nullptr, 0, 0)) {
        m_nQuitCode = static_cast<int>(msg.wParam);
        return false;
    }
    HWND main = static_cast<HWND>(m_hMainWnd);
    if (main != nullptr && ::IsWindow(main) && ::IsDialogMessageW(main, &msg)) return true;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
    return true;
}

bool MessageWaiting() {
    MSG msg;
    return ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE) != FALSE;
}

void PostQuitMessage(int code) { ::PostQuitMessage(code); }

void PauseWithMessages(unsigned milliseconds, bool pumpMessages) {
    const ULONGLONG end = ::GetTickCount64() + milliseconds;
    for (;;) {
        const ULONGLONG now = ::GetTickCount64();
        if (now >= end) return;
        const DWORD left = static_cast<DWORD>(end - now);
        if (!pumpMessages) {
            ::Sleep(left);
            return;
        }
        if (::MsgWaitForMultipleObjects(0, nullptr, FALSE, left, QS_ALLINPUT) == WAIT_OBJECT_0) {
            PumpWaitingMessages();
            // A quit message stays queued for the loop that ends on it: stop pumping, just wait.
            MSG msg;
            if (::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) pumpMessages = false;
        }
    }
}

int ShowMessageBox(WindowHandle owner, const std::string& text, const std::string& caption, unsigned flags) {
    if (IsConsoleProgram()) {
        // One message, its lines ended as a Windows program ends them, to a
        // file or a pipe as much as to the console.
        std::string message = caption + ": ";
        const std::size_t end = text.find_last_not_of("\r\n");
        for (std::size_t i = 0; end != std::string::npos && i <= end; ++i) {
            if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) message += '\r';
            message += text[i];
        }
        WriteStandardStream(StandardStream::kError, message + "\r\n");
        return IDOK;
    }
    return ::MessageBoxW(static_cast<HWND>(owner), detail::Wide(detail::WideText(text)),
                         detail::Wide(detail::WideText(caption)), flags);
}

int AppMessageBox(const std::string& text) {
    std::string module;
    std::string caption = GetModuleFileName(module) ? FileTitleOf(module) : std::string("launcher");
    Application* app = Application::Current();
    HWND owner = app ? static_cast<HWND>(app->MainWindow()) : nullptr;
    if (owner != nullptr && !::IsWindow(owner)) owner = nullptr;
    return ShowMessageBox(owner, text, caption, MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace platform
