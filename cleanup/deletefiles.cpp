#include "cleanup/deletefiles.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "cleanup/compactpath.h"
#include "platform/strings.h"
#include "platform/system.h"
#include "platform/thread.h"
#include "platform/window.h"

namespace {

// True when `text` holds one of `set` as a character of its own (never
// the trail byte of a double-byte character).
bool ContainsAnyOf(const std::string& text, const char* set) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (platform::IsLeadByte(c) && i + 1 < text.size()) {
            ++i;
            continue;
        }
        for (const char* s = set; *s != '\0'; ++s)
            if (text[i] == *s) return true;
    }
    return false;
}

// Errors that mean there is nothing left to delete.
bool IsGone(std::uint32_t error) {
    return error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound;
}

// Deleted, or gone already.
bool DeleteOrGone(const std::string& path) {
    return platform::DeleteFile(path) || IsGone(platform::GetLastError());
}

bool ClearOrGone(const std::string& path) {
    return platform::SetFileAttributes(path, platform::kAttrNormal) || IsGone(platform::GetLastError());
}

bool IsFolder(const CFileInfo& record) {
    // The empty record (a single source that does not exist) names nothing.
    return (record.m_dwAttributes & platform::kAttrDirectory) && !record.m_strPath.empty();
}

}  // namespace

// The records of one walk with what the pass has done to them. The walk
// lists each folder before what it holds, so the folder that holds a
// record is the nearest folder before it whose path is a prefix of its own,
// and reading the records backwards visits children before their parents.
//
// Workers may handle files at the same time: they take the file records in
// the walk's order, one at a time, so the files handled are always the
// first ones; what each folder still holds is counted atomically, and every
// state byte has one writer (the thread that handled the file, or took its
// folder's count to zero).
class CQXDeleteFiles::DeletePass {
public:
    enum Outcome : unsigned char { kUntouched, kDone, kFailed, kKept };  // a folder: kDone removed, kFailed stayed

    DeletePass(const CFileInfoArray& files, bool includeHiddenSystem)
        : m_files(files), m_bIncludeHiddenSystem(includeHiddenSystem), m_parent(files.GetSize(), -1),
          m_left(new std::atomic<std::uint32_t>[files.GetSize()]()), m_state(files.GetSize(), kUntouched) {
        std::vector<std::size_t> open;  // the folders around the record at hand, innermost last
        for (std::size_t i = 0; i < files.GetSize(); ++i) {
            const std::string& path = files[i].m_strPath;
            while (!open.empty() && !Inside(path, files[open.back()].m_strPath)) open.pop_back();
            if (!open.empty()) {
                m_parent[i] = static_cast<std::ptrdiff_t>(open.back());
                ++m_left[open.back()];
            }
            if (IsFolder(files[i])) open.push_back(i);
        }
    }

    // Deletes the file of record `index` with what the walk read of it
    // (hidden and system files are kept when not included); its folders go
    // once they hold nothing more.
    Outcome HandleFile(std::size_t index, CBusyRetry& retry) {
        const std::string& path = m_files[index].m_strPath;
        const std::uint32_t attributes = m_files[index].m_dwAttributes;
        Outcome outcome = kKept;
        if (m_bIncludeHiddenSystem || !(attributes & (platform::kAttrHidden | platform::kAttrSystem)))
            outcome = DeleteFile(path, attributes, retry) ? kDone : kFailed;
        m_state[index] = outcome;
        if (outcome == kDone) Released(m_parent[index], retry);
        return outcome;
    }

    Outcome State(std::size_t index) const { return static_cast<Outcome>(m_state[index]); }

    // Removes, children first, the listed folders that hold nothing listed
    // any more and were not tried yet.
    void RemoveEmptyFolders(CBusyRetry& retry) {
        for (std::size_t i = m_files.GetSize(); i-- > 0;)
            if (IsFolder(m_files[i]) && m_state[i] == kUntouched && m_left[i].load() == 0 && Remove(i, retry))
                Released(m_parent[i], retry);
    }

    // Starts up to `count` workers on `threads`, which stop after a failed
    // file when `stopOnFailure`, and on an abort; their retries share the
    // budget of `retry` but never pump messages. Returns how many started;
    // `started` receives them.
    unsigned StartWorkers(platform::Thread* threads, unsigned count, const CBusyRetry& retry,
                          const std::atomic<std::int32_t>* abortFlag, bool stopOnFailure, platform::Thread** started) {
        m_pWorkerRetry = &retry;
        m_pAbortFlag = abortFlag;
        m_bStopOnFailure = stopOnFailure;
        unsigned running = 0;
        for (unsigned i = 0; i < count; ++i)
            if (threads[i].Start(Work, this)) started[running++] = &threads[i];
        return running;
    }
    // Files the workers have handled, and the last of them (while Handled() is 0, none).
    std::uint32_t Handled() const { return m_handled.load(); }
    const std::string& LastHandled() const { return m_files[m_last.load()].m_strPath; }

private:
    static bool Inside(const std::string& path, const std::string& folder) {
        return path.size() > folder.size() && path[folder.size()] == '\\' && path.compare(0, folder.size(), folder) == 0;
    }

    static bool DeleteFile(const std::string& path, std::uint32_t attributes, CBusyRetry& retry) {
        // A link's attributes may be its target's: leave them alone, the link goes anyway.
        const bool link = (attributes & platform::kAttrReparsePoint) != 0;
        if (!link && (attributes & platform::kAttrReadOnly) && !retry.Run([&] { return ClearOrGone(path); }))
            return false;
        return retry.Run([&] {
            if (DeleteOrGone(path)) return true;
            if (link || platform::GetLastError() != platform::kErrorAccessDenied) return false;
            // Denied: it may have been made read-only after the walk.
            const std::uint32_t now = platform::GetFileAttributes(path);
            if (now == platform::kInvalidAttributes) return IsGone(platform::GetLastError());
            if (now & platform::kAttrReadOnly) return ClearOrGone(path) && DeleteOrGone(path);
            platform::SetLastError(platform::kErrorAccessDenied);
            return false;
        });
    }

    // One listed entry of `folder` is gone; the folder goes when it was the last.
    void Released(std::ptrdiff_t folder, CBusyRetry& retry) {
        while (folder >= 0 && m_left[static_cast<std::size_t>(folder)].fetch_sub(1) == 1 &&
               Remove(static_cast<std::size_t>(folder), retry))
            folder = m_parent[static_cast<std::size_t>(folder)];
    }

    // The one attempt (with its retries) to remove folder record `index`.
    // Nothing listed in it is left, so a folder that still reads as not
    // empty holds files whose delete is pending while someone closes them:
    // retried like any busy file.
    bool Remove(std::size_t index, CBusyRetry& retry) {
        const std::string& path = m_files[index].m_strPath;
        const bool removed = retry.Run(
            [&] { return platform::RemoveDirectory(path) || IsGone(platform::GetLastError()); }, true);
        m_state[index] = removed ? kDone : kFailed;
        return removed;
    }

    static void Work(void* context) {
        DeletePass& pass = *static_cast<DeletePass*>(context);
        CBusyRetry retry = *pass.m_pWorkerRetry;  // the same deadline
        retry.SetPumpMessages(false);             // the windows belong to the thread that waits
        while (!pass.m_stop.load() && !(pass.m_pAbortFlag != nullptr && pass.m_pAbortFlag->load() != 0)) {
            const std::size_t i = pass.m_next.fetch_add(1);
            if (i >= pass.m_files.GetSize()) return;
            if (pass.m_files[i].m_dwAttributes & platform::kAttrDirectory) continue;
            if (pass.HandleFile(i, retry) == kFailed && pass.m_bStopOnFailure) pass.m_stop.store(true);
            pass.m_last.store(i);
            pass.m_handled.fetch_add(1);
        }
    }

    const CFileInfoArray& m_files;
    const bool m_bIncludeHiddenSystem;
    std::vector<std::ptrdiff_t> m_parent;                     // the folder record that holds each record; -1: none
    std::unique_ptr<std::atomic<std::uint32_t>[]> m_left;  // per folder: listed entries still there
    std::vector<unsigned char> m_state;                      // an Outcome per record
    // Shared by the workers.
    const CBusyRetry* m_pWorkerRetry = nullptr;
    const std::atomic<std::int32_t>* m_pAbortFlag = nullptr;
    bool m_bStopOnFailure = false;
    std::atomic<std::size_t> m_next{0};  // the next record to take
    std::atomic<std::size_t> m_last{0};
    std::atomic<std::uint32_t> m_handled{0};
    std::atomic<bool> m_stop{false};
};

void CQXDeleteFiles::OnStatusMessage(std::string) {}

int CQXDeleteFiles::DeleteSource(bool pumpMessages) {
    m_bPumpMessages = pumpMessages;
    m_files.m_bNoMessagePump = !pumpMessages;
    OnStatusMessage("Start deleting files");
    if (m_pProgressWnd != nullptr) {
        platform::SendWindowMessage(m_pProgressWnd, platform::kPbmSetRange, 0, 0x00640000);
        platform::SendWindowMessage(m_pProgressWnd, platform::kPbmSetPos, 0, 0);
    }
    int result;
    if (!ValidateSource()) {
        OnStatusMessage("Invalid source");
        m_strFailedFiles = m_strSource;
        result = kInvalidSource;
    } else {
        CollectTargets();
        if (!DeleteTargets()) {
            OnStatusMessage("Failed to delete one or more files");
            result = kNotAllDeleted;
        } else {
            result = kDeleted;
        }
    }
    OnStatusMessage("End deleting files");
    return result;
}

bool CQXDeleteFiles::ValidateSource() {
    const std::string& source = m_strSource;
    const char* failure = nullptr;
    if (source.empty())
        failure = "Source was empty";
    else if (source.size() < 4)
        failure = "Source was less than 4 characters";
    else if (platform::FindLastBackslash(source) == source.size() - 1)
        failure = "Source ends with a slash";
    else if (source[1] != ':' && source.compare(0, 2, "\\\\") != 0)
        failure = "Source did not have drive specifier";
    else if (ContainsAnyOf(source, "/\"<>|"))
        failure = "Source contains invalid character";
    if (failure == nullptr) return true;
    OnStatusMessage(failure);
    return false;
}

void CQXDeleteFiles::TargetFolderContents(const std::string& folder) {
    m_strSource = folder + "\\*.*";
    m_bRecurse = true;
    m_bContinueOnError = true;
    m_bIncludeHiddenSystem = true;
}

void CQXDeleteFiles::SplitSourcePath(const std::string& source, std::string& folder, std::string& mask) {
    const std::size_t cut = platform::FindLastBackslash(source);
    if (cut == std::string::npos) {
        folder.clear();
        mask.clear();
        return;
    }
    folder = source.substr(0, cut);
    mask = source.substr(cut + 1);
}

void CQXDeleteFiles::CollectTargets() {
    m_files.RemoveAll();
    std::string folder, mask;
    SplitSourcePath(m_strSource, folder, mask);
    if (folder.empty() || mask.empty()) return;
    folder += '\\';
    if (m_strSource.find_first_of("*?") != std::string::npos)
        m_files.CollectFolder(folder, mask, m_bRecurse, CFileInfoArray::ORDER_APPEND, m_bRecurse);
    else
        m_files.CollectPath(m_strSource, CFileInfoArray::ORDER_APPEND);
}

bool CQXDeleteFiles::DeleteTargets() {
    bool ok = true;
    bool go = true;
    m_nTotal = static_cast<std::uint32_t>(m_files.GetSize());
    CBusyRetry ownRetry(CBusyRetry::kDefaultBudgetMs, m_bPumpMessages);
    CBusyRetry& retry = m_pRetry != nullptr ? *m_pRetry : ownRetry;
    DeletePass pass(m_files, m_bIncludeHiddenSystem);
    std::vector<std::string> failed;
    auto fail = [&](const std::string& path) {
        OnStatusMessage("Delete failed");
        ok = false;
        if (!m_bContinueOnError) go = false;
        failed.push_back(path);
    };

    // A folder whose listing failed may hold anything: it cannot count as deleted.
    const std::vector<std::string>& unlisted = m_files.UnlistedFolders();
    for (const std::string& folder : unlisted) fail(folder);

    // With workers the files are gone already (the windows moved meanwhile),
    // and the hook hears of those that failed; without, each file is
    // reported as it goes.
    const bool parallel = go && DeleteWithWorkers(pass, retry);

    // File pass, in the walk's order; a folder goes as soon as nothing it held is left.
    for (std::size_t i = 0; go && i < m_files.GetSize(); ++i) {
        const CFileInfo& record = m_files[i];
        if (record.m_dwAttributes & platform::kAttrDirectory) continue;
        const std::string& path = record.m_strPath;
        DeletePass::Outcome outcome = pass.State(i);
        if (!parallel) {
            OnStatusMessage(path);
            if (platform::IsLiveWindow(m_pStatusWnd))
                platform::SetWindowTextOf(m_pStatusWnd, CompactPathForDisplay(path, m_nStatusPathLength));
            ++m_nDone;
            UpdateProgress();
            PumpMessages();
            if (IsAbortRequested()) {
                ok = go = false;
                break;
            }
            outcome = pass.HandleFile(i, retry);
        } else if (outcome == DeletePass::kUntouched) {
            // The workers stopped before it: after a failure or on an abort.
            ok = go = false;
            break;
        }
        if (outcome == DeletePass::kKept) {
            --m_nTotal;  // left alone on purpose: not a failure, and the other files still go
        } else if (outcome == DeletePass::kDone) {
            if (!parallel) OnStatusMessage("Delete successful");
        } else {
            if (parallel) OnStatusMessage(path);
            fail(path);
        }
    }

    if (go) {
        // Folder pass: what the files did not empty (empty from the start,
        // links to folders), children before their parents.
        pass.RemoveEmptyFolders(retry);
        // A folder that stayed is named, unless it is named already as one
        // that could not be listed. One never tried holds what is named or
        // was left on purpose.
        for (std::size_t i = 0; i < m_files.GetSize(); ++i) {
            const std::string& path = m_files[i].m_strPath;
            if (IsFolder(m_files[i]) && pass.State(i) == DeletePass::kFailed &&
                std::find(unlisted.begin(), unlisted.end(), path) == unlisted.end())
                fail(path);
        }
    }

    for (const std::string& path : failed) {
        if (!m_strFailedFiles.empty()) m_strFailedFiles += ",";
        m_strFailedFiles += path;
    }
    if (ok) {
        if (platform::IsLiveWindow(m_pProgressWnd))
            platform::SendWindowMessage(m_pProgressWnd, platform::kPbmSetPos, 100, 0);
        if (platform::IsLiveWindow(m_pStatusWnd)) platform::SetWindowTextOf(m_pStatusWnd, "Done");
    } else if (platform::IsLiveWindow(m_pStatusWnd)) {
        platform::SetWindowTextOf(m_pStatusWnd, "Error");
    }
    return ok;
}

bool CQXDeleteFiles::DeleteWithWorkers(DeletePass& pass, const CBusyRetry& retry) {
    const unsigned count = m_nThreads < kMaxThreads ? m_nThreads : kMaxThreads;
    if (count < 2) return false;
    platform::Thread threads[kMaxThreads];
    platform::Thread* started[kMaxThreads];
    const unsigned running = pass.StartWorkers(threads, count, retry, m_pAbortFlag, !m_bContinueOnError, started);
    if (running == 0) return false;  // the system gave no thread: the file pass does it all
    bool ended = false;
    while (!ended) {
        ended = platform::WaitForThreads(started, running, 50, m_bPumpMessages);
        m_nDone = pass.Handled();
        UpdateProgress();
        if (m_nDone != 0 && platform::IsLiveWindow(m_pStatusWnd))
            platform::SetWindowTextOf(m_pStatusWnd, CompactPathForDisplay(pass.LastHandled(), m_nStatusPathLength));
    }
    return true;
}

void CQXDeleteFiles::UpdateProgress() {
    if (!platform::IsLiveWindow(m_pProgressWnd) || m_nTotal == 0) return;
    double percent = static_cast<double>(m_nDone) / static_cast<double>(m_nTotal) * 100.0;
    if (percent > 100.0) percent = 100.0;
    platform::SendWindowMessage(m_pProgressWnd, platform::kPbmSetPos, static_cast<std::uintptr_t>(percent), 0);
}

void CQXDeleteFiles::PumpMessages() {
    if (m_bPumpMessages) platform::PumpWaitingMessages();
}

bool CQXDeleteFiles::IsAbortRequested() const { return m_pAbortFlag != nullptr && m_pAbortFlag->load() != 0; }

bool DeleteFolderTree(const std::string& folder, CBusyRetry& retry, unsigned threads, bool pumpMessages) {
    CQXDeleteFiles deleter;
    deleter.TargetFolderContents(folder);
    deleter.m_pRetry = &retry;
    deleter.m_nThreads = threads;
    const bool emptied = deleter.DeleteSource(pumpMessages) == CQXDeleteFiles::kDeleted;
    return retry.Run([&] { return platform::RemoveDirectory(folder); }, emptied) ||
           platform::GetFileAttributes(folder) == platform::kInvalidAttributes;
}
