#include "cleanup/sweep.h"

#include <cstdint>
#include <vector>

#include "cleanup/busyretry.h"
#include "cleanup/deletefiles.h"
#include "platform/dirsearch.h"
#include "platform/folderlock.h"
#include "platform/system.h"

namespace {

const char kLockSuffix[] = ".lock";

// Removes the folder of the lock file `lockName` (under `base`) when the
// folder's run has ended; true when it went.
bool SweepOne(const std::string& base, const std::string& lockName, SweepNameFilter isOurs) {
    const std::size_t suffix = sizeof kLockSuffix - 1;
    if (lockName.size() <= suffix || lockName.compare(lockName.size() - suffix, suffix, kLockSuffix) != 0) return false;
    const std::string name = lockName.substr(0, lockName.size() - suffix);
    if (!isOurs(name)) return false;
    const std::string folder = base + "\\" + name;
    platform::FolderLock lock;
    // Live, not a plain file, or not ours to read: left alone.
    if (!lock.TryTake(folder, platform::FolderLock::kExclusive)) return false;
    const std::uint32_t attributes = platform::GetFileAttributes(folder);
    if (attributes == platform::kInvalidAttributes) {
        // A run that died before making its folder, or after deleting it.
        const std::uint32_t error = platform::GetLastError();
        if (error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound) lock.DeleteAndRelease();
        return false;
    }
    // A file or a link in the folder's place is somebody else's doing: leave it, and the mark.
    if (!(attributes & platform::kAttrDirectory) || (attributes & platform::kAttrReparsePoint)) return false;
    CBusyRetry noWait(0);  // what is busy now waits for a later sweep
    if (!DeleteFolderTree(folder, noWait, 1, false)) return false;
    lock.DeleteAndRelease();
    return true;
}

// Whether `folder` is a folder written at or after `time`.
bool WrittenSince(const std::string& folder, std::uint64_t time) {
    platform::DirSearch search;
    platform::FindData entry;
    return search.First(folder, entry) && (entry.dwFileAttributes & platform::kAttrDirectory) &&
           entry.ftLastWriteTime >= time;
}

// The last write time of the `keep`th newest folder under `base` that
// `isOurs` accepts and that has a lock file; 0 when there are fewer.
std::uint64_t OldestKept(const std::string& base, SweepNameFilter isOurs, unsigned keep) {
    std::vector<std::uint64_t> newest;  // newest first, at most `keep`
    platform::DirSearch search;
    platform::FindData entry;
    for (bool found = search.First(base + "\\*", entry); found; found = search.Next(entry)) {
        const std::uint32_t attributes = entry.dwFileAttributes;
        if (!(attributes & platform::kAttrDirectory) || (attributes & platform::kAttrReparsePoint) ||
            !isOurs(entry.cFileName) ||
            platform::GetFileAttributes(base + "\\" + entry.cFileName + kLockSuffix) == platform::kInvalidAttributes)
            continue;
        std::size_t at = newest.size();
        while (at > 0 && newest[at - 1] < entry.ftLastWriteTime) --at;
        if (at < keep) newest.insert(newest.begin() + static_cast<std::ptrdiff_t>(at), entry.ftLastWriteTime);
        if (newest.size() > keep) newest.pop_back();
    }
    return newest.size() == keep ? newest.back() : 0;
}

}  // namespace

unsigned SweepDeadFolders(const std::string& base, SweepNameFilter isOurs) { return SweepOldFolders(base, isOurs, 0); }

unsigned SweepOldFolders(const std::string& base, SweepNameFilter isOurs, unsigned keep) {
    const std::uint64_t kept = keep == 0 ? UINT64_MAX : OldestKept(base, isOurs, keep);
    unsigned removed = 0;
    platform::DirSearch search;
    platform::FindData entry;
    // A folder removed during the search does not disturb it.
    for (bool found = search.First(base + "\\*" + kLockSuffix, entry); found; found = search.Next(entry)) {
        const std::string& lockName = entry.cFileName;
        const std::string folder = base + "\\" + lockName.substr(0, lockName.size() - (sizeof kLockSuffix - 1));
        if (keep != 0 && WrittenSince(folder, kept)) continue;
        if (SweepOne(base, entry.cFileName, isOurs)) ++removed;
    }
    return removed;
}
