#include "launcher/extraction.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <vector>

#include "cleanup/deletefiles.h"
#include "launcher/pass_over_errors.h"
#include "platform/strings.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "zip/archive.h"
#include "zip/fileheader.h"

namespace {

constexpr std::uint32_t kTransferBufferSize = 65536;
// Below this much output, starting workers costs more than it saves.
constexpr std::uint64_t kParallelMinimumBytes = 1u << 20;
// How often the window thread looks at the workers: cancel takes effect
// within this, plus one buffer.
constexpr unsigned kWatchIntervalMs = 50;

bool Live(platform::WindowHandle window) { return window != nullptr && platform::IsLiveWindow(window); }

// True when the entry name `name` is the configured program `run`
// (separators and ASCII case do not matter, as on Windows).
bool IsRunProgram(std::string name, std::string run) {
    for (std::string* text : {&name, &run})
        for (char& c : *text)
            if (c == '/') c = '\\';
    return !run.empty() && platform::CompareNoCase(name, run) == 0;
}

// One entry, extracted the way the run extracts every entry; false when it
// failed in any way (the failure itself is passed over).
bool ExtractOne(CZipArchive& archive, std::uint16_t index, const LaunchConfig& config, const std::string& folder) {
    bool extracted = false;
    const bool noError = PassOverErrors([&] {
        if (config.usePassword != 0) archive.SetArchivePassword(config.password.c_str());
        extracted = archive.ExtractEntry(index, folder, true, nullptr, kTransferBufferSize);
    });
    return noError && extracted;
}

// An entry left open by a data error makes Close throw; the launch and the
// cleanup must still follow.
void CloseArchive(CZipArchive& archive) {
    PassOverErrors([&] { archive.Close(CZipArchive::afterNormal, false); });
    if (!archive.IsClosed()) PassOverErrors([&] { archive.Close(CZipArchive::afterException, false); });
}

std::uint32_t TotalSize(CZipArchive& archive, const bool& cancelled) {
    std::uint32_t total = 0;
    const int count = archive.GetEntryCount();
    for (int i = 0; i < count && !cancelled; ++i) {
        CZipFileHeader info;
        if (archive.GetEntryInfo(info, static_cast<std::uint16_t>(i)) && !info.IsFolder()) total += info.m_uUncomprSize;
    }
    return total;
}

void SetBarRange(const RunWindows& windows, std::uint32_t total) {
    if (Live(windows.progress))
        platform::SendWindowMessage(windows.progress, platform::kPbmSetRange32, 0, static_cast<std::intptr_t>(total));
}

void SetBarPosition(const RunWindows& windows, std::uint64_t position) {
    if (Live(windows.progress))
        platform::SendWindowMessage(windows.progress, platform::kPbmSetPos, static_cast<std::uintptr_t>(position), 0);
}

// Every entry in order, on this thread, with the dialog's callback: the
// archive's own rules decide which entries still come out after a failure.
// Returns whether the configured program's own entry failed.
bool ExtractOneByOne(CZipArchive& archive, const LaunchConfig& config, const std::string& folder,
                     const RunWindows& windows, const bool& cancelled) {
    if (windows.callback != nullptr) archive.RegisterCallback(windows.callback, cbExtract);
    SetBarRange(windows, TotalSize(archive, cancelled));

    bool programFailed = false;
    const int count = archive.GetEntryCount();
    for (int i = 0; i < count && !cancelled; ++i) {
        const std::uint16_t index = static_cast<std::uint16_t>(i);
        CZipFileHeader info;
        archive.GetEntryInfo(info, index);
        if (!ExtractOne(archive, index, config, folder) && IsRunProgram(info.GetName(), config.run))
            programFailed = true;
    }
    CloseArchive(archive);
    return programFailed;
}

// What the workers share. They write it through atomics only, and each
// slot of `failed` is written by the one worker that took its job.
struct Work {
    std::string archivePath;
    std::string folder;
    const LaunchConfig* config = nullptr;
    std::vector<std::uint16_t> jobs;  // file entries, largest first
    std::unique_ptr<std::atomic<bool>[]> failed;
    std::atomic<std::size_t> next{0};
    std::atomic<std::uint64_t> bytesDone{0};
    std::atomic<bool> stop{false};
    // Something happened that only the one-by-one order can decide: an entry
    // left open by a data error (later files would not come out), or a name
    // that was taken (two entries of one name: the later one wins).
    std::atomic<bool> orderMatters{false};
};

// A worker's progress: bytes for the window thread's bar, and the stop flag.
class CWorkerProgress : public CZipActionCallback {
public:
    explicit CWorkerProgress(Work& work) : m_work(work) {}
    bool OnProgress(std::int32_t amount) override {
        m_work.bytesDone.fetch_add(static_cast<std::uint32_t>(amount));
        return !m_work.stop.load();
    }

private:
    Work& m_work;
};

void RunWorker(void* context) {
    Work& work = *static_cast<Work*>(context);
    CZipArchive archive;  // its own handle on the file, its own inflater and cipher
    // A name already taken in the fresh folder can only be a second entry of that name.
    archive.m_bReplaceExisting = false;
    if (!PassOverErrors([&] { archive.Open(work.archivePath, CZipArchive::zipOpenReadOnly, 0); })) {
        work.orderMatters.store(true);
        work.stop.store(true);
        CloseArchive(archive);
        return;
    }
    CWorkerProgress progress(work);
    archive.RegisterCallback(&progress, cbExtract);
    while (!work.stop.load()) {
        const std::size_t job = work.next.fetch_add(1);
        if (job >= work.jobs.size()) break;
        if (!ExtractOne(archive, work.jobs[job], *work.config, work.folder)) work.failed[job].store(true);
        if (archive.HasOpenEntry()) {
            work.orderMatters.store(true);
            work.stop.store(true);
        }
    }
    CloseArchive(archive);
}

// Empties `folder` for a second attempt.
void EmptyFolder(const std::string& folder) {
    CQXDeleteFiles deleter;
    deleter.m_strSource = folder + "\\*.*";
    deleter.m_bRecurse = true;
    deleter.m_bContinueOnError = true;
    deleter.m_bIncludeHiddenSystem = true;
    deleter.DeleteSource(false);
}

}  // namespace

unsigned ExtractionThreads() {
    const char* asked = std::getenv("SFX_LAUNCHER_THREADS");
    if (asked != nullptr && *asked != '\0') {
        const int n = std::atoi(asked);
        if (n >= 1) return static_cast<unsigned>(n);
    }
    return 0;
}

ExtractionOutcome ExtractArchive(CZipArchive& archive, const std::string& archivePath, const LaunchConfig& config,
                                 const std::string& folder, const RunWindows& windows, unsigned threads) {
    bool localCancel = false;
    const bool& cancelled = windows.cancel != nullptr ? *windows.cancel : localCancel;
    ExtractionOutcome outcome;

    // The plan: folder entries here and now, file entries to the workers.
    auto work = std::make_unique<Work>();
    std::vector<std::uint16_t> folders;
    std::vector<std::uint32_t> sizes;
    std::uint64_t bytes = 0;
    const int count = archive.GetEntryCount();
    for (int i = 0; i < count; ++i) {
        CZipFileHeader info;
        if (!archive.GetEntryInfo(info, static_cast<std::uint16_t>(i))) continue;
        if (info.IsFolder()) {
            folders.push_back(static_cast<std::uint16_t>(i));
        } else {
            work->jobs.push_back(static_cast<std::uint16_t>(i));
            sizes.push_back(info.m_uComprSize);
            bytes += info.m_uUncomprSize;
        }
    }
    if (threads == 0) {
        const unsigned processors = platform::ProcessorCount();
        threads = bytes < kParallelMinimumBytes ? 1 : std::min(processors, kMaxExtractionThreads);
    }
    if (threads > work->jobs.size()) threads = static_cast<unsigned>(work->jobs.size());
    if (threads <= 1) {
        outcome.programFailed = ExtractOneByOne(archive, config, folder, windows, cancelled);
        return outcome;
    }

    // Largest first, so that no worker is left with a big entry at the end.
    std::vector<std::size_t> order(work->jobs.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return sizes[a] > sizes[b]; });
    std::vector<std::uint16_t> jobs(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) jobs[i] = work->jobs[order[i]];
    work->jobs.swap(jobs);
    work->failed.reset(new std::atomic<bool>[work->jobs.size()]());
    work->archivePath = archivePath;
    work->folder = folder;
    work->config = &config;

    if (windows.callback != nullptr) archive.RegisterCallback(windows.callback, cbExtract);
    SetBarRange(windows, TotalSize(archive, cancelled));
    for (std::uint16_t index : folders) {
        if (cancelled) break;
        ExtractOne(archive, index, config, folder);
    }

    std::vector<std::unique_ptr<platform::Thread>> workers;
    std::vector<platform::Thread*> started;
    for (unsigned i = 0; i < threads && !cancelled; ++i) {
        workers.push_back(std::make_unique<platform::Thread>());
        if (workers.back()->Start(RunWorker, work.get())) started.push_back(workers.back().get());
    }
    // Only this thread touches the windows: it moves the bar and lets the
    // dialog see a cancel while the workers extract.
    const bool pump = windows.dialog != nullptr;
    while (!started.empty() && !platform::WaitForThreads(started.data(), started.size(), kWatchIntervalMs, pump)) {
        if (cancelled) work->stop.store(true);
        SetBarPosition(windows, work->bytesDone.load());
    }
    workers.clear();  // joined

    if (!cancelled && (started.empty() || work->orderMatters.load())) {
        // Start over one entry after another, in a clean folder, so that the
        // archive's rules decide exactly as they would have.
        EmptyFolder(folder);
        archive.ForgetKnownFolders();
        SetBarPosition(windows, 0);
        outcome.programFailed = ExtractOneByOne(archive, config, folder, windows, cancelled);
        return outcome;
    }
    SetBarPosition(windows, work->bytesDone.load());
    for (std::size_t job = 0; job < work->jobs.size(); ++job) {
        CZipFileHeader info;
        if (work->failed[job].load() && archive.GetEntryInfo(info, work->jobs[job]) &&
            IsRunProgram(info.GetName(), config.run))
            outcome.programFailed = true;
    }
    outcome.threads = static_cast<unsigned>(started.size());
    CloseArchive(archive);
    return outcome;
}
