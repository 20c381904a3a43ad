// Modal dialogs and window operations on Win32.
#include "platform/win32/windows_api.h"

#include "platform/dialog.h"
#include "platform/win32/commoncontrols.h"

namespace platform {

struct DialogAccess {
    static INT_PTR CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
};

namespace {
const wchar_t kDialogProperty[] = L"SfxModalDialog";

ModalDialog* FromWindow(HWND hwnd) { return static_cast<ModalDialog*>(::GetPropW(hwnd, kDialogProperty)); }
}  // namespace

INT_PTR CALLBACK DialogAccess::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ModalDialog* dialog = reinterpret_cast<ModalDialog*>(lParam);
        ::SetPropW(hwnd, kDialogProperty, dialog);
        dialog->m_hWnd = hwnd;
        return dialog->OnInitDialog() ? TRUE : FALSE;
    }
    ModalDialog* dialog = FromWindow(hwnd);
    if (dialog == nullptr) return FALSE;
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL) {
                dialog->OnCancel();
                return TRUE;
            }
            if (LOWORD(wParam) == IDOK) {
                dialog->OnOK();
                return TRUE;
            }
            return FALSE;
        case WM_SETCURSOR:
            // The pointer shows busy over the dialog at all times.
            ::SetCursor(::LoadCursor(nullptr, IDC_WAIT));
            ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, TRUE);
            return TRUE;
        case WM_ENDSESSION:
            if (wParam) NotifySessionEnd();
            return TRUE;
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(dialog->MinimizedIcon());
        case WM_PAINT:
            if (::IsIconic(hwnd) && dialog->MinimizedIcon() != nullptr) {
                PAINTSTRUCT ps;
                HDC dc = ::BeginPaint(hwnd, &ps);
                ::SendMessageW(hwnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
                RECT rect;
                ::GetClientRect(hwnd, &rect);
                int cx = ::GetSystemMetrics(SM_CXICON), cy = ::GetSystemMetrics(SM_CYICON);
                int x = (rect.right - rect.left - cx + 1) / 2;
                int y = (rect.bottom - rect.top - cy + 1) / 2;
                ::DrawIcon(dc, x, y, static_cast<HICON>(dialog->MinimizedIcon()));
                ::EndPaint(hwnd, &ps);
                return TRUE;
            }
            return FALSE;
        default:
            if (message >= WM_USER && message < 0x8000) {
                return dialog->OnPrivateMessage(message, wParam, lParam) ? TRUE : FALSE;
            }
            return FALSE;
    }
}

ModalDialog::ModalDialog(int templateId) : m_nTemplate(templateId) {}

ModalDialog::~ModalDialog() {
    if (m_hWnd != nullptr && ::IsWindow(static_cast<HWND>(m_hWnd))) ::DestroyWindow(static_cast<HWND>(m_hWnd));
}

int ModalDialog::DoModal() {
    detail::LoadCommonControls();
    m_bEnded = false;
    m_nResult = -1;
    Application* app = Application::Current();
    HWND hwnd = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_nTemplate), nullptr,
                                     DialogAccess::Proc, reinterpret_cast<LPARAM>(this));
    if (hwnd == nullptr) return -1;
    WindowHandle previousMain = app ? app->MainWindow() : nullptr;
    if (app) app->SetMainWindow(hwnd);
    ::ShowWindow(hwnd, SW_SHOW);
    ::UpdateWindow(hwnd);
    while (!m_bEnded) {
        if (app == nullptr || !app->PumpMessage()) {
            // Keep the quit message for whoever runs the outer loop.
            ::PostQuitMessage(0);
            break;
        }
    }
    if (app) app->SetMainWindow(previousMain);
    if (::IsWindow(hwnd)) ::DestroyWindow(hwnd);
    m_hWnd = nullptr;
    return m_nResult;
}

void ModalDialog::EndDialog(int result) {
    m_nResult = result;
    m_bEnded = true;
    if (m_hWnd != nullptr) ::ShowWindow(static_cast<HWND>(m_hWnd), SW_HIDE);
}

WindowHandle ModalDialog::Item(int id) const {
    return m_hWnd ? ::GetDlgItem(static_cast<HWND>(m_hWnd), id) : nullptr;
}

void ModalDialog::OnCancel() { EndDialog(IDCANCEL); }
void ModalDialog::OnOK() { EndDialog(IDOK); }

void PostMessageTo(WindowHandle window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    ::PostMessageW(static_cast<HWND>(window), message, wParam, lParam);
}

void HideWindow(WindowHandle window) { ::ShowWindow(static_cast<HWND>(window), SW_HIDE); }

void* LoadAppIcon(int resourceId) {
    return ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resourceId));
}

void SetWindowIcons(WindowHandle window, void* icon) {
    ::SendMessageW(static_cast<HWND>(window), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    ::SendMessageW(static_cast<HWND>(window), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

}  // namespace platform
