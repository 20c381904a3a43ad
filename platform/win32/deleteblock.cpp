// An undeletable file on Win32: held open without sharing.
#include "platform/win32/windows_api.h"

#include "platform/deleteblock.h"
#include "platform/win32/wide.h"

namespace platform {

DeleteBlock::DeleteBlock(const std::string& path) : m_strPath(path) {
    const detail::WidePath wide(path);
    if (!wide.ok()) return;
    HANDLE h = ::CreateFileW(wide.get(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    m_handle = reinterpret_cast<std::intptr_t>(h);
    m_bActive = true;
}

DeleteBlock::~DeleteBlock() {
    if (m_bActive) ::CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

}  // namespace platform
