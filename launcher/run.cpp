#include "launcher/run.h"

#include <exception>
#include <memory>

#include "cleanup/busyretry.h"
#include "cleanup/deletefiles.h"
#include "launcher/app.h"
#include "launcher/arguments.h"
#include "launcher/exit_codes.h"
#include "launcher/launch.h"
#include "payload/config.h"
#include "platform/dialog.h"
#include "platform/file.h"
#include "platform/strings.h"
#include "platform/system.h"
#include "platform/window.h"
#include "zip/archive.h"
#include "zip/exception.h"
#include "zip/fileheader.h"

namespace {

constexpr std::uint32_t kTransferBufferSize = 65536;

void SetExitCode(int code) {
    if (CLauncherApp* app = CLauncherApp::Current()) app->m_nExitCode = code;
}

bool Live(platform::WindowHandle window) { return window != nullptr && platform::IsLiveWindow(window); }

// Runs one archive step; an error of any kind passes the step over silently.
// Returns false when the step threw.
template <typename Step>
bool PassOverErrors(Step step) {
    try {
        step();
        return true;
    } catch (const CZipException&) {
    } catch (const platform::FileException&) {
    } catch (const std::exception&) {
    }
    return false;
}

// True when the entry name `name` is the configured program `run`
// (separators and ASCII case do not matter, as on Windows).
bool IsRunProgram(std::string name, std::string run) {
    for (std::string* text : {&name, &run})
        for (char& c : *text)
            if (c == '/') c = '\\';
    return !run.empty() && platform::CompareNoCase(name, run) == 0;
}

// Opens the launcher's own file as an archive; on failure shows why, sets
// the exit code and leaves the archive closed.
bool OpenArchive(CZipArchive& archive, const std::string& path) {
    try {
        archive.Open(path, CZipArchive::zipOpenReadOnly, 0);
        return true;
    } catch (const CZipException& e) {
        platform::AppMessageBox(e.GetDescription());
        SetExitCode(kExitPayloadUnreadable);
    } catch (const platform::FileException& e) {
        platform::AppMessageBox(e.GetErrorMessage().substr(0, 999));
        SetExitCode(e.osError() != 0 ? static_cast<int>(e.osError()) : kExitPayloadUnreadable);
    } catch (const std::exception&) {
        SetExitCode(kExitPayloadUnreadable);
    }
    // A directory that fails part way leaves the file open with the headers
    // read so far: none of them may be extracted or run.
    PassOverErrors([&] { archive.Close(CZipArchive::afterException, false); });
    return false;
}

// Extracts every entry into `folder` until cancelled; an entry that fails is
// passed over. Returns whether the configured program's own entry failed (it
// may lie there half written and must not be started).
bool ExtractEntries(CZipArchive& archive, const LaunchConfig& config, const std::string& folder,
                    const RunWindows& windows, const bool& cancelled) {
    if (windows.callback != nullptr) archive.RegisterCallback(windows.callback, cbExtract);

    std::uint32_t total = 0;
    const int count = archive.GetEntryCount();
    for (int i = 0; i < count && !cancelled; ++i) {
        CZipFileHeader info;
        if (archive.GetEntryInfo(info, static_cast<std::uint16_t>(i)) && !info.IsFolder()) total += info.m_uUncomprSize;
    }
    if (Live(windows.progress))
        platform::SendWindowMessage(windows.progress, platform::kPbmSetRange32, 0, static_cast<std::intptr_t>(total));

    bool programFailed = false;
    for (int i = 0; i < count && !cancelled; ++i) {
        const std::uint16_t index = static_cast<std::uint16_t>(i);
        CZipFileHeader info;
        bool extracted = false;
        const bool noError = PassOverErrors([&] {
            archive.GetEntryInfo(info, index);
            if (config.usePassword != 0) archive.SetArchivePassword(config.password.c_str());
            extracted = archive.ExtractEntry(index, folder, true, nullptr, kTransferBufferSize);
        });
        if (!(noError && extracted) && IsRunProgram(info.GetName(), config.run)) programFailed = true;
    }
    // An entry left open by a data error makes Close throw; the launch and the
    // cleanup must still follow.
    PassOverErrors([&] { archive.Close(CZipArchive::afterNormal, false); });
    if (!archive.IsClosed()) PassOverErrors([&] { archive.Close(CZipArchive::afterException, false); });
    return programFailed;
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
    deleter.m_strSource = folder + "\\*.*";
    deleter.m_bRecurse = true;
    deleter.m_bContinueOnError = true;
    deleter.m_bIncludeHiddenSystem = true;
    deleter.m_pRetry = &retry;
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

    if (Live(windows.dialog))
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

    const bool programFailed = ExtractEntries(archive, config, folder, windows, cancelled);

    if (!segmentFound) SetExitCode(kExitPayloadUnreadable);

    bool programEnded = true;
    if (!config.run.empty() && !cancelled) {
        if (Live(windows.dialog)) platform::HideWindow(windows.dialog);
        programEnded = LaunchConfigured(config, folder, payload.m_strModulePath, programFailed);
    }

    // Never delete files under a program that may still be running.
    if (!programEnded || !DeleteFolder(folder, windows.dialog != nullptr)) ReportLeftBehind(folder, windows);

    busy.reset();

    if (cancelled) {
        platform::WindowHandle owner = Live(windows.dialog) ? windows.dialog : nullptr;
        platform::ShowMessageBox(owner, "Extraction Cancelled", "Status", platform::kMbOk | platform::kMbIconExclamation);
    }
    platform::PostQuitMessage(0);
    return 0;
}
