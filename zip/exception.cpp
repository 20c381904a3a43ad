#include "zip/exception.h"

#include <zlib.h>

#include <cerrno>
#include <cstring>

#include "platform/strings.h"
#include "platform/system.h"

namespace {

// Codes with a fixed text; null for none.
const char* FixedText(int code) {
    switch (code) {
        case 1: return "Not super-user";
        case 2: return "No such file or directory";
        case 4: return "Interrupted system call";
        case 5: return "I/O error";
        case 6: return "No such device or address";
        case 9: return "Bad file number";
        case 12: return "Not enough space";
        case 13: return "Permission denied";
        case 14: return "Bad address";
        case 17: return "File exists";
        case 18: return "Cross-device link";
        case 19: return "No such device";
        case 20: return "Not a directory";
        case 21: return "Is a directory";
        case 22: return "Invalid argument";
        case 23: return "File table overflow";
        case 24: return "Too many open files";
        case 27: return "File too large";
        case 28: return "No space left on device";
        case 29: return "Illegal seek";
        case 30: return "Read-only file system";
        case 101: return "Damaged or not a zip file";
        case 102: return "Crc mismatched";
        case 103: return "No disk-spanning callback functor set";
        case 104: return "Disk change aborted";
        case 105: return "Action aborted";
        case 106: return "Action aborted safely";
        case 107: return "The device selected for the disk spanning archive is non removable";
        case 108: return "Limit of the maximum volumes reached (999)";
        case 109: return "The filename of the file being added to the archive is too long";
        case 110: return "Incorrect password set for the file being decrypted";
        case 111: return "During testing found the directory with the size greater than 0";
        case 112: return "Internal error";
        case 115: return "Cannot create the file for the specified platform";
        case 116:
            return "The central directory was not found in the archive (or you were trying to open not the "
                   "last disk of a multi-disk archive)";
        case 500: return "Zlib Library error (end of stream)";
        case 503: return "Zlib library error (stream error)";
        case 504: return "Zlib library error (data error)";
        case 505: return "Not enough memory";
        case 506: return "Zlib library error (buffer error)";
        case 507: return "Zlib library error (version error)";
        default: return nullptr;
    }
}

}  // namespace

CZipException::CZipException(int code, const char* fileName)
    : m_strFileName(fileName != nullptr ? fileName : ""), m_nCode(code) {}

std::string CZipException::GetDescription() const { return DescribeCode(m_nCode, false); }

bool CZipException::GetErrorMessage(char* buffer, std::size_t maxLength, unsigned*) const {
    if (buffer == nullptr || maxLength == 0) return false;
    const std::string text = GetDescription();
    if (text.empty()) return false;
    const std::size_t n = text.size() < maxLength - 1 ? text.size() : maxLength - 1;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return true;
}

std::string CZipException::DescribeCode(int code, bool noSystemLookup) {
    if (const char* text = FixedText(code)) return text;
    switch (code) {
        case kNotRemoved: return platform::Format("%s (%s)", "Error while removing a file", SystemErrorText().c_str());
        case kNotRenamed: return platform::Format("%s (%s)", "Error while renaming a file", SystemErrorText().c_str());
        case kZlibErrno: {
            const int err = errno;
            return DescribeCode(err == kZlibErrno ? kGeneric : err, false);
        }
        default: return noSystemLookup ? "Unknown error" : SystemErrorText();
    }
}

std::string CZipException::SystemErrorText() {
    const std::uint32_t last = platform::GetLastError();
    if (last == 0) {
        // Only a plain table text here: the codes that describe themselves by
        // the system's error again (113, 114, 502) would never come back.
        const char* text = FixedText(errno == 0 ? kGeneric : errno);
        return text != nullptr ? text : "Unknown error";
    }
    return platform::SystemErrorText(last);
}

int CZipException::CodeFromZlib(int zlibResult) {
    switch (zlibResult) {
        case Z_STREAM_END: return kZlibStreamEnd;
        case Z_NEED_DICT: return kZlibNeedDict;
        case Z_ERRNO: return kZlibErrno;
        case Z_STREAM_ERROR: return kZlibStreamError;
        case Z_DATA_ERROR: return kZlibDataError;
        case Z_MEM_ERROR: return kZlibMemError;
        case Z_BUF_ERROR: return kZlibBufError;
        case Z_VERSION_ERROR: return kZlibVersionError;
        default: return kGeneric;
    }
}

void ThrowZipException(int code, const char* fileName) { throw CZipException(code, fileName); }
void ThrowZipException(int code, const std::string& fileName) { throw CZipException(code, fileName); }
