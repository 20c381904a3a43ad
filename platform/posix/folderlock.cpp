// Folder locks on posix: flock() on the lock file. flock() needs the file
// open first, so after locking it checks that the path still names the
// file locked: another process may have deleted and recreated it between.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/folderlock.h"
#include "platform/posix/instrument.h"
#include "platform/posix/posix_internal.h"
#include "platform/system.h"

namespace platform {

namespace {

// True when `native` names the file open as `fd`, not followed through a link.
bool StillNames(const std::string& native, int fd) {
    struct stat atPath, held;
    return ::lstat(native.c_str(), &atPath) == 0 && ::fstat(fd, &held) == 0 && atPath.st_dev == held.st_dev &&
           atPath.st_ino == held.st_ino;
}

}  // namespace

FolderLock::~FolderLock() { Release(); }

void FolderLock::Release() {
    if (m_handle == kNone) return;
    ::close(static_cast<int>(m_handle));  // drops the flock
    m_handle = kNone;
}

bool FolderLock::CreateNew(const std::string& folder) {
    Release();
    const std::string path = LockFileOf(folder);
    const std::string native = ToNativePath(path);
    // O_EXCL fails on anything of that name, a dangling link included.
    const int fd = ::open(native.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (errno == EEXIST)
            SetLastError(kErrorFileExists);
        else
            detail::SetLastErrorForPath(native);
        return false;
    }
    // Between the create and the lock a sweeper may have taken the new file
    // for a dead run's and deleted it: then the name is not ours. A file
    // system without flock still has the file keep the name; a sweep, which
    // cannot lock it either, then leaves the folder alone.
    const bool injected = detail::InstrumentedCallFails(instrument::Call::kLockFolder, path);
    if (injected || (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) || !StillNames(native, fd)) {
        ::close(fd);
        SetLastError(kErrorSharingViolation);
        return false;
    }
    return Hold(fd, path, kExclusive);
}

bool FolderLock::TryTake(const std::string& folder, Mode mode) { return Take(folder, mode, false); }

bool FolderLock::TakeSharedCreating(const std::string& folder) { return Take(folder, kShared, true); }

bool FolderLock::Take(const std::string& folder, Mode mode, bool create) {
    Release();
    const std::string path = LockFileOf(folder);
    const std::string native = ToNativePath(path);
    // Never through a link; O_NONBLOCK so that a FIFO of that name cannot hold us up.
    const int fd = ::open(native.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (create ? O_CREAT : 0), 0600);
    if (fd < 0) {
        if (errno == ELOOP)
            SetLastError(kErrorAccessDenied);  // a link: not a lock file of ours
        else
            detail::SetLastErrorForPath(native);
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        SetLastError(kErrorAccessDenied);
        return false;
    }
    if (detail::InstrumentedCallFails(instrument::Call::kLockFolder, path)) {
        ::close(fd);
        return false;
    }
    if (::flock(fd, (mode == kShared ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK) {
            SetLastError(kErrorSharingViolation);
        } else {
            errno = err;
            detail::SetLastErrorFromErrno();
        }
        return false;
    }
    // Locked, but perhaps a file that another sweeper deleted meanwhile, and
    // a new run made a new lock file of that name.
    if (!StillNames(native, fd)) {
        ::close(fd);
        SetLastError(kErrorSharingViolation);
        return false;
    }
    return Hold(fd, path, mode);
}

bool FolderLock::DeleteAndRelease() {
    if (m_handle == kNone || m_mode != kExclusive) {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    const std::string native = ToNativePath(m_strPath);
    bool deleted = false;
    if (!StillNames(native, static_cast<int>(m_handle))) {
        SetLastError(kErrorFileNotFound);
    } else if (::unlink(native.c_str()) != 0) {
        detail::SetLastErrorFromErrno();
    } else {
        deleted = true;
    }
    Release();
    return deleted;
}

}  // namespace platform
