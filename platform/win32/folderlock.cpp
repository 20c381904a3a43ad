// Folder locks on Win32: the open handle is the lock. An exclusive holder
// opens the file sharing nothing (and with the right to delete it), a
// shared holder shares reading only, so an exclusive open fails while any
// holder lives, and the system closes the handle when the holder dies.
#include "platform/win32/windows_api.h"

#include "platform/folderlock.h"
#include "platform/system.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

HANDLE OpenLockFile(const std::string& path, DWORD creation, FolderLock::Mode mode) {
    const DWORD access = mode == FolderLock::kShared ? GENERIC_READ : GENERIC_READ | DELETE;
    const DWORD share = mode == FolderLock::kShared ? FILE_SHARE_READ : 0;
    // The link itself, never its target; not inheritable, so programs started meanwhile never hold it.
    const detail::WidePath wide(path);
    if (!wide.ok()) return INVALID_HANDLE_VALUE;
    return ::CreateFileW(wide.get(), access, share, nullptr, creation,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

}  // namespace

FolderLock::~FolderLock() { Release(); }

void FolderLock::Release() {
    if (m_handle == kNone) return;
    ::CloseHandle(reinterpret_cast<HANDLE>(m_handle));
    m_handle = kNone;
}

bool FolderLock::CreateNew(const std::string& folder) {
    Release();
    const std::string path = LockFileOf(folder);
    HANDLE h = OpenLockFile(path, CREATE_NEW, kExclusive);
    if (h == INVALID_HANDLE_VALUE) {
        if (::GetLastError() == ERROR_ALREADY_EXISTS) ::SetLastError(ERROR_FILE_EXISTS);
        return false;
    }
    return Hold(reinterpret_cast<std::intptr_t>(h), path, kExclusive);
}

bool FolderLock::TryTake(const std::string& folder, Mode mode) { return Take(folder, mode, false); }

bool FolderLock::TakeSharedCreating(const std::string& folder) { return Take(folder, kShared, true); }

bool FolderLock::Take(const std::string& folder, Mode mode, bool create) {
    Release();
    const std::string path = LockFileOf(folder);
    HANDLE h = OpenLockFile(path, create ? OPEN_ALWAYS : OPEN_EXISTING, mode);
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
        ::CloseHandle(h);
        ::SetLastError(ERROR_ACCESS_DENIED);  // a link or a folder: not a lock file of ours
        return false;
    }
    return Hold(reinterpret_cast<std::intptr_t>(h), path, mode);
}

bool FolderLock::DeleteAndRelease() {
    if (m_handle == kNone || m_mode != kExclusive) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    // Deleted through the handle held: the file goes when it closes, and
    // never a file that somebody else put in its place.
    FILE_DISPOSITION_INFO disposition = {TRUE};  // its one member, DeleteFile, which windows.h renames
    const bool deleted = ::SetFileInformationByHandle(reinterpret_cast<HANDLE>(m_handle), FileDispositionInfo,
                                                      &disposition, sizeof disposition) != FALSE;
    const DWORD error = ::GetLastError();
    Release();
    if (!deleted) ::SetLastError(error);
    return deleted;
}

}  // namespace platform
