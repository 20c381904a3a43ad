#include "launcher/run.h"

#include <algorithm>
#include <memory>

#include "cleanup/busyretry.h"
#include "cleanup/deletefiles.h"
#include "launcher/app.h"
#include "launcher/arguments.h"
#include "launcher/extraction.h"
#include "launcher/exit_codes.h"
#include "launcher/launch.h"
#include "payload/config.h"
#include "platform/dialog.h"
#include "platform/file.h"
#include "platform/strings.h"
#include "platform/system.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "zip/archive.h"

namespace {

void SetExitCode(int code) {
    if (CLauncherApp* app = CLauncherApp::Current()) app->m_nExitCode = code;
}

// Opens the launcher's own file as an archive; on failure shows why, sets
// the exit code and leaves the archive closed.
bool OpenArchive(CZipArchive& archive, const std::string& path) {
    CZipCaughtError error;
    if (archive.TryOpen(path, &error)) return true;
    platform::AppMessageBox(error.Describe().substr(0, 999));
    const bool fileError = error.m_nCode == CZipCaughtError::kFileError && error.m_file.osError() != 0;
    SetExitCode(fileError ? static_cast<int>(error.m_file.osError()) : kExitPayloadUnreadable);
    return false;
}

// Starts the configured program in `folder` and waits for it. False when it
// started but is not known to have ended (the wait failed): its folder must
// then be left alone.
bool LaunchConfigured(const LaunchConfig& config, const std::string& folder, const std::string& modulePath,
                      bool programFailed) {
    const std::string program = folder + "\\" + config.run;
    if (programFailed || platform::GetFileAttributes(program) == platform::kInvalidAttributes) {
        // The configured program did not arrive whole (its entry failed): not a success.
        SetExitCode(kExitProgramMissing);
        return true;
    }
    const std::string arguments = BuildLaunchArguments(platform::CommandLineArgs(), modulePath);
    LaunchOutcome outcome;
    SetExitCode(static_cast<int>(LaunchProgram(program, arguments, folder, true, 0, &outcome)));
    return !outcome.started || outcome.ended;
}

// Deletes the temporary folder with everything in it. Busy files are waited
// for a moment (a program still exiting, a scanner that opened a new file).
// True when the folder is gone.
bool DeleteFolder(const std::string& folder, bool pumpMessages) {
    CBusyRetry retry(CBusyRetry::kDefaultBudgetMs, pumpMessages);
    CQXDeleteFiles deleter;
    deleter.TargetFolderContents(folder);
    deleter.m_pRetry = &retry;
    // A second thread deletes measurably faster; more add little.
    const unsigned asked = ExtractionThreads();
    deleter.m_nThreads = std::min(asked != 0 ? asked : platform::ProcessorCount(), 2u);
    const bool emptied = deleter.DeleteSource(pumpMessages) == CQXDeleteFiles::kDeleted;
    // Once emptied, a folder that still reads as not empty holds files whose
    // delete is pending while someone closes them: worth waiting for too.
    if (retry.Run([&] { return platform::RemoveDirectory(folder); }, emptied)) return true;
    return platform::GetFileAttributes(folder) == platform::kInvalidAttributes;
}

// A folder that stays is not hidden: the application object keeps it for
// the exit path, and a dialog run names it.
void ReportLeftBehind(const std::string& folder, const RunWindows& windows) {
    if (CLauncherApp* app = CLauncherApp::Current()) app->m_strLeftBehind = folder;
    if (windows.dialog != nullptr)
        platform::AppMessageBox("The temporary folder could not be deleted completely:\n" + folder);
}

}  // namespace

int ExtractAndRun(CSFEFileExtractor& payload, const RunWindows& windows) {
    bool localCancel = false;
    const bool& cancelled = windows.cancel != nullptr ? *windows.cancel : localCancel;

    std::unique_ptr<platform::WaitCursor> busy(new platform::WaitCursor);

    bool segmentFound = false;
    LaunchConfig config;
    ReadLaunchConfig(payload.GetDataSegment(&segmentFound), config);

    if (platform::IsLiveWindow(windows.dialog))
        platform::SetWindowTextOf(windows.dialog, config.title.empty() ? std::string("Loading") : config.title);

    const std::string folder = payload.GetTempFolderName();
    if (folder.empty()) {
        // Without a folder of its own the run must not extract anywhere.
        std::uint32_t error = platform::GetLastError();
        busy.reset();
        platform::AppMessageBox("Could not create the temporary folder.\n" + platform::SystemErrorText(error));
        SetExitCode(error != 0 ? static_cast<int>(error) : kExitCannotCreateFolder);
        platform::PostQuitMessage(0);
        return 2;
    }

    CZipArchive archive;
    if (!OpenArchive(archive, payload.m_strModulePath)) {
        // Give the claimed folder back and let a dialog close by itself.
        platform::RemoveDirectory(folder);
        busy.reset();
        platform::PostQuitMessage(0);
        return 2;
    }

    const ExtractionOutcome extraction =
        ExtractArchive(archive, payload.m_strModulePath, config, folder, windows, ExtractionThreads());

    if (!segmentFound) SetExitCode(kExitPayloadUnreadable);

    bool programEnded = true;
    if (extraction.notEmptied) {
        // A second attempt found the folder not empty: what is there is no
        // extraction of this archive, so nothing of it may run.
        platform::AppMessageBox("The archive could not be extracted: the temporary folder could not be emptied "
                                "for a second attempt.\n" + folder);
        SetExitCode(kExitExtractionIncomplete);
    } else if (!config.run.empty() && !cancelled) {
        if (platform::IsLiveWindow(windows.dialog)) platform::HideWindow(windows.dialog);
        programEnded = LaunchConfigured(config, folder, payload.m_strModulePath, extraction.programFailed);
    }

    // Never delete files under a program that may still be running.
    if (!programEnded || !DeleteFolder(folder, windows.dialog != nullptr)) ReportLeftBehind(folder, windows);

    busy.reset();

    if (cancelled) {
        platform::WindowHandle owner = platform::IsLiveWindow(windows.dialog) ? windows.dialog : nullptr;
        platform::ShowMessageBox(owner, "Extraction Cancelled", "Status", platform::kMbOk | platform::kMbIconExclamation);
    }
    platform::PostQuitMessage(0);
    return 0;
}
