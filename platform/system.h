// Operating-system services the core needs, in Windows terms on both
// backends: paths use '\', errors are Windows error codes, attributes are
// Windows attribute bits. The posix backend maps drive Z: to "/". Every
// text, path and name is UTF-8, whatever the system's code pages; the
// Windows backend converts at its calls, and takes paths of any length.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace platform {

// Windows error codes used by the core (the posix backend maps errno to these).
enum : std::uint32_t {
    kErrorSuccess = 0,
    kErrorFileNotFound = 2,
    kErrorPathNotFound = 3,
    kErrorTooManyOpenFiles = 4,
    kErrorAccessDenied = 5,
    kErrorInvalidHandle = 6,
    kErrorNotEnoughMemory = 8,
    kErrorNoMoreFiles = 18,
    kErrorWriteProtect = 19,
    kErrorSharingViolation = 32,
    kErrorLockViolation = 33,
    kErrorHandleEof = 38,
    kErrorFileExists = 80,
    kErrorInvalidParameter = 87,
    kErrorDiskFull = 112,
    kErrorInvalidName = 123,
    kErrorDirNotEmpty = 145,
    kErrorBadExeFormat = 193,
    kErrorDirectoryInvalid = 267,
    kErrorAlreadyExists = 183,
    kErrorFilenameExcedRange = 206,
    kErrorNoMoreItems = 259,  // also the still-running exit code
    kErrorNoAssociation = 1155,  // no program is associated with the file's kind
    kErrorAccessDisabledByPolicy = 1260,  // the system does not start programs from there
    kErrorFileCorrupt = 1392,
};

// File attribute bits.
enum : std::uint32_t {
    kAttrReadOnly = 0x01,
    kAttrHidden = 0x02,
    kAttrSystem = 0x04,
    kAttrDirectory = 0x10,
    kAttrArchive = 0x20,
    kAttrNormal = 0x80,
    kAttrReparsePoint = 0x400,
    kInvalidAttributes = 0xFFFFFFFFu,
};

// Last error of the calling thread, as a Windows error code.
std::uint32_t GetLastError();
void SetLastError(std::uint32_t code);
// Hands `text` to a debugger (OutputDebugString; on posix a line
// "(debug) text" on standard error): for what a run must not show but
// should not hide either.
void DebugOutput(const std::string& text);
// Whether `stream` is a terminal: a person watching it rather than a log or a pipe.
bool IsTerminal(std::FILE* stream);
// Milliseconds since a fixed moment (the system's start on win32), never
// going back: for measuring how long something takes.
std::uint64_t MonotonicMilliseconds();
// The system's message text for `code` (as the system writes it, usually
// ending in a line break), or empty when the system has none.
std::string SystemErrorText(std::uint32_t code);
// The Windows error code for an errno value of the C runtime (what the C++
// library's std::filesystem reports, and libraries built on the C runtime),
// so that their failures are named in the same terms as every other.
std::uint32_t ErrorFromErrno(int err);

// Full path of the running executable; false (and last error set) on failure.
bool GetModuleFileName(std::string& path);
// The system's temporary folder as the system reports it (may end in '\').
std::string GetTempPath();
// The system folder (GetSystemDirectory: C:\Windows\System32 for a 64-bit
// program, SysWOW64 under it for a 32-bit one), without a trailing '\';
// empty where there is none (posix) or it cannot be read.
std::string SystemFolder();
// The folder a run's temporary folder goes under: `asked` (a folder the
// user named, without trailing '\') when not empty, else the system's
// temporary folder without trailing '\'. On posix, the first place where a
// program placed there would be started: `asked` alone, or else the first
// of $TMPDIR, /tmp, $XDG_RUNTIME_DIR, $XDG_CACHE_HOME (or ~/.cache) and the
// folder of the running program; each is tried with a file written there
// for a moment, so that a file system mounted noexec is passed over.
// Empty when none will do. `passedOver` gets one line per place passed
// over ("folder: why"): all of them when none will do.
std::string ChooseTempFolderBase(const std::string& asked, std::string& passedOver);
// Where the user's programs keep files that are kept between runs but may
// be deleted at any time: %LOCALAPPDATA% on Windows, $XDG_CACHE_HOME (or
// ~/.cache) on posix; an absolute path without trailing '\', or empty when
// the system does not say (a variable unset, or set to a relative path).
std::string UserCacheFolder();
// The process's arguments, index 0 being the program path, split as the runtime splits them.
const std::vector<std::string>& CommandLineArgs();
// The process's command line as the system handed it over, unsplit.
std::string RawCommandLine();
// Replaces the argument vector (the posix entry point and tests use this).
void SetCommandLineArgs(std::vector<std::string> args);

// kInvalidAttributes (and last error set) when nothing of that name exists.
std::uint32_t GetFileAttributes(const std::string& path);
bool SetFileAttributes(const std::string& path, std::uint32_t attributes);
// Applies Unix permission bits (st_mode) where the file system has them;
// on win32 this only maps the owner-write bit to the read-only attribute.
bool SetUnixMode(const std::string& path, std::uint32_t mode);
bool CreateDirectory(const std::string& path);  // fails when it exists (kErrorAlreadyExists)
// Creates a folder that only the user running this process can open, and
// whose contents inherit that: on Windows its DACL grants the user's SID
// (from the process token) full control and nobody else, and does not
// inherit from the parent; on posix its mode is 0700. Fails when it exists
// (kErrorAlreadyExists), and rather than create an open folder when the
// user cannot be told.
bool CreatePrivateDirectory(const std::string& path);
// Who may open `path`: on Windows its owner and DACL in the system's text
// form ("O:S-1-5-...D:P(A;OICI;FA;;;S-1-5-...)"), on posix its permission
// bits in octal ("0700"); empty when they cannot be read.
std::string DescribeAccess(const std::string& path);
bool RemoveDirectory(const std::string& path);  // only an empty folder (or a link to one)
bool DeleteFile(const std::string& path);
bool MoveFile(const std::string& from, const std::string& to);
std::string GetCurrentDirectory();
// `path` made absolute against the current folder (GetFullPathName); the
// path unchanged when that fails.
std::string FullPath(const std::string& path);
bool SetCurrentDirectory(const std::string& path);

// File times are Windows FILETIME values: 100 ns units since 1601-01-01 UTC.
// A value of 0 leaves that time unchanged.
bool SetFileTimes(const std::string& path, std::uint64_t creation, std::uint64_t lastAccess,
                  std::uint64_t lastWrite);
// Converts between UTC and local file time.
bool FileTimeToLocalFileTime(std::uint64_t utc, std::uint64_t& local);
bool LocalFileTimeToFileTime(std::uint64_t local, std::uint64_t& utc);

// Names between the OEM code page (of MS-DOS names in archives) and UTF-8.
// Identity on posix, which has no OEM code page. Text that cannot be
// converted is returned as it is.
std::string OemToUtf8(const std::string& text);
std::string Utf8ToOem(const std::string& text);

// Converts a Windows path to the native one (posix: "Z:\tmp\a" -> "/tmp/a",
// relative paths keep being relative) and back. Identity on win32.
std::string ToNativePath(const std::string& path);
std::string FromNativePath(const std::string& path);

}  // namespace platform
