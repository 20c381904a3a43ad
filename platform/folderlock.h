// Marks a folder as in use for as long as a process holds the mark: a lock
// on the file "<folder>.lock" beside it, which the system lets go of when
// the holder ends, however it ends (killed, crashed, the session ended).
// The folder itself holds nothing of it.
//
// A run holds its folder's lock exclusively. Several runs that share one
// folder hold it shared; whoever wants to delete a folder takes the lock
// exclusively first, so it never deletes one that somebody holds.
//
// On win32 the lock is the open handle itself: exclusive holders share
// nothing, shared holders share reading but never deletion, so no other
// holder can open it meanwhile. On posix it is flock() on a descriptor
// that this object keeps. A lock file is never opened through a link, and
// must be a plain file.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

class FolderLock {
public:
    enum Mode { kExclusive, kShared };

    FolderLock() = default;
    ~FolderLock();  // lets go, leaving the lock file in place
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // The lock file of `folder` (a path without a trailing '\').
    static std::string LockFileOf(const std::string& folder) { return folder + ".lock"; }

    // Creates the lock file of `folder` and holds it exclusively. False,
    // with the last error set, when anything of that name exists
    // (kErrorFileExists), or when another process took the new file before
    // this one could (kErrorSharingViolation): the name is taken either way.
    bool CreateNew(const std::string& folder);

    // Takes the lock of `folder`'s existing lock file without waiting.
    // False, with the last error set, when there is none
    // (kErrorFileNotFound), when it is a link, a folder or anything but a
    // plain file, when it cannot be opened (kErrorAccessDenied), or when
    // somebody holds it in a way that excludes `mode`
    // (kErrorSharingViolation).
    bool TryTake(const std::string& folder, Mode mode);
    // The same for a shared holder of a folder that lives on after its
    // holders (the extraction cache's): a missing lock file is created
    // first. An existing one is only opened, never written.
    bool TakeSharedCreating(const std::string& folder);

    // Deletes the lock file while still holding it, then lets go; needs
    // the lock held exclusively. A lock file that some other process has
    // put in place of the one held is not touched (false).
    bool DeleteAndRelease();

    // Lets go, leaving the lock file in place.
    void Release();

    bool Held() const { return m_handle != kNone; }
    const std::string& LockFilePath() const { return m_strPath; }

private:
    bool Take(const std::string& folder, Mode mode, bool create);
    bool Hold(std::intptr_t handle, const std::string& path, Mode mode) {
        m_handle = handle;
        m_strPath = path;
        m_mode = mode;
        return true;
    }

    static constexpr std::intptr_t kNone = -1;
    std::intptr_t m_handle = kNone;  // HANDLE on win32, fd on posix
    std::string m_strPath;           // the lock file held
    Mode m_mode = kExclusive;
};

}  // namespace platform
