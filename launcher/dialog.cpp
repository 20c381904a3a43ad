#include "launcher/dialog.h"

#include "payload/extractor.h"
#include "platform/app.h"
#include "platform/window.h"
#include "res/resource.h"

CLauncherDlg::CLauncherDlg() : platform::ModalDialog(IDD_LAUNCHER_DIALOG), m_hIcon(platform::LoadAppIcon(IDR_MAINFRAME)) {}

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
    CSFEFileExtractor extractor;
    CProgressCallback callback;
    m_bCancel = false;
    callback.m_pDlg = this;
    extractor.m_pbCancel = &m_bCancel;
    extractor.m_pDlg = Handle();
    extractor.m_pProgress = m_progress;
    extractor.m_pCallback = &callback;
    extractor.ExtractAndRun();
}

void CLauncherDlg::PumpMessages() { platform::PumpWaitingMessages(); }

bool CProgressCallback::OnProgress(std::int32_t amount) {
    m_nPos += static_cast<std::uint32_t>(amount);
    platform::SendWindowMessage(m_pDlg->m_progress, platform::kPbmSetPos, m_nPos, 0);
    m_pDlg->PumpMessages();
    return !m_pDlg->m_bCancel;
}

void RunWithProgressDialog() {
    CLauncherDlg dialog;
    dialog.DoModal();
}
