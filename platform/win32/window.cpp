// Window services on Win32 (ANSI calls).
#include "platform/win32/windows_api.h"
#include <commctrl.h>

#include "platform/win32/commoncontrols.h"

#include <vector>

#include "platform/window.h"

namespace platform {

bool IsLiveWindow(WindowHandle window) {
    return window != nullptr && ::IsWindow(static_cast<HWND>(window)) != FALSE;
}

void SetWindowTextOf(WindowHandle window, const std::string& text) {
    ::SetWindowTextA(static_cast<HWND>(window), text.c_str());
}

std::string WindowTextOf(WindowHandle window) {
    HWND hwnd = static_cast<HWND>(window);
    int length = ::GetWindowTextLengthA(hwnd);
    if (length <= 0) return std::string();
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
    int n = ::GetWindowTextA(hwnd, buffer.data(), length + 1);
    return std::string(buffer.data(), n > 0 ? static_cast<std::size_t>(n) : 0);
}

std::intptr_t SendWindowMessage(WindowHandle window, unsigned message, std::uintptr_t wParam,
                                std::intptr_t lParam) {
    return static_cast<std::intptr_t>(
        ::SendMessageA(static_cast<HWND>(window), message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam)));
}

WindowHandle CreateHiddenTextWindow() {
    return ::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 200, 20, nullptr, nullptr, ::GetModuleHandleA(nullptr),
                             nullptr);
}

WindowHandle CreateHiddenProgressBar() {
    detail::LoadCommonControls();
    return ::CreateWindowExA(0, PROGRESS_CLASSA, "", 0, 0, 0, 200, 20, nullptr, nullptr,
                             ::GetModuleHandleA(nullptr), nullptr);
}

void DestroyHiddenWindow(WindowHandle window) {
    if (IsLiveWindow(window)) ::DestroyWindow(static_cast<HWND>(window));
}

}  // namespace platform
