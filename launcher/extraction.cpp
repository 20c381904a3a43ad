#include "launcher/extraction.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <vector>

#include "cleanup/deletefiles.h"
#include "launcher/consoleprogress.h"
#include "launcher/dialog.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "zip/archive.h"
#include "zip/fileheader.h"

namespace {

// Below this much output, starting workers costs more than it saves.
constexpr std::uint64_t kParallelMinimumBytes = 1u << 20;
// Entries at least this big (stored) go to the workers first.
constexpr std::uint32_t kBigEntryBytes = 1u << 20;
// How often the window thread looks at the workers: cancel takes effect
// within this, plus one buffer.
constexpr unsigned kWatchIntervalMs = 50;

// One entry, extracted the way the run extracts every entry (a failure is
// passed over: the outcome says what it means for the entries after it).
ZipEntryOutcome ExtractOne(CZipArchive& archive, std::uint32_t index, const LaunchConfig& config,
                           const std::string& folder) {
    if (config.usePassword != 0) archive.SetArchivePassword(config.password.c_str());
    return archive.ExtractEntryOutcome(index, folder);
}

// An entry left open by a data error makes Close throw; the launch and the
// cleanup must still follow.
void CloseArchive(CZipArchive& archive) {
    zip::PassOverErrors([&] { archive.Close(CZipArchive::afterNormal, false); });
    if (!archive.IsClosed()) zip::PassOverErrors([&] { archive.Close(CZipArchive::afterException, false); });
}

void SetBarRange(const RunWindows& windows, std::uint64_t total) {
    if (windows.callback != nullptr) windows.callback->SetTotal(total);
    if (windows.console != nullptr) windows.console->SetRange(total);
}

void SetBarPosition(const RunWindows& windows, std::uint64_t position) {
    if (windows.callback != nullptr) windows.callback->ShowPosition(position);
    if (windows.console != nullptr) windows.console->SetPosition(position);
}

// The dialog's callback or the console's line hears of every piece written.
void RegisterProgress(CZipArchive& archive, const RunWindows& windows) {
    if (windows.callback != nullptr) archive.RegisterCallback(windows.callback, cbExtract);
    if (windows.console != nullptr) archive.RegisterCallback(windows.console, cbExtract);
}

// The console's line goes when the extraction ends, however it ends.
class CConsoleLineEnd {
public:
    explicit CConsoleLineEnd(CConsoleProgress* console) : m_pConsole(console) {}
    ~CConsoleLineEnd() {
        if (m_pConsole != nullptr) m_pConsole->Clear();
    }
    CConsoleLineEnd(const CConsoleLineEnd&) = delete;
    CConsoleLineEnd& operator=(const CConsoleLineEnd&) = delete;

private:
    CConsoleProgress* m_pConsole;
};

// Every entry in order, on this thread, with the dialog's callback (the bar
// ranged over `total` bytes): the archive's own rules decide which entries
// still come out after a failure.
ExtractionOutcome ExtractOneByOne(CZipArchive& archive, const LaunchConfig& config, const std::string& folder,
                                  const RunWindows& windows, std::uint64_t total, const bool& cancelled) {
    RegisterProgress(archive, windows);
    SetBarRange(windows, total);

    ExtractionOutcome outcome;
    const int count = archive.GetEntryCount();
    int i = 0;
    for (; i < count && !cancelled; ++i) {
        const std::uint32_t index = static_cast<std::uint32_t>(i);
        CZipFileHeader info;
        archive.GetEntryInfo(info, index);
        if (ExtractOne(archive, index, config, folder) == ZipEntryOutcome::kExtracted) continue;
        outcome.complete = false;
        if (IsRunProgram(info.GetName(), config.run)) outcome.programFailed = true;
    }
    if (i < count) outcome.complete = false;
    CloseArchive(archive);
    return outcome;
}

// What the workers share; they write it through atomics only.
struct Work {
    std::string archivePath;
    std::string folder;
    const LaunchConfig* config = nullptr;
    std::vector<std::uint32_t> jobs;  // file entries, the big ones first
    zip::CKnownFolders folders;       // made by the folder entries: no worker looks at them again
    std::atomic<bool> programFailed{false};
    std::atomic<bool> anyFailed{false};
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
    if (!archive.TryOpen(work.archivePath)) {
        work.orderMatters.store(true);
        work.stop.store(true);
        return;
    }
    archive.AddKnownFolders(work.folders);
    CWorkerProgress progress(work);
    archive.RegisterCallback(&progress, cbExtract);
    while (!work.stop.load()) {
        const std::size_t job = work.next.fetch_add(1);
        if (job >= work.jobs.size()) break;
        const std::uint32_t index = work.jobs[job];
        const ZipEntryOutcome outcome = ExtractOne(archive, index, *work.config, work.folder);
        if (outcome == ZipEntryOutcome::kBlocksLater || outcome == ZipEntryOutcome::kNameTaken) {
            work.orderMatters.store(true);
            work.stop.store(true);
        }
        if (outcome == ZipEntryOutcome::kExtracted) continue;
        work.anyFailed.store(true);
        CZipFileHeader info;
        if (archive.GetEntryInfo(info, index) && IsRunProgram(info.GetName(), work.config->run))
            work.programFailed.store(true);
    }
    CloseArchive(archive);
}

// Empties `folder` for a second attempt; false when something stayed.
bool EmptyFolder(const std::string& folder) {
    CQXDeleteFiles deleter;
    deleter.TargetFolderContents(folder);
    return deleter.DeleteSource(false) == CQXDeleteFiles::kDeleted;
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
    const CConsoleLineEnd lineEnd(windows.console);

    // The plan: folder entries here and now, file entries to the workers,
    // the big ones first so that no worker is left with one at the end.
    auto work = std::make_unique<Work>();
    std::vector<std::uint32_t> folders, small;
    std::uint64_t bytes = 0;
    const int count = archive.GetEntryCount();
    for (int i = 0; i < count; ++i) {
        CZipFileHeader info;
        const std::uint32_t index = static_cast<std::uint32_t>(i);
        if (!archive.GetEntryInfo(info, index)) continue;
        if (info.IsFolder())
            folders.push_back(index);
        else
            (info.m_uComprSize >= kBigEntryBytes ? work->jobs : small).push_back(index);
        if (!info.IsFolder()) bytes += info.m_uUncomprSize;
    }
    work->jobs.insert(work->jobs.end(), small.begin(), small.end());
    if (threads == 0) {
        const unsigned processors = platform::ProcessorCount();
        threads = bytes < kParallelMinimumBytes ? 1 : std::min(processors, kMaxExtractionThreads);
    }
    if (threads > work->jobs.size()) threads = static_cast<unsigned>(work->jobs.size());
    if (threads <= 1) return ExtractOneByOne(archive, config, folder, windows, bytes, cancelled);

    work->archivePath = archivePath;
    work->folder = folder;
    work->config = &config;

    RegisterProgress(archive, windows);
    SetBarRange(windows, bytes);
    for (std::uint32_t index : folders) {
        if (cancelled) break;
        if (ExtractOne(archive, index, config, folder) != ZipEntryOutcome::kExtracted) outcome.complete = false;
    }
    work->folders = archive.KnownFolders();

    platform::Thread workers[kMaxExtractionThreads];
    platform::Thread* started[kMaxExtractionThreads];
    std::size_t running = 0;
    for (unsigned i = 0; i < threads && i < kMaxExtractionThreads && !cancelled; ++i)
        if (workers[i].Start(RunWorker, work.get())) started[running++] = &workers[i];
    // Only this thread touches the windows: it moves the bar and lets the
    // dialog see a cancel while the workers extract.
    const bool pump = windows.dialog != nullptr;
    while (running != 0 && !platform::WaitForThreads(started, running, kWatchIntervalMs, pump)) {
        if (cancelled) work->stop.store(true);
        SetBarPosition(windows, work->bytesDone.load());
    }
    for (std::size_t i = 0; i < running; ++i) started[i]->Join();

    if (!cancelled && (running == 0 || work->orderMatters.load())) {
        // Start over one entry after another, in a clean folder, so that the
        // archive's rules decide exactly as they would have. Never on top of
        // what the workers left: their files would pass for extracted ones.
        outcome.steppedBack = true;
        if (!EmptyFolder(folder)) {
            outcome.notEmptied = true;
            outcome.complete = false;
            CloseArchive(archive);
            return outcome;
        }
        archive.ForgetKnownFolders();
        SetBarPosition(windows, 0);
        ExtractionOutcome second = ExtractOneByOne(archive, config, folder, windows, bytes, cancelled);
        second.steppedBack = true;
        return second;
    }
    SetBarPosition(windows, work->bytesDone.load());
    outcome.programFailed = work->programFailed.load();
    if (cancelled || work->anyFailed.load() || work->next.load() < work->jobs.size()) outcome.complete = false;
    outcome.threads = static_cast<unsigned>(running);
    CloseArchive(archive);
    return outcome;
}
