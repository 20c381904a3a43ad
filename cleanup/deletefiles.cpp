#include "cleanup/deletefiles.h"

#include <algorithm>

#include "cleanup/compactpath.h"
#include "platform/strings.h"
#include "platform/system.h"
#include "platform/window.h"

namespace {

bool Live(platform::WindowHandle window) { return window != nullptr && platform::IsLiveWindow(window); }

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

// The source's folder: the text before its last '\' (empty without one).
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
class CQXDeleteFiles::DeletePass {
public:
    DeletePass(const CFileInfoArray& files, CBusyRetry& retry)
        : m_files(files), m_retry(retry), m_parent(files.GetSize(), -1), m_left(files.GetSize(), 0),
          m_state(files.GetSize(), kUntried) {
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

    // Deletes the file of record `index` with what the walk read of it; its
    // folders go once they hold nothing more. False when the file stays.
    bool DeleteFileRecord(std::size_t index) {
        const std::string& path = m_files[index].m_strPath;
        const std::uint32_t attributes = m_files[index].m_dwAttributes;
        // A link's attributes may be its target's: leave them alone, the link goes anyway.
        const bool link = (attributes & platform::kAttrReparsePoint) != 0;
        if (!link && (attributes & platform::kAttrReadOnly) && !m_retry.Run([&] { return ClearOrGone(path); }))
            return false;
        const bool deleted = m_retry.Run([&] {
            if (DeleteOrGone(path)) return true;
            if (link || platform::GetLastError() != platform::kErrorAccessDenied) return false;
            // Denied: it may have been made read-only after the walk.
            const std::uint32_t now = platform::GetFileAttributes(path);
            if (now == platform::kInvalidAttributes) return IsGone(platform::GetLastError());
            if (now & platform::kAttrReadOnly) return ClearOrGone(path) && DeleteOrGone(path);
            platform::SetLastError(platform::kErrorAccessDenied);
            return false;
        });
        if (deleted) Released(m_parent[index]);
        return deleted;
    }

    // Removes, children first, the listed folders that hold nothing listed
    // any more and were not tried yet.
    void RemoveEmptyFolders() {
        for (std::size_t i = m_files.GetSize(); i-- > 0;)
            if (IsFolder(m_files[i]) && m_state[i] == kUntried && m_left[i] == 0 && Remove(i))
                Released(m_parent[i]);
    }

    // True for a folder that was tried and stays.
    bool Stayed(std::size_t index) const { return m_state[index] == kStayed; }

private:
    enum : unsigned char { kUntried, kRemoved, kStayed };

    static bool Inside(const std::string& path, const std::string& folder) {
        return path.size() > folder.size() && path[folder.size()] == '\\' && path.compare(0, folder.size(), folder) == 0;
    }

    // One listed entry of `folder` is gone; the folder goes when it was the last.
    void Released(std::ptrdiff_t folder) {
        while (folder >= 0 && --m_left[static_cast<std::size_t>(folder)] == 0 && Remove(static_cast<std::size_t>(folder)))
            folder = m_parent[static_cast<std::size_t>(folder)];
    }

    // The one attempt (with its retries) to remove folder record `index`.
    bool Remove(std::size_t index) {
        const std::string& path = m_files[index].m_strPath;
        const bool removed =
            m_retry.Run([&] { return platform::RemoveDirectory(path) || IsGone(platform::GetLastError()); });
        m_state[index] = removed ? kRemoved : kStayed;
        return removed;
    }

    const CFileInfoArray& m_files;
    CBusyRetry& m_retry;
    std::vector<std::ptrdiff_t> m_parent;  // record of the folder that holds each record; -1: the source's folder
    std::vector<std::uint32_t> m_left;     // per folder: listed entries still there
    std::vector<unsigned char> m_state;    // per folder
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
    DeletePass pass(m_files, m_pRetry != nullptr ? *m_pRetry : ownRetry);
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

    // File pass, in the walk's order; a folder goes as soon as nothing it held is left.
    for (std::size_t i = 0; go && i < m_files.GetSize(); ++i) {
        const CFileInfo& record = m_files[i];
        if (record.m_dwAttributes & platform::kAttrDirectory) continue;
        const std::string& path = record.m_strPath;
        OnStatusMessage(path);
        if (Live(m_pStatusWnd)) platform::SetWindowTextOf(m_pStatusWnd, CompactPathForDisplay(path, m_nStatusPathLength));
        ++m_nDone;
        UpdateProgress();
        PumpMessages();
        if (IsAbortRequested()) {
            ok = go = false;
            break;
        }
        if ((record.m_dwAttributes & (platform::kAttrHidden | platform::kAttrSystem)) && !m_bIncludeHiddenSystem) {
            // Left alone on purpose: not a failure, and the other files still go
            // (its folder stays, holding it).
            --m_nTotal;
            continue;
        }
        if (pass.DeleteFileRecord(i))
            OnStatusMessage("Delete successful");
        else
            fail(path);
    }

    if (go) {
        // Folder pass: what the files did not empty (empty from the start,
        // links to folders), children before their parents.
        pass.RemoveEmptyFolders();
        // A folder that stayed is named, unless it is named already as one
        // that could not be listed. One never tried holds what is named or
        // was left on purpose.
        for (std::size_t i = 0; i < m_files.GetSize(); ++i) {
            const std::string& path = m_files[i].m_strPath;
            if (pass.Stayed(i) && std::find(unlisted.begin(), unlisted.end(), path) == unlisted.end()) fail(path);
        }
    }

    for (const std::string& path : failed) {
        if (!m_strFailedFiles.empty()) m_strFailedFiles += ",";
        m_strFailedFiles += path;
    }
    if (ok) {
        if (Live(m_pProgressWnd)) platform::SendWindowMessage(m_pProgressWnd, platform::kPbmSetPos, 100, 0);
        if (Live(m_pStatusWnd)) platform::SetWindowTextOf(m_pStatusWnd, "Done");
    } else if (Live(m_pStatusWnd)) {
        platform::SetWindowTextOf(m_pStatusWnd, "Error");
    }
    return ok;
}

void CQXDeleteFiles::UpdateProgress() {
    if (!Live(m_pProgressWnd) || m_nTotal == 0) return;
    double percent = static_cast<double>(m_nDone) / static_cast<double>(m_nTotal) * 100.0;
    if (percent > 100.0) percent = 100.0;
    platform::SendWindowMessage(m_pProgressWnd, platform::kPbmSetPos, static_cast<std::uintptr_t>(percent), 0);
}

void CQXDeleteFiles::PumpMessages() {
    if (m_bPumpMessages) platform::PumpWaitingMessages();
}

bool CQXDeleteFiles::IsAbortRequested() const { return m_pAbortFlag != nullptr && m_pAbortFlag->load() != 0; }
