// The self-extraction run: configuration, temporary folder, extraction,
// launch and wait, cleanup.
#include <exception>
#include <memory>

#include "cleanup/deletefiles.h"
#include "launcher/app.h"
#include "launcher/arguments.h"
#include "launcher/exit_codes.h"
#include "launcher/launch.h"
#include "payload/config.h"
#include "payload/extractor.h"
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

}  // namespace

int CSFEFileExtractor::ExtractAndRun() {
    bool localCancel = false;
    bool* const cancelFlag = m_pbCancel != nullptr ? m_pbCancel : &localCancel;
    auto cancelled = [cancelFlag] { return *cancelFlag; };

    std::unique_ptr<platform::WaitCursor> busy(new platform::WaitCursor);

    bool segmentFound = false;
    LaunchConfig config;
    ReadLaunchConfig(GetDataSegment(&segmentFound), config);

    if (m_pDlg != nullptr && platform::IsLiveWindow(m_pDlg))
        platform::SetWindowTextOf(m_pDlg, config.title.empty() ? std::string("Loading") : config.title);

    const std::string folder = GetTempFolderName();
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
    bool opened = false;
    try {
        archive.Open(m_strModulePath, CZipArchive::zipOpenReadOnly, 0);
        opened = true;
    } catch (const CZipException& e) {
        platform::AppMessageBox(e.GetDescription());
        SetExitCode(kExitPayloadUnreadable);
    } catch (const platform::FileException& e) {
        platform::AppMessageBox(e.GetErrorMessage().substr(0, 999));
        SetExitCode(e.osError() != 0 ? static_cast<int>(e.osError()) : kExitPayloadUnreadable);
    } catch (const std::exception&) {
        SetExitCode(kExitPayloadUnreadable);
    }
    if (!opened) {
        // A directory that fails part way leaves the file open with the
        // headers read so far: none of them may be extracted or run.
        PassOverErrors([&] { archive.Close(CZipArchive::afterException, false); });
        // Give the claimed folder back and let a dialog close by itself.
        platform::RemoveDirectory(folder);
        busy.reset();
        platform::PostQuitMessage(0);
        return 2;
    }

    if (m_pCallback != nullptr) archive.RegisterCallback(m_pCallback, cbExtract);

    std::uint32_t total = 0;
    const int count = archive.GetEntryCount();
    for (int i = 0; i < count && !cancelled(); ++i) {
        CZipFileHeader info;
        if (archive.GetEntryInfo(info, static_cast<std::uint16_t>(i)) && !info.IsFolder()) total += info.m_uUncomprSize;
    }
    if (m_pProgress != nullptr && platform::IsLiveWindow(m_pProgress))
        platform::SendWindowMessage(m_pProgress, platform::kPbmSetRange32, 0, static_cast<std::intptr_t>(total));

    // A program whose entry failed may lie there half written: never start it.
    bool programFailed = false;
    for (int i = 0; i < count && !cancelled(); ++i) {
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

    if (!segmentFound) SetExitCode(kExitPayloadUnreadable);

    if (!config.run.empty() && !cancelled()) {
        if (m_pDlg != nullptr && platform::IsLiveWindow(m_pDlg)) platform::HideWindow(m_pDlg);
        const std::string program = folder + "\\" + config.run;
        if (!programFailed && platform::GetFileAttributes(program) != platform::kInvalidAttributes) {
            std::string arguments = BuildLaunchArguments(platform::CommandLineArgs(), m_strModulePath);
            SetExitCode(static_cast<int>(LaunchProgram(program, arguments, folder, true, 0)));
        } else {
            // The configured program did not arrive whole (its entry failed): not a success.
            SetExitCode(kExitProgramMissing);
        }
    }

    CQXDeleteFiles deleter;
    deleter.m_strSource = folder + "\\*.*";
    deleter.m_bRecurse = true;
    deleter.m_bContinueOnError = true;
    deleter.m_bIncludeHiddenSystem = true;
    deleter.DeleteSource(true);
    platform::RemoveDirectory(folder);

    busy.reset();

    if (cancelled()) {
        platform::WindowHandle owner = (m_pDlg != nullptr && platform::IsLiveWindow(m_pDlg)) ? m_pDlg : nullptr;
        platform::ShowMessageBox(owner, "Extraction Cancelled", "Status", platform::kMbOk | platform::kMbIconExclamation);
    }
    platform::PostQuitMessage(0);
    return 0;
}
