// The archive's one exception type: a numeric code and the file concerned.
// Thrown by value and caught as `const CZipException&`. The platform's
// FileException passes through the archive code unchanged.
#pragma once

#include <cstddef>
#include <string>

class CZipException {
public:
    enum Code {
        kGeneric = 100,            // no fixed text: the system's text for the last error
        kBadZipFile = 101,         // "Damaged or not a zip file"
        kBadCrc = 102,             // "Crc mismatched"
        kNoCallback = 103,
        kDiskChangeAborted = 104,
        kAborted = 105,            // stopped by the callback while data remained
        kAbortedSafely = 106,      // stopped by the callback after the last data
        kNonRemovable = 107,
        kTooManyVolumes = 108,
        kTooLongFileName = 109,
        kBadPassword = 110,
        kDirWithSize = 111,
        kInternal = 112,
        kNotRemoved = 113,         // "Error while removing a file (<system text>)"
        kNotRenamed = 114,         // "Error while renaming a file (<system text>)"
        kPlatformNotSupported = 115,
        kCdirNotFound = 116,
        kZlibStreamEnd = 500,
        kZlibNeedDict = 501,
        kZlibErrno = 502,          // described by the run-time library's errno
        kZlibStreamError = 503,
        kZlibDataError = 504,
        kZlibMemError = 505,
        kZlibBufError = 506,
        kZlibVersionError = 507,
    };

    // `fileName` may be null, which leaves the name empty.
    CZipException(int code, const char* fileName = nullptr);
    CZipException(int code, const std::string& fileName) : m_strFileName(fileName), m_nCode(code) {}

    int code() const { return m_nCode; }
    const std::string& fileName() const { return m_strFileName; }

    // The description of this exception's code, computed afresh on every call,
    // so codes 100, 113 and 114 tell the system's last error at call time.
    std::string GetDescription() const;

    // Copies at most maxLength - 1 bytes of the description and a terminating
    // zero into `buffer`. False (buffer untouched) for a null buffer, a zero
    // maximum or an empty description. `helpContext` is never touched.
    bool GetErrorMessage(char* buffer, std::size_t maxLength, unsigned* helpContext = nullptr) const;

    // The fixed description of `code`; codes without one give "Unknown error"
    // or, unless `noSystemLookup`, the system's text for the last error.
    static std::string DescribeCode(int code, bool noSystemLookup);
    // The system's text for the thread's last error, including its line
    // break; with no last error, the table text of errno (or "Unknown error").
    static std::string SystemErrorText();
    // The code for a zlib result.
    static int CodeFromZlib(int zlibResult);

    std::string m_strFileName;
    int m_nCode;
};

// Throws CZipException(code, fileName) by value. `fileName` may be null.
[[noreturn]] void ThrowZipException(int code, const char* fileName = nullptr);
[[noreturn]] void ThrowZipException(int code, const std::string& fileName);
