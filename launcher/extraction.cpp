#include "launcher/extraction.h"

#include <cstdlib>

#include "launcher/pass_over_errors.h"
#include "platform/strings.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "zip/archive.h"
#include "zip/fileheader.h"

namespace {

constexpr std::uint32_t kTransferBufferSize = 65536;

bool Live(platform::WindowHandle window) { return window != nullptr && platform::IsLiveWindow(window); }

// True when the entry name `name` is the configured program `run`
// (separators and ASCII case do not matter, as on Windows).
bool IsRunProgram(std::string name, std::string run) {
    for (std::string* text : {&name, &run})
        for (char& c : *text)
            if (c == '/') c = '\\';
    return !run.empty() && platform::CompareNoCase(name, run) == 0;
}


// Extracts every entry into `folder` until cancelled; an entry that fails is
// passed over. Returns whether the configured program's own entry failed (it
// may lie there half written and must not be started).
bool ExtractOneByOne(CZipArchive& archive, const LaunchConfig& config, const std::string& folder,
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

}  // namespace

unsigned ExtractionThreads() {
    const char* asked = std::getenv("SFX_LAUNCHER_THREADS");
    if (asked != nullptr && *asked != '\0') {
        const int n = std::atoi(asked);
        if (n >= 1) return static_cast<unsigned>(n);
    }
    const unsigned processors = platform::ProcessorCount();
    return processors < kMaxExtractionThreads ? processors : kMaxExtractionThreads;
}

ExtractionOutcome ExtractArchive(CZipArchive& archive, const std::string& archivePath, const LaunchConfig& config,
                                 const std::string& folder, const RunWindows& windows, unsigned threads) {
    static_cast<void>(archivePath);
    static_cast<void>(threads);
    bool localCancel = false;
    const bool& cancelled = windows.cancel != nullptr ? *windows.cancel : localCancel;
    ExtractionOutcome outcome;
    outcome.programFailed = ExtractOneByOne(archive, config, folder, windows, cancelled);
    return outcome;
}
