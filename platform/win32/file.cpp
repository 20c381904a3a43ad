// The file class on Win32 handles.
#include "platform/win32/windows_api.h"

#include "platform/file.h"
#include "platform/system.h"
#include "platform/win32/wide.h"

namespace platform {

File::~File() { Abort(); }

bool File::TryOpen(const std::string& path, unsigned flags, FileException* error) {
    Abort();
    DWORD access = 0;
    switch (flags & 0x3) {
        case kModeWrite: access = GENERIC_WRITE; break;
        case kModeReadWrite: access = GENERIC_READ | GENERIC_WRITE; break;
        default: access = GENERIC_READ; break;
    }
    DWORD share = 0;
    switch (flags & 0x70) {
        case kShareDenyWrite: share = FILE_SHARE_READ; break;
        case kShareDenyRead: share = FILE_SHARE_WRITE; break;
        case kShareDenyNone: share = FILE_SHARE_READ | FILE_SHARE_WRITE; break;
        default: share = 0; break;
    }
    DWORD creation = OPEN_EXISTING;
    if (flags & kModeCreate) creation = (flags & kModeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;
    if ((flags & kModeCreate) && (flags & kModeCreateNew)) creation = CREATE_NEW;
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    const detail::WidePath wide(path);
    HANDLE h = wide.ok() ? ::CreateFileW(wide.get(), access, share, (flags & kModeInheritable) ? &inheritable : nullptr,
                                         creation, FILE_ATTRIBUTE_NORMAL, nullptr)
                         : INVALID_HANDLE_VALUE;
    if (h == INVALID_HANDLE_VALUE) {
        if (error) *error = FileException::FromOsError(::GetLastError(), path);
        return false;
    }
    m_handle = reinterpret_cast<std::intptr_t>(h);
    m_strPath = path;
    return true;
}

void File::Open(const std::string& path, unsigned flags) {
    FileException error(FileException::kNone, 0, path);
    if (!TryOpen(path, flags, &error)) throw error;
}

void File::ThrowLastError() const { throw FileException::FromOsError(::GetLastError(), m_strPath); }

void File::Close() {
    if (!IsOpen()) return;
    HANDLE h = reinterpret_cast<HANDLE>(m_handle);
    m_handle = kInvalid;
    if (!::CloseHandle(h)) ThrowLastError();
}

void File::Abort() noexcept {
    if (!IsOpen()) return;
    ::CloseHandle(reinterpret_cast<HANDLE>(m_handle));
    m_handle = kInvalid;
}

std::uint32_t File::Read(void* buffer, std::uint32_t count) {
    if (!IsOpen()) throw FileException(FileException::kInvalidFile, kErrorInvalidHandle, m_strPath);
    if (count == 0) return 0;
    DWORD got = 0;
    if (!::ReadFile(reinterpret_cast<HANDLE>(m_handle), buffer, count, &got, nullptr)) ThrowLastError();
    return got;
}

void File::Write(const void* buffer, std::uint32_t count) {
    if (!IsOpen()) throw FileException(FileException::kInvalidFile, kErrorInvalidHandle, m_strPath);
    if (count == 0) return;
    DWORD put = 0;
    if (!::WriteFile(reinterpret_cast<HANDLE>(m_handle), buffer, count, &put, nullptr)) ThrowLastError();
    if (put != count) throw FileException(FileException::kDiskFull, kErrorDiskFull, m_strPath);
}

void File::Flush() {
    if (IsOpen() && !::FlushFileBuffers(reinterpret_cast<HANDLE>(m_handle))) ThrowLastError();
}

std::uint64_t File::Seek(std::int64_t offset, SeekOrigin origin) {
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    LARGE_INTEGER result;
    DWORD method = origin == kBegin ? FILE_BEGIN : origin == kCurrent ? FILE_CURRENT : FILE_END;
    if (!::SetFilePointerEx(reinterpret_cast<HANDLE>(m_handle), distance, &result, method)) ThrowLastError();
    return static_cast<std::uint64_t>(result.QuadPart);
}

std::uint64_t File::GetPosition() const {
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    LARGE_INTEGER result;
    if (!::SetFilePointerEx(reinterpret_cast<HANDLE>(m_handle), zero, &result, FILE_CURRENT)) ThrowLastError();
    return static_cast<std::uint64_t>(result.QuadPart);
}

std::uint64_t File::GetLength() const {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(reinterpret_cast<HANDLE>(m_handle), &size)) ThrowLastError();
    return static_cast<std::uint64_t>(size.QuadPart);
}

bool File::SetTimesAndAttributes(std::uint64_t lastAccess, std::uint64_t lastWrite, std::uint32_t attributes,
                                 std::uint32_t unixMode) {
    if (!IsOpen()) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    const bool keep = attributes == kKeepAttributes;
    if (unixMode != 0 && !keep) {
        if (unixMode & 0200)
            attributes &= ~static_cast<std::uint32_t>(FILE_ATTRIBUTE_READONLY);
        else
            attributes |= FILE_ATTRIBUTE_READONLY;
    }
    // Only what a file may be given; the rest (folder, link bits, a Unix
    // mode in the high word) is not for setting.
    attributes &= FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                  FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    FILE_BASIC_INFO info;
    ZeroMemory(&info, sizeof info);  // zero: that time stays as it is
    info.LastAccessTime.QuadPart = static_cast<LONGLONG>(lastAccess);
    info.LastWriteTime.QuadPart = static_cast<LONGLONG>(lastWrite);
    // 0 keeps the attributes; a file whose attributes are all clear is NORMAL.
    info.FileAttributes = keep ? 0 : (attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL);
    return ::SetFileInformationByHandle(reinterpret_cast<HANDLE>(m_handle), FileBasicInfo, &info, sizeof info) != FALSE;
}

void File::SetLength(std::uint64_t length) {
    std::uint64_t keep = GetPosition();
    Seek(static_cast<std::int64_t>(length), kBegin);
    if (!::SetEndOfFile(reinterpret_cast<HANDLE>(m_handle))) ThrowLastError();
    Seek(static_cast<std::int64_t>(keep < length ? keep : length), kBegin);
}

}  // namespace platform
