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
std::string SourceFolder(const std::string& source) {
    const std::size_t cut = platform::FindLastBackslash(source);
    return cut == std::string::npos ? std::string() : source.substr(0, cut);
}

}  // namespace

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
    CBusyRetry& retry = m_pRetry != nullptr ? *m_pRetry : ownRetry;
    std::vector<std::string> failed;
    std::vector<std::string> kept;  // hidden and system files left alone on purpose
    auto fail = [&](const std::string& path) {
        OnStatusMessage("Delete failed");
        ok = false;
        if (!m_bContinueOnError) go = false;
        failed.push_back(path);
    };
    // True when something inside `folder` has already been named, or was left on purpose.
    auto holdsFailureOrKept = [&](const std::string& folder) {
        auto inside = [&](const std::string& path) {
            return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
                   path[folder.size()] == '\\';
        };
        return std::any_of(failed.begin(), failed.end(), inside) || std::any_of(kept.begin(), kept.end(), inside);
    };

    // A folder whose listing failed may hold anything: it cannot count as deleted.
    for (const std::string& folder : m_files.UnlistedFolders()) fail(folder);

    // File pass.
    for (std::size_t i = 0; go && i < m_files.GetSize(); ++i) {
        const CFileInfo& record = m_files[i];
        if (record.m_dwAttributes & platform::kAttrDirectory) continue;
        const std::string path = record.m_strPath;
        OnStatusMessage(path);
        if (Live(m_pStatusWnd)) platform::SetWindowTextOf(m_pStatusWnd, CompactPathForDisplay(path, m_nStatusPathLength));
        ++m_nDone;
        UpdateProgress();
        PumpMessages();
        if (IsAbortRequested()) ok = go = false;

        const std::uint32_t attributes = platform::GetFileAttributes(path);
        if (!go) break;
        if (attributes == platform::kInvalidAttributes) {
            // Gone already (its program removed it): nothing is left to delete.
            if (IsGone(platform::GetLastError())) {
                OnStatusMessage("Delete successful");
                continue;
            }
            fail(path);
            continue;
        }
        if ((attributes & (platform::kAttrHidden | platform::kAttrSystem)) && !m_bIncludeHiddenSystem) {
            // Left alone on purpose: not a failure, and the other files still go.
            --m_nTotal;
            kept.push_back(path);
            continue;
        }
        // A link's attributes may be its target's: leave them alone, the link goes anyway.
        const bool link = (attributes & platform::kAttrReparsePoint) != 0;
        if (!link && (attributes & platform::kAttrReadOnly) &&
            !retry.Run([&] { return platform::SetFileAttributes(path, platform::kAttrNormal); })) {
            if (!IsGone(platform::GetLastError())) {
                fail(path);
                continue;
            }
        }
        if (retry.Run([&] { return platform::DeleteFile(path) || IsGone(platform::GetLastError()); })) {
            OnStatusMessage("Delete successful");
            if (m_bRemoveEmptyFolders) RemoveEmptyParentFolder(path);
        } else {
            fail(path);
        }
    }

    // Folder pass: parents come before their contents, so a parent that
    // still holds folders is removed later by its last sub-folder's chain.
    std::vector<std::string> removed;
    for (std::size_t i = 0; go && i < m_files.GetSize(); ++i) {
        if (m_files[i].m_dwAttributes & platform::kAttrDirectory) RemoveFolderChain(m_files[i].m_strPath, removed);
    }
    std::sort(removed.begin(), removed.end());
    // A folder that stayed is named, unless it stayed for what is already
    // named inside it, or is itself named as a folder that could not be listed.
    const std::vector<std::string>& unlisted = m_files.UnlistedFolders();
    std::vector<std::string> stayed;
    for (std::size_t i = 0; go && i < m_files.GetSize(); ++i) {
        const CFileInfo& record = m_files[i];
        if ((record.m_dwAttributes & platform::kAttrDirectory) &&
            !std::binary_search(removed.begin(), removed.end(), record.m_strPath) &&
            std::find(unlisted.begin(), unlisted.end(), record.m_strPath) == unlisted.end())
            stayed.push_back(record.m_strPath);
    }
    kept.insert(kept.end(), stayed.begin(), stayed.end());  // a folder inside explains its parent
    for (const std::string& folder : stayed)
        if (!holdsFailureOrKept(folder)) fail(folder);

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

void CQXDeleteFiles::RemoveEmptyParentFolder(const std::string& filePath) {
    const std::string root = platform::TrimTrailingBackslashes(SourceFolder(m_strSource));
    const std::size_t cut = platform::FindLastBackslash(filePath);
    if (cut == std::string::npos) return;
    const std::string parent = filePath.substr(0, cut);
    if (platform::GetFileAttributes(parent) != platform::kInvalidAttributes &&
        platform::CompareNoCase(parent, root) != 0)
        platform::RemoveDirectory(parent);  // fails harmlessly while it holds anything
}

void CQXDeleteFiles::RemoveFolderChain(const std::string& folderPath, std::vector<std::string>& removed) {
    const std::string root = SourceFolder(m_strSource);
    CBusyRetry ownRetry(CBusyRetry::kDefaultBudgetMs, m_bPumpMessages);
    CBusyRetry& retry = m_pRetry != nullptr ? *m_pRetry : ownRetry;
    auto remove = [&](const std::string& path) {
        if (retry.Run([&] { return platform::RemoveDirectory(path); }) || IsGone(platform::GetLastError()))
            removed.push_back(path);
    };
    remove(folderPath);
    std::string path = folderPath;
    std::size_t cut;
    while ((cut = platform::FindLastBackslash(path)) != std::string::npos) {
        path.erase(cut);
        if (platform::CompareNoCase(path, root) != 0 && path.size() > root.size()) remove(path);
    }
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
