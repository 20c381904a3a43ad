// Windows error codes and texts for the posix backend.
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <string>

#include "platform/posix/posix_internal.h"
#include "platform/system.h"

namespace platform {

namespace {
thread_local std::uint32_t t_lastError = 0;
}

std::uint32_t GetLastError() { return t_lastError; }
void SetLastError(std::uint32_t code) { t_lastError = code; }

namespace detail {

std::uint32_t WinErrorFromErrno(int err) {
    switch (err) {
        case 0: return kErrorSuccess;
        case ENOENT: return kErrorFileNotFound;
        case ENOTDIR: return kErrorPathNotFound;
        case EACCES:
        case EPERM:
        case EISDIR: return kErrorAccessDenied;
        case EEXIST: return kErrorAlreadyExists;
        case ENOTEMPTY: return kErrorDirNotEmpty;
        case ENAMETOOLONG: return kErrorFilenameExcedRange;
        case EMFILE:
        case ENFILE: return kErrorTooManyOpenFiles;
        case ENOSPC:
        case EDQUOT: return kErrorDiskFull;
        case EROFS: return kErrorWriteProtect;
        case EBADF: return kErrorInvalidHandle;
        case ENOMEM: return kErrorNotEnoughMemory;
        case EINVAL: return kErrorInvalidParameter;
        case ETXTBSY:
        case EBUSY: return kErrorSharingViolation;
        case ENOEXEC: return kErrorBadExeFormat;
        case E2BIG: return kErrorFilenameExcedRange;
        case EIO: return 1117;  // ERROR_IO_DEVICE
        default: return 31;     // ERROR_GEN_FAILURE
    }
}

std::uint32_t SetLastErrorFromErrno() {
    std::uint32_t code = WinErrorFromErrno(errno);
    t_lastError = code;
    return code;
}

std::uint32_t SetLastErrorForPath(const std::string& native) {
    int err = errno;
    std::uint32_t code = WinErrorFromErrno(err);
    if (err == ENOENT) {
        // Windows tells a missing file from a missing folder on the way to it.
        std::string::size_type slash = native.find_last_of('/');
        if (slash != std::string::npos && slash != 0) {
            struct stat st;
            if (::stat(native.substr(0, slash).c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
                code = kErrorPathNotFound;
        }
    }
    t_lastError = code;
    return code;
}

}  // namespace detail

std::uint32_t ErrorFromErrno(int err) { return detail::WinErrorFromErrno(err); }

std::string SystemErrorText(std::uint32_t code) {
    // The texts Windows itself gives for these codes, so messages read the same on both backends.
    switch (code) {
        case 0: return "The operation completed successfully.\r\n";
        case 2: return "The system cannot find the file specified.\r\n";
        case 3: return "The system cannot find the path specified.\r\n";
        case 4: return "The system cannot open the file.\r\n";
        case 5: return "Access is denied.\r\n";
        case 6: return "The handle is invalid.\r\n";
        case 8: return "Not enough memory resources are available to process this command.\r\n";
        case 18: return "There are no more files.\r\n";
        case 19: return "The media is write protected.\r\n";
        case 31: return "A device attached to the system is not functioning.\r\n";
        case 32: return "The process cannot access the file because it is being used by another process.\r\n";
        case 33: return "The process cannot access the file because another process has locked a portion of the file.\r\n";
        case 38: return "Reached the end of the file.\r\n";
        case 80: return "The file exists.\r\n";
        case 87: return "The parameter is incorrect.\r\n";
        case 112: return "There is not enough space on the disk.\r\n";
        case 123: return "The filename, directory name, or volume label syntax is incorrect.\r\n";
        case 145: return "The directory is not empty.\r\n";
        case 183: return "Cannot create a file when that file already exists.\r\n";
        case 193: return "%1 is not a valid Win32 application.\r\n";
        case 206: return "The filename or extension is too long.\r\n";
        case 267: return "The directory name is invalid.\r\n";
        case 1117: return "The request could not be performed because of an I/O device error.\r\n";
        case 1392: return "The file or directory is corrupted and unreadable.\r\n";
        default: return std::string();
    }
}

}  // namespace platform
