// Modal dialogs from resource templates and the window operations the
// launcher's progress dialog needs.
//
// On win32 the dialog is a real window with its own modal loop, driven
// through the application object so that keyboard handling (Escape cancels,
// Enter is OK) works as in any dialog. On posix there is no visible window:
// the dialog and its progress bar are in-memory windows (see window.h), and
// DoModal runs OnInitDialog and then delivers the messages posted to the
// dialog.
#pragma once

#include <cstdint>
#include <string>

#include "platform/app.h"

namespace platform {

class ModalDialog {
public:
    explicit ModalDialog(int templateId);
    virtual ~ModalDialog();
    ModalDialog(const ModalDialog&) = delete;
    ModalDialog& operator=(const ModalDialog&) = delete;

    // Creates the dialog, runs its modal loop and destroys it. The loop ends
    // with EndDialog or when it meets the quit message (which stays posted).
    int DoModal();
    void EndDialog(int result);

    WindowHandle Handle() const { return m_hWnd; }
    // The child control with this id (null when there is none).
    WindowHandle Item(int id) const;

protected:
    // Called once the window exists, before it is shown.
    virtual bool OnInitDialog() { return true; }
    // Escape, the close box and the system menu's Close. Default: EndDialog(2).
    virtual void OnCancel();
    // Enter. Default: EndDialog(1).
    virtual void OnOK();
    // A message in the private range (WM_USER and above); returns true when handled.
    virtual bool OnPrivateMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) { return false; }
    // The icon drawn centred in the client area while minimized, and used for dragging.
    virtual void* MinimizedIcon() const { return nullptr; }

private:
    friend struct DialogAccess;
    int m_nTemplate;
    WindowHandle m_hWnd = nullptr;
    bool m_bEnded = false;
    int m_nResult = 0;
};

// The private message range starts here (WM_USER).
constexpr unsigned kPrivateMessageBase = 0x0400;

// Liveness, text and progress bar messages are in platform/window.h.
void PostMessageTo(WindowHandle window, unsigned message, std::uintptr_t wParam = 0, std::intptr_t lParam = 0);
void HideWindow(WindowHandle window);

// The application icon resource (null when it cannot be loaded), and
// setting it as a window's big and small icon.
void* LoadAppIcon(int resourceId);
void SetWindowIcons(WindowHandle window, void* icon);

}  // namespace platform
