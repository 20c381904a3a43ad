#include "launcher/dialog.h"

#include "launcher/run.h"
#include "platform/app.h"
#include "platform/window.h"
#include "res/resource.h"

CLauncherDlg::CLauncherDlg(CSFEFileExtractor& payload)
    : platform::ModalDialog(IDD_LAUNCHER_DIALOG), m_hIcon(platform::LoadAppIcon(IDR_MAINFRAME)), m_payload(payload) {}

bool CLauncherDlg::OnInitDialog() {
    m_progress = Item(IDC_PROGRESS);
    platform::SetWindowIcons(Handle(), m_hIcon);
    platform::PostMessageTo(Handle(), WM_STARTEXTRACTION, 0, 0);
    return true;
}

void CLauncherDlg::OnCancel() { m_bCancel = true; }

bool CLauncherDlg::OnPrivateMessage(unsigned message, std::uintptr_t, std::intptr_t) {
    if (message != WM_STARTEXTRACTION) return false;
    OnStartExtraction();
    return true;
}

void CLauncherDlg::OnStartExtraction() {
    CProgressCallback callback;
    m_bCancel = false;
    callback.m_pDlg = this;
    RunWindows windows;
    windows.cancel = &m_bCancel;
    windows.dialog = Handle();
    windows.progress = m_progress;
    windows.callback = &callback;
    ExtractAndRun(m_payload, windows);
}

void CLauncherDlg::PumpMessages() { platform::PumpWaitingMessages(); }

bool CProgressCallback::OnProgress(std::int32_t amount) {
    m_nPos += static_cast<std::uint32_t>(amount);
    platform::SendWindowMessage(m_pDlg->m_progress, platform::kPbmSetPos, m_nPos, 0);
    m_pDlg->PumpMessages();
    return !m_pDlg->m_bCancel;
}

void RunWithProgressDialog(CSFEFileExtractor& payload) {
    CLauncherDlg dialog(payload);
    dialog.DoModal();
}
