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
    callback.m_hBar = m_progress;
    RunWindows windows;
    windows.cancel = &m_bCancel;
    windows.dialog = Handle();
    windows.callback = &callback;
    ExtractAndRun(m_payload, windows);
}

void CLauncherDlg::PumpMessages() { platform::PumpWaitingMessages(); }

bool CProgressCallback::OnProgress(std::int32_t amount) {
    ShowPosition(m_nPos + static_cast<std::uint64_t>(amount));
    m_pDlg->PumpMessages();
    return !m_pDlg->m_bCancel;
}

// A message to a window that is gone does nothing.
void CProgressCallback::SetTotal(std::uint64_t total) {
    m_nShift = 0;
    while ((total >> m_nShift) > 0x7FFFFFFF) ++m_nShift;
    platform::SendWindowMessage(m_hBar, platform::kPbmSetRange32, 0, static_cast<std::intptr_t>(total >> m_nShift));
    ShowPosition(0);
}

void CProgressCallback::ShowPosition(std::uint64_t done) {
    m_nPos = done;
    platform::SendWindowMessage(m_hBar, platform::kPbmSetPos, static_cast<std::uintptr_t>(done >> m_nShift), 0);
}

void RunWithProgressDialog(CSFEFileExtractor& payload) {
    CLauncherDlg dialog(payload);
    dialog.DoModal();
}
