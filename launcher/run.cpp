#include "launcher/run.h"

#include <algorithm>
#include <memory>

#include "cleanup/busyretry.h"
#include "cleanup/deletefiles.h"
#include "cleanup/sweep.h"
#include "launcher/app.h"
#include "launcher/arguments.h"
#include "launcher/cachedrun.h"
#include "launcher/consoleprogress.h"
#include "launcher/extraction.h"
#include "launcher/exit_codes.h"
#include "launcher/launch.h"
#include "payload/cachefolder.h"
#include "payload/config.h"
#include "payload/extractor.h"
#include "payload/runfolder.h"
#include "platform/console.h"
#include "platform/dialog.h"
#include "platform/file.h"
#include "platform/folderlock.h"
#include "platform/process.h"
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
                      bool programFailed, CLaunchWatcher& watcher) {
    const std::string program = folder + "\\" + config.run;
    if (programFailed || platform::GetFileAttributes(program) == platform::kInvalidAttributes) {
        // The configured program did not arrive whole (its entry failed): not a success.
        SetExitCode(kExitProgramMissing);
        return true;
    }
    const std::string arguments = WithFixedArguments(
        config.args, StartsThroughInstaller(program) ? BuildPackageArguments(modulePath)
                             : BuildLaunchArguments(platform::CommandLineArgs(), modulePath));
    LaunchOutcome outcome;
    const std::uint32_t code = LaunchProgram(program, arguments, folder, true, 0, &outcome, &watcher);
    SetExitCode(static_cast<int>(code));
    // A console program says why; the GUI stub leaves it to the exit code.
    if (!outcome.started && platform::IsConsoleProgram())
        platform::AppMessageBox("The program could not be started:\n" + program + "\n" +
                                platform::StartFailureText(program, code));
    return !outcome.started || outcome.ended;
}

// Deletes the temporary folder with everything in it, and then its lock
// file, which stays with a folder that stays (a later sweep retries it).
// Busy files are waited for a moment (a program still exiting, a scanner
// that opened a new file), at most `budgetMs` in all. True when the folder
// is gone.
bool DeleteFolder(const std::string& folder, platform::FolderLock& mark, bool pumpMessages,
                  unsigned budgetMs = CBusyRetry::kDefaultBudgetMs) {
    CBusyRetry retry(budgetMs, pumpMessages);
    // A second thread deletes measurably faster; more add little.
    const unsigned asked = ExtractionThreads();
    const bool gone =
        DeleteFolderTree(folder, retry, std::min(asked != 0 ? asked : platform::ProcessorCount(), 2u), pumpMessages);
    if (gone && mark.Held()) mark.DeleteAndRelease();
    return gone;
}

// The end of the session may not wait long: the tree gets this long to end
// by itself, the folder this long for busy files.
constexpr unsigned kSessionEndGraceMs = 2000;
constexpr unsigned kSessionEndDeleteMs = 1000;

// What the run does while its program runs: sweeps the folders of dead
// runs (and the cache's old copies) on a worker thread, and at the end of
// the session ends the tree and deletes the run's own folder before the
// system ends the launcher.
class CRunWatcher : public CLaunchWatcher {
public:
    explicit CRunWatcher(RunPlace& place) : m_place(place) {}
    ~CRunWatcher() override { m_sweep.Join(); }

    void OnStarted(platform::Process& process) override {
        m_pProcess = &process;
        m_sweep.Start(Sweep, &m_place);  // when no thread can be had, there is no sweep this time
        platform::SetSessionEndHandler(OnSessionEnd, this);
    }
    void OnWaitEnded() override {
        platform::SetSessionEndHandler(nullptr, nullptr);
        m_pProcess = nullptr;
    }

private:
    static void Sweep(void* context) {
        const RunPlace& place = *static_cast<const RunPlace*>(context);
        if (place.cacheFolder.empty()) {
            SweepDeadFolders(RunFolderBase(), IsRunFolderName);
            return;
        }
        SweepDeadFolders(place.cacheFolder, IsRunFolderName);
        SweepOldFolders(place.cacheFolder, IsCopyFolderName, kKeptCopies);
    }

    static void OnSessionEnd(void* context) {
        CRunWatcher& self = *static_cast<CRunWatcher*>(context);
        if (self.m_pProcess == nullptr) return;
        // Never delete under what may still run; a cached copy stays anyway.
        if (self.m_pProcess->EndTree(kSessionEndGraceMs) && !self.m_place.ownFolder.empty())
            DeleteFolder(self.m_place.ownFolder, self.m_place.own, false, kSessionEndDeleteMs);
    }

    RunPlace& m_place;
    platform::Process* m_pProcess = nullptr;  // while the program runs
    platform::Thread m_sweep;
};

// The end of a run that extracted nothing: no cleanup, and a dialog closes by itself.
int EndUnextracted(std::unique_ptr<platform::WaitCursor>& busy) {
    busy.reset();
    platform::PostQuitMessage(0);
    return 2;
}

// The "/T:" folder the user named, or empty.
std::string AskedTempBase() {
    const CLauncherApp* app = CLauncherApp::Current();
    return app != nullptr ? app->m_strTempBase : std::string();
}

// The folder for a temporary folder, chosen now when start-up left that to
// the run (it does for a payload that asks for the cache).
bool ChooseRunFolderBase() {
    CLauncherApp* app = CLauncherApp::Current();
    return !TempFolderBase().empty() || app == nullptr || app->ChooseTempBase();
}

// A folder that stays is not hidden: the application object keeps it for
// the exit path, and a dialog run names it.
void ReportLeftBehind(const std::string& folder, const RunWindows& windows) {
    if (CLauncherApp* app = CLauncherApp::Current()) app->m_strLeftBehind = folder;
    if (windows.dialog != nullptr || (windows.console != nullptr && windows.console->Shown()))
        platform::AppMessageBox("The temporary folder could not be deleted completely:\n" + folder);
}

}  // namespace

int ExtractAndRun(CSFEFileExtractor& payload, const RunWindows& windows) {
    bool localCancel = false;
    const bool& cancelled = windows.cancel != nullptr ? *windows.cancel : localCancel;

    std::unique_ptr<platform::WaitCursor> busy(new platform::WaitCursor);

    bool segmentFound = false;
    LaunchConfig config;
    const std::string configText = payload.GetDataSegment(&segmentFound);
    ReadLaunchConfig(configText, config);

    if (platform::IsLiveWindow(windows.dialog))
        platform::SetWindowTextOf(windows.dialog, config.title.empty() ? std::string("Loading") : config.title);

    RunPlace place;
    CZipArchive archive;
    const bool cache = config.UsesCache();
    if (cache && !OpenArchive(archive, payload.m_strModulePath)) return EndUnextracted(busy);
    if (!cache || !PrepareCachedRun(archive, payload.m_strModulePath, configText, config, windows, AskedTempBase(),
                                    place)) {
        if (!ChooseRunFolderBase()) return EndUnextracted(busy);
        place.ownFolder = payload.GetTempFolderName(place.own);
        if (place.ownFolder.empty()) {
            // Without a folder of its own the run must not extract anywhere.
            std::uint32_t error = platform::GetLastError();
            busy.reset();
            platform::AppMessageBox("Could not create the temporary folder.\n" + platform::SystemErrorText(error));
            SetExitCode(error != 0 ? static_cast<int>(error) : kExitCannotCreateFolder);
            return EndUnextracted(busy);
        }
        if (archive.IsClosed() && !OpenArchive(archive, payload.m_strModulePath)) {
            // Give the claimed folder back and let a dialog close by itself.
            if (platform::RemoveDirectory(place.ownFolder)) place.own.DeleteAndRelease();
            return EndUnextracted(busy);
        }
        place.programFolder = place.ownFolder;
        place.extraction =
            ExtractArchive(archive, payload.m_strModulePath, config, place.ownFolder, windows, ExtractionThreads());
    }

    if (!segmentFound) SetExitCode(kExitPayloadUnreadable);

    bool programEnded = true;
    CRunWatcher watcher(place);
    const bool launch = !place.extraction.notEmptied && !config.run.empty() && !cancelled;
    if (place.extraction.notEmptied) {
        // A second attempt found the folder not empty: what is there is no
        // extraction of this archive, so nothing of it may run.
        platform::AppMessageBox("The archive could not be extracted: the temporary folder could not be emptied "
                                "for a second attempt.\n" + place.programFolder);
        SetExitCode(kExitExtractionIncomplete);
    } else if (launch) {
        if (platform::IsLiveWindow(windows.dialog)) platform::HideWindow(windows.dialog);
        programEnded = LaunchConfigured(config, place.programFolder, payload.m_strModulePath,
                                        place.extraction.programFailed, watcher);
    }

    // Never delete files under a program that may still be running; a cached copy stays.
    if (!place.ownFolder.empty() &&
        (!programEnded || !DeleteFolder(place.ownFolder, place.own, windows.dialog != nullptr)))
        ReportLeftBehind(place.ownFolder, windows);

    busy.reset();

    if (cancelled) {
        // No program ran: a caller must not read success.
        if (!launch) SetExitCode(kExitCancelled);
        platform::WindowHandle owner = platform::IsLiveWindow(windows.dialog) ? windows.dialog : nullptr;
        platform::ShowMessageBox(owner, "Extraction Cancelled", "Status", platform::kMbOk | platform::kMbIconExclamation);
    }
    platform::PostQuitMessage(0);
    return 0;
}
