// The progress dialog that drives a run, and the callback that moves its bar.
//
// The dialog posts itself WM_STARTEXTRACTION once it is up; its handler runs
// the whole self-extraction with the dialog's bar, cancel flag and callback
// attached, and the run's quit message then ends the modal loop. Escape, the
// close box and Close only raise the cancel flag; the run notices it at the
// next progress report or between entries.
#pragma once

#include <cstdint>

#include "payload/extractor.h"
#include "platform/dialog.h"
#include "zip/callback.h"

constexpr unsigned WM_STARTEXTRACTION = platform::kPrivateMessageBase + 22;

class CLauncherDlg : public platform::ModalDialog {
public:
    explicit CLauncherDlg(CSFEFileExtractor& payload);

    // Processes waiting messages and idle work, keeping the dialog alive
    // while the run works.
    void PumpMessages();

    bool m_bCancel = false;
    platform::WindowHandle m_progress = nullptr;  // the progress bar, control 1002
    void* m_hIcon = nullptr;                      // application icon 128

protected:
    bool OnInitDialog() override;
    void OnCancel() override;
    bool OnPrivateMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;
    void* MinimizedIcon() const override { return m_hIcon; }

private:
    void OnStartExtraction();

    CSFEFileExtractor& m_payload;  // start-up's, with the payload it has read
};

// Moves the dialog's bar by the bytes written over the whole archive, keeps
// the dialog responsive, and stops the entry once the user has cancelled.
class CProgressCallback : public CZipActionCallback {
public:
    bool OnProgress(std::int32_t amount) override;
    void SetEntryTotal(std::uint64_t) override {}  // the bar spans the archive, not the entry

    // SetTotal ranges the bar over `total` bytes (at 0), ShowPosition moves
    // it to `done` of them. A bar counts in 31 bits: bytes are shown in
    // units of 2^m_nShift, the smallest unit that keeps the total in range.
    void SetTotal(std::uint64_t total);
    void ShowPosition(std::uint64_t done);

    std::uint64_t m_nPos = 0;                // bytes reported (the bar's position)
    unsigned m_nShift = 0;                   // see SetTotal
    platform::WindowHandle m_hBar = nullptr;  // the dialog's progress bar
    CLauncherDlg* m_pDlg = nullptr;          // not owned
};

// Shows the dialog and returns when its run on `payload` has ended.
void RunWithProgressDialog(CSFEFileExtractor& payload);
