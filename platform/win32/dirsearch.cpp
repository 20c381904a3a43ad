// The Windows directory search (wide calls; names in UTF-8).
#include "platform/win32/windows_api.h"

#include "platform/dirsearch.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

std::uint64_t FromFileTime(const FILETIME& ft) {
    return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

void Copy(const WIN32_FIND_DATAW& data, FindData& entry) {
    entry.dwFileAttributes = data.dwFileAttributes;
    entry.ftCreationTime = FromFileTime(data.ftCreationTime);
    entry.ftLastAccessTime = FromFileTime(data.ftLastAccessTime);
    entry.ftLastWriteTime = FromFileTime(data.ftLastWriteTime);
    entry.nFileSizeHigh = data.nFileSizeHigh;
    entry.nFileSizeLow = data.nFileSizeLow;
    entry.cFileName = detail::Narrow(data.cFileName);
}

}  // namespace

DirSearch::~DirSearch() { Close(); }

bool DirSearch::IsOpen() const { return m_state != nullptr; }

void DirSearch::Close() {
    if (m_state != nullptr) ::FindClose(static_cast<HANDLE>(m_state));
    m_state = nullptr;
}

bool DirSearch::First(const std::string& pattern, FindData& entry) {
    Close();
    const detail::WidePath wide(pattern);
    if (!wide.ok()) return false;
    WIN32_FIND_DATAW data;
    HANDLE h = ::FindFirstFileW(wide.get(), &data);
    if (h == INVALID_HANDLE_VALUE) return false;
    m_state = h;
    Copy(data, entry);
    return true;
}

bool DirSearch::Next(FindData& entry) {
    if (m_state == nullptr) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    WIN32_FIND_DATAW data;
    if (!::FindNextFileW(static_cast<HANDLE>(m_state), &data)) return false;
    Copy(data, entry);
    return true;
}

}  // namespace platform
