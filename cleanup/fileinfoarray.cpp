#include "cleanup/fileinfoarray.h"

#include "cleanup/compactpath.h"
#include "platform/dirsearch.h"
#include "platform/strings.h"
#include "platform/system.h"
#include "platform/window.h"

namespace {

constexpr int kStatusLength = 47;

bool Aborted(const std::atomic<std::int32_t>* flag) { return flag != nullptr && flag->load() != 0; }

bool Stops(const CFileInfo& existing, const CFileInfo& added, int order) {
    switch (order) {
        case CFileInfoArray::ORDER_SIZE_ASCENDING: return existing.m_nSize >= added.m_nSize;
        case CFileInfoArray::ORDER_SIZE_DESCENDING: return existing.m_nSize <= added.m_nSize;
        case CFileInfoArray::ORDER_PATH_ASCENDING: return existing.m_strPath.compare(added.m_strPath) >= 0;
        case CFileInfoArray::ORDER_PATH_DESCENDING: return existing.m_strPath.compare(added.m_strPath) <= 0;
        default: return false;
    }
}

// A search that found nothing, or whose folder is gone, listed all there is.
bool SearchFailed(std::uint32_t error) {
    return error != platform::kErrorFileNotFound && error != platform::kErrorNoMoreFiles &&
           error != platform::kErrorPathNotFound;
}

bool IsLink(std::uint32_t attributes) {
    return attributes != platform::kInvalidAttributes && (attributes & platform::kAttrReparsePoint) != 0;
}

}  // namespace

std::size_t CFileInfoArray::InsertRecord(const CFileInfo& record, int order) {
    std::size_t index = 0;
    const bool sorted = order >= ORDER_SIZE_ASCENDING && order <= ORDER_PATH_DESCENDING;
    if (sorted) {
        while (index < m_records.size() && !Stops(m_records[index], record, order)) ++index;
    } else {
        index = m_records.size();
    }
    m_records.insert(m_records.begin() + static_cast<std::ptrdiff_t>(index), record);
    return index;
}

std::size_t CFileInfoArray::CollectPath(const std::string& path, int order) {
    CFileInfo record;
    record.FillFromPath(path);
    return InsertRecord(record, order);
}

void CFileInfoArray::PumpMessages() {
    if (m_bNoMessagePump) return;
    platform::PumpWaitingMessages();
}

struct CFileInfoArray::Walk {
    const std::string& mask;
    bool everyName;  // the mask takes every name: one listing gives the folders and the files
    bool recurse;
    int order;
    bool includeFolders;
    const std::atomic<std::int32_t>* abortFlag;
    std::atomic<std::int32_t>* counter;
};

int CFileInfoArray::CollectFolder(const std::string& folder, const std::string& mask, bool recurse, int order,
                                  bool includeFolders, const std::atomic<std::int32_t>* abortFlag,
                                  std::atomic<std::int32_t>* counter) {
    const std::string trimmed = platform::TrimTrailingBackslashes(folder);
    // A folder that is a link is never walked: what it points to is not ours.
    // Below the top, the listing tells which folders are links.
    if (IsLink(platform::GetFileAttributes(trimmed))) {
        ShowFolder(trimmed + "\\*");
        return 0;
    }
    const Walk walk{mask, mask == "*" || mask == "*.*", recurse, order, includeFolders, abortFlag, counter};
    return CollectFrom(trimmed, walk);
}

void CFileInfoArray::ShowFolder(const std::string& pattern) {
    if (m_pFolderStatusWnd != nullptr && platform::IsLiveWindow(m_pFolderStatusWnd))
        platform::SetWindowTextOf(m_pFolderStatusWnd, CompactPathForDisplay(pattern, kStatusLength));
}

int CFileInfoArray::CollectFrom(const std::string& trimmed, const Walk& walk) {
    const std::string base = trimmed + "\\";
    int count = 0;

    auto add = [&](const platform::FindData& entry) {
        CFileInfo record;
        record.FillFromFindData(entry, base);
        InsertRecord(record, walk.order);
        ++count;
        if (walk.counter != nullptr) walk.counter->fetch_add(1);
    };

    platform::DirSearch search;
    platform::FindData entry;
    bool found = search.First(base + "*", entry);
    const bool unlisted = !found && SearchFailed(platform::GetLastError());
    if (unlisted) m_unlisted.push_back(trimmed);
    ShowFolder(base + "*");

    // Folder pass: sub-folders, each followed by its own walk. With a mask
    // that takes every name, the files of the same listing wait for the file pass.
    std::vector<platform::FindData> files;
    for (; found; found = search.Next(entry)) {
        PumpMessages();
        const std::string& name = entry.cFileName;
        if (!(entry.dwFileAttributes & platform::kAttrDirectory)) {
            if (walk.everyName) files.push_back(entry);
        } else if (name != "." && name != "..") {
            if (walk.includeFolders) add(entry);
            if (walk.recurse && !IsLink(entry.dwFileAttributes)) count += CollectFrom(base + name, walk);
        }
        if (Aborted(walk.abortFlag)) break;
    }
    search.Close();
    if (Aborted(walk.abortFlag)) return count;

    // File pass: the entries the mask matches that are not folders.
    auto addFile = [&](const platform::FindData& file) {
        if (m_pFileStatusWnd != nullptr && platform::IsLiveWindow(m_pFileStatusWnd)) {
            platform::SetWindowTextOf(m_pFileStatusWnd, CompactPathForDisplay(base + file.cFileName, kStatusLength));
            PumpMessages();
        }
        add(file);
    };
    if (walk.everyName) {
        for (const platform::FindData& file : files) {
            addFile(file);
            if (Aborted(walk.abortFlag)) break;
        }
        return count;
    }
    found = !unlisted && search.First(base + walk.mask, entry);
    if (!unlisted && !found && SearchFailed(platform::GetLastError())) m_unlisted.push_back(trimmed);
    for (; found; found = search.Next(entry)) {
        if (!(entry.dwFileAttributes & platform::kAttrDirectory)) addFile(entry);
        if (Aborted(walk.abortFlag)) break;
    }
    return count;
}
