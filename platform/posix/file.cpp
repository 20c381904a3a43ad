// The file class on POSIX descriptors. Sharing modes are not enforced here.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file.h"
#include "platform/posix/instrument.h"
#include "platform/posix/posix_internal.h"
#include "platform/system.h"

namespace platform {

File::~File() { Abort(); }

bool File::TryOpen(const std::string& path, unsigned flags, FileException* error) {
    Abort();
    if (detail::InstrumentedCallFails(instrument::Call::kOpenFile, path)) {
        if (error) *error = FileException::FromOsError(GetLastError(), path);
        return false;
    }
    int oflags = (flags & kModeInheritable) ? 0 : O_CLOEXEC;
    switch (flags & 0x3) {
        case kModeWrite: oflags |= O_WRONLY; break;
        case kModeReadWrite: oflags |= O_RDWR; break;
        default: oflags |= O_RDONLY; break;
    }
    if (flags & kModeCreate) {
        oflags |= O_CREAT;
        if (!(flags & kModeNoTruncate)) oflags |= O_TRUNC;
        if (flags & kModeCreateNew) oflags |= O_EXCL;  // a link of that name counts as existing too
    }
    const std::string native = ToNativePath(path);
    int fd = ::open(native.c_str(), oflags, 0666);
    std::uint32_t code = 0;
    if (fd < 0 && errno == EEXIST) {
        code = kErrorFileExists;  // what Windows says when a new file's name is taken
        SetLastError(code);
    } else if (fd < 0) {
        code = detail::SetLastErrorForPath(native);
    } else {
        struct stat st;
        if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
            // Windows refuses to open a folder as a file.
            ::close(fd);
            fd = -1;
            code = kErrorAccessDenied;
            SetLastError(code);
        }
    }
    if (fd < 0) {
        if (error) *error = FileException::FromOsError(code, path);
        return false;
    }
    m_handle = fd;
    m_strPath = path;
    return true;
}

void File::Open(const std::string& path, unsigned flags) {
    FileException error(FileException::kNone, 0, path);
    if (!TryOpen(path, flags, &error)) throw error;
}

void File::Close() {
    if (!IsOpen()) return;
    int fd = static_cast<int>(m_handle);
    m_handle = kInvalid;
    if (::close(fd) != 0) ThrowLastError();
}

void File::Abort() noexcept {
    if (!IsOpen()) return;
    ::close(static_cast<int>(m_handle));
    m_handle = kInvalid;
}

void File::ThrowLastError() const {
    std::uint32_t code = detail::SetLastErrorFromErrno();
    throw FileException::FromOsError(code, m_strPath);
}

std::uint32_t File::Read(void* buffer, std::uint32_t count) {
    if (!IsOpen()) throw FileException(FileException::kInvalidFile, kErrorInvalidHandle, m_strPath);
    std::uint32_t total = 0;
    char* out = static_cast<char*>(buffer);
    while (total < count) {
        ssize_t got = ::read(static_cast<int>(m_handle), out + total, count - total);
        if (got < 0) {
            if (errno == EINTR) continue;
            ThrowLastError();
        }
        if (got == 0) break;
        total += static_cast<std::uint32_t>(got);
    }
    return total;
}

void File::Write(const void* buffer, std::uint32_t count) {
    if (!IsOpen()) throw FileException(FileException::kInvalidFile, kErrorInvalidHandle, m_strPath);
    const char* in = static_cast<const char*>(buffer);
    std::uint32_t total = 0;
    while (total < count) {
        ssize_t put = ::write(static_cast<int>(m_handle), in + total, count - total);
        if (put < 0) {
            if (errno == EINTR) continue;
            ThrowLastError();
        }
        total += static_cast<std::uint32_t>(put);
    }
}

void File::Flush() {
    if (IsOpen() && ::fsync(static_cast<int>(m_handle)) != 0 && errno != EINVAL) ThrowLastError();
}

std::uint64_t File::Seek(std::int64_t offset, SeekOrigin origin) {
    int whence = origin == kBegin ? SEEK_SET : origin == kCurrent ? SEEK_CUR : SEEK_END;
    off_t pos = ::lseek(static_cast<int>(m_handle), static_cast<off_t>(offset), whence);
    if (pos < 0) {
        if (errno == EINVAL) {
            SetLastError(131);  // ERROR_NEGATIVE_SEEK
            throw FileException(FileException::kBadSeek, 131, m_strPath);
        }
        ThrowLastError();
    }
    return static_cast<std::uint64_t>(pos);
}

std::uint64_t File::GetPosition() const {
    off_t pos = ::lseek(static_cast<int>(m_handle), 0, SEEK_CUR);
    if (pos < 0) ThrowLastError();
    return static_cast<std::uint64_t>(pos);
}

std::uint64_t File::GetLength() const {
    struct stat st;
    if (::fstat(static_cast<int>(m_handle), &st) != 0) ThrowLastError();
    return static_cast<std::uint64_t>(st.st_size);
}

bool File::SetTimesAndAttributes(std::uint64_t lastAccess, std::uint64_t lastWrite, std::uint32_t attributes,
                                 std::uint32_t unixMode) {
    const int fd = static_cast<int>(m_handle);
    if (!IsOpen()) {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    const timespec times[2] = {detail::ToTimespec(lastAccess), detail::ToTimespec(lastWrite)};
    if (::futimens(fd, times) != 0) {
        detail::SetLastErrorFromErrno();
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        detail::SetLastErrorFromErrno();
        return false;
    }
    mode_t mode = st.st_mode & 07777;
    if (unixMode != 0) {
        mode = static_cast<mode_t>(unixMode & 07777);
    } else if (attributes != kKeepAttributes) {
        if (attributes & kAttrReadOnly)
            mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
        else
            mode |= S_IWUSR;
    }
    if (mode != (st.st_mode & 07777) && ::fchmod(fd, mode) != 0) {
        detail::SetLastErrorFromErrno();
        return false;
    }
    return true;
}

void File::SetLength(std::uint64_t length) {
    if (::ftruncate(static_cast<int>(m_handle), static_cast<off_t>(length)) != 0) ThrowLastError();
}

}  // namespace platform
