#include "cleanup/sweep.h"

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

}  // namespace

unsigned SweepDeadFolders(const std::string& base, SweepNameFilter isOurs) {
    unsigned removed = 0;
    platform::DirSearch search;
    platform::FindData entry;
    // A folder removed during the search does not disturb it.
    for (bool found = search.First(base + "\\*" + kLockSuffix, entry); found; found = search.Next(entry))
        if (SweepOne(base, entry.cFileName, isOurs)) ++removed;
    return removed;
}
