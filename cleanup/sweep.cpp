#include "cleanup/sweep.h"

#include <vector>

#include "cleanup/busyretry.h"
#include "cleanup/deletefiles.h"
#include "platform/dirsearch.h"
#include "platform/folderlock.h"
#include "platform/system.h"

namespace {

const char kLockSuffix[] = ".lock";

// The folders under `base` that have a lock file and a name of ours.
std::vector<std::string> MarkedFolders(const std::string& base, SweepNameFilter isOurs) {
    std::vector<std::string> names;
    platform::DirSearch search;
    platform::FindData entry;
    const std::size_t suffix = sizeof kLockSuffix - 1;
    for (bool found = search.First(base + "\\*" + kLockSuffix, entry); found; found = search.Next(entry)) {
        const std::string& name = entry.cFileName;
        if (name.size() <= suffix || name.compare(name.size() - suffix, suffix, kLockSuffix) != 0) continue;
        const std::string folder = name.substr(0, name.size() - suffix);
        if (isOurs(folder)) names.push_back(folder);
    }
    return names;
}

// Deletes `folder` with everything in it, without waiting for anything busy.
bool DeleteWithoutWaiting(const std::string& folder) {
    CBusyRetry noWait(0);
    CQXDeleteFiles deleter;
    deleter.TargetFolderContents(folder);
    deleter.m_pRetry = &noWait;
    deleter.DeleteSource(false);
    return platform::RemoveDirectory(folder) || platform::GetFileAttributes(folder) == platform::kInvalidAttributes;
}

}  // namespace

unsigned SweepDeadFolders(const std::string& base, SweepNameFilter isOurs) {
    unsigned removed = 0;
    for (const std::string& name : MarkedFolders(base, isOurs)) {
        const std::string folder = base + "\\" + name;
        platform::FolderLock lock;
        // Live, not a plain file, or not ours to read: left alone.
        if (!lock.TryTake(folder, platform::FolderLock::kExclusive)) continue;
        const std::uint32_t attributes = platform::GetFileAttributes(folder);
        if (attributes == platform::kInvalidAttributes) {
            // A run that died before making its folder, or after deleting it.
            const std::uint32_t error = platform::GetLastError();
            if (error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound) lock.DeleteAndRelease();
            continue;
        }
        // A file or a link in the folder's place is somebody else's doing: leave it, and the mark.
        if (!(attributes & platform::kAttrDirectory) || (attributes & platform::kAttrReparsePoint)) continue;
        if (DeleteWithoutWaiting(folder)) {
            lock.DeleteAndRelease();
            ++removed;
        }
    }
    return removed;
}
