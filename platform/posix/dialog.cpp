// Dialogs on posix: in-memory windows. The modal run delivers the messages
// posted to the dialog.
#include <deque>

#include "platform/dialog.h"
#include "platform/window.h"

namespace platform {

namespace {

struct Posted {
    WindowHandle window;
    unsigned message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
};

std::deque<Posted>& Queue() {
    static std::deque<Posted> queue;
    return queue;
}

// The dialog being shown and its one control, a progress bar.
WindowHandle g_dialog = nullptr;
WindowHandle g_bar = nullptr;

}  // namespace

ModalDialog::ModalDialog(int templateId) : m_nTemplate(templateId) {}
ModalDialog::~ModalDialog() = default;

int ModalDialog::DoModal() {
    m_bEnded = false;
    m_nResult = -1;
    m_hWnd = g_dialog = CreateHiddenTextWindow();
    g_bar = CreateHiddenProgressBar();
    OnInitDialog();
    while (!m_bEnded && !MessageWaiting() && !Queue().empty()) {
        Posted posted = Queue().front();
        Queue().pop_front();
        if (posted.window == m_hWnd) OnPrivateMessage(posted.message, posted.wParam, posted.lParam);
    }
    DestroyHiddenWindow(g_bar);
    DestroyHiddenWindow(m_hWnd);
    g_bar = g_dialog = nullptr;
    m_hWnd = nullptr;
    return m_nResult;
}

void ModalDialog::EndDialog(int result) {
    m_nResult = result;
    m_bEnded = true;
}

WindowHandle ModalDialog::Item(int) const { return m_hWnd ? g_bar : nullptr; }

void ModalDialog::OnCancel() { EndDialog(2); }
void ModalDialog::OnOK() { EndDialog(1); }

void PostMessageTo(WindowHandle window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    Queue().push_back({window, message, wParam, lParam});
}

void HideWindow(WindowHandle) {}

void* LoadAppIcon(int) { return nullptr; }
void SetWindowIcons(WindowHandle, void*) {}

}  // namespace platform
