// The file class: exact open semantics, exact error reporting, 64-bit seek
// and length. Errors are thrown as FileException values that carry the
// operating system's error code and the path concerned.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Open flags. Access and sharing bits combine with the creation bits.
enum FileFlags : unsigned {
    kModeRead = 0x0000,
    kModeWrite = 0x0001,
    kModeReadWrite = 0x0002,
    kShareExclusive = 0x0010,
    kShareDenyWrite = 0x0020,  // others may read but not write
    kShareDenyRead = 0x0030,
    kShareDenyNone = 0x0040,
    kModeCreate = 0x1000,      // create; truncates unless kModeNoTruncate
    kModeNoTruncate = 0x2000,  // without kModeCreate: the file must exist
    kModeCreateNew = 0x4000,   // with kModeCreate: fail (kErrorFileExists) when anything of that name exists
    // The handle is inheritable (no close-on-exec): programs started with
    // kProcessInheritAll get it (process.h). For tests of what a program
    // passes on; the launcher's own files never are.
    kModeInheritable = 0x8000,
};

// A failed file operation. `cause` classifies it the way callers can act on;
// `osError` is the system's own code (a Windows error code on both backends).
class FileException {
public:
    enum Cause {
        kNone = 0,
        kGeneric = 1,
        kFileNotFound = 2,
        kBadPath = 3,
        kTooManyOpenFiles = 4,
        kAccessDenied = 5,
        kInvalidFile = 6,
        kRemoveCurrentDir = 7,
        kDirectoryFull = 8,
        kBadSeek = 9,
        kHardIO = 10,
        kSharingViolation = 11,
        kLockViolation = 12,
        kDiskFull = 13,
        kEndOfFile = 14,
    };

    FileException(Cause cause, std::uint32_t osError, std::string fileName)
        : m_cause(cause), m_lOsError(osError), m_strFileName(std::move(fileName)) {}

    // Builds the exception for a Windows error code, classifying it.
    static FileException FromOsError(std::uint32_t osError, const std::string& fileName);

    Cause cause() const { return m_cause; }
    std::uint32_t osError() const { return m_lOsError; }
    const std::string& fileName() const { return m_strFileName; }

    // The user-facing text for this error, naming the file.
    std::string GetErrorMessage() const;

private:
    Cause m_cause;
    std::uint32_t m_lOsError;
    std::string m_strFileName;
};

// One open file. Not copyable; closes itself on destruction.
class File {
public:
    enum SeekOrigin { kBegin = 0, kCurrent = 1, kEnd = 2 };

    File() = default;
    File(const std::string& path, unsigned flags) { Open(path, flags); }
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens `path`; throws FileException on failure.
    void Open(const std::string& path, unsigned flags);
    // Opens `path`; on failure returns false and stores the error in `error` when given.
    bool TryOpen(const std::string& path, unsigned flags, FileException* error = nullptr);
    void Close();  // no-op when closed; throws on a failing close
    void Abort() noexcept;  // close, ignoring errors
    bool IsOpen() const { return m_handle != kInvalid; }

    // Reads up to `count` bytes; returns the number read, 0 at the end of the file.
    std::uint32_t Read(void* buffer, std::uint32_t count);
    // Writes every byte or throws.
    void Write(const void* buffer, std::uint32_t count);
    void Flush();
    std::uint64_t Seek(std::int64_t offset, SeekOrigin origin);
    std::uint64_t GetPosition() const;
    std::uint64_t GetLength() const;
    void SetLength(std::uint64_t length);

    const std::string& GetFilePath() const { return m_strPath; }

    // Sets the file's times (FILETIME values, 0 leaves one unchanged) and,
    // unless kKeepAttributes, its attributes, through this handle (one call,
    // no second open of the file). `unixMode`, when not 0, gives the
    // permission bits on posix (the read-only attribute is then taken from
    // its owner-write bit); Windows has none. The handle must have been
    // opened for writing.
    static constexpr std::uint32_t kKeepAttributes = 0xFFFFFFFFu;
    bool SetTimesAndAttributes(std::uint64_t lastAccess, std::uint64_t lastWrite, std::uint32_t attributes,
                               std::uint32_t unixMode = 0);

private:
    [[noreturn]] void ThrowLastError() const;

    static constexpr std::intptr_t kInvalid = -1;
    std::intptr_t m_handle = kInvalid;  // HANDLE on win32, fd on posix
    std::string m_strPath;
};

}  // namespace platform
