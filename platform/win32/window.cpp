// Window services on Win32 (wide calls; texts in UTF-8).
#include "platform/win32/windows_api.h"
#include <commctrl.h>

#include "platform/win32/commoncontrols.h"

#include <vector>

#include "platform/win32/wide.h"
#include "platform/window.h"

namespace platform {

bool IsLiveWindow(WindowHandle window) {
    return window != nullptr && ::IsWindow(static_cast<HWND>(window)) != FALSE;
}

void SetWindowTextOf(WindowHandle window, const std::string& text) {
    ::SetWindowTextW(static_cast<HWND>(window), detail::Wide(detail::WideText(text)));
}

std::string WindowTextOf(WindowHandle window) {
    HWND hwnd = static_cast<HWND>(window);
    int length = ::GetWindowTextLengthW(hwnd);
    if (length <= 0) return std::string();
    std::vector<wchar_t> buffer(static_cast<std::size_t>(length) + 1);
    int n = ::GetWindowTextW(hwnd, buffer.data(), length + 1);
    return detail::Narrow(buffer.data(), n > 0 ? static_cast<std::size_t>(n) : 0);
}

std::intptr_t SendWindowMessage(WindowHandle window, unsigned message, std::uintptr_t wParam,
                                std::intptr_t lParam) {
    return static_cast<std::intptr_t>(
        ::SendMessageW(static_cast<HWND>(window), message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam)));
}

WindowHandle CreateHiddenTextWindow() {
    return ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 200, 20, nullptr, nullptr, ::GetModuleHandleW(nullptr),
                             nullptr);
}

WindowHandle CreateHiddenProgressBar() {
    detail::LoadCommonControls();
    return ::CreateWindowExW(0, PROGRESS_CLASSW, L"", 0, 0, 0, 200, 20, nullptr, nullptr,
                             ::GetModuleHandleW(nullptr), nullptr);
}

void DestroyHiddenWindow(WindowHandle window) {
    if (IsLiveWindow(window)) ::DestroyWindow(static_cast<HWND>(window));
}

}  // namespace platform
