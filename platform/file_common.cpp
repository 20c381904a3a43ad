// Backend-independent parts of the file exception.
#include "platform/file.h"

#include "platform/strings.h"
#include "platform/system.h"

namespace platform {

FileException FileException::FromOsError(std::uint32_t osError, const std::string& fileName) {
    Cause cause;
    switch (osError) {
        case 0: cause = kNone; break;
        case kErrorFileNotFound: cause = kFileNotFound; break;
        case kErrorPathNotFound:
        case kErrorInvalidName:
        case kErrorFilenameExcedRange: cause = kBadPath; break;
        case kErrorTooManyOpenFiles: cause = kTooManyOpenFiles; break;
        case kErrorAccessDenied:
        case kErrorWriteProtect:
        case kErrorFileExists:
        case kErrorAlreadyExists: cause = kAccessDenied; break;
        case kErrorInvalidHandle: cause = kInvalidFile; break;
        case 16: cause = kRemoveCurrentDir; break;  // ERROR_CURRENT_DIRECTORY
        case 25: cause = kBadSeek; break;           // ERROR_SEEK
        case kErrorSharingViolation: cause = kSharingViolation; break;
        case kErrorLockViolation: cause = kLockViolation; break;
        case kErrorHandleEof: cause = kEndOfFile; break;
        case kErrorDiskFull:
        case 39: cause = kDiskFull; break;  // ERROR_HANDLE_DISK_FULL
        case 23:                            // ERROR_CRC
        case 29:                            // ERROR_WRITE_FAULT
        case 30:                            // ERROR_READ_FAULT
        case 1117: cause = kHardIO; break;  // ERROR_IO_DEVICE
        default: cause = kGeneric; break;
    }
    return FileException(cause, osError, fileName);
}

std::string FileException::GetErrorMessage() const {
    static const char* const kTexts[] = {
        "No error occurred.",
        "An unknown error occurred while accessing %s.",
        "%s was not found.",
        "%s contains an incorrect path.",
        "%s could not be opened because there are too many open files.",
        "Access to %s was denied.",
        "An incorrect file handle was associated with %s.",
        "%s could not be removed because it is the current directory.",
        "%s could not be created because the directory is full.",
        "Seek failed on %s",
        "A hardware I/O error was reported while accessing %s.",
        "A sharing violation occurred while accessing %s.",
        "A locking violation occurred while accessing %s.",
        "Disk full while accessing %s.",
        "An attempt was made to access %s past its end.",
    };
    int index = static_cast<int>(m_cause);
    if (index < 0 || index >= static_cast<int>(sizeof kTexts / sizeof kTexts[0])) index = kGeneric;
    const std::string name = m_strFileName.empty() ? std::string("an unnamed file") : m_strFileName;
    return Format(kTexts[index], name.c_str());
}

}  // namespace platform
