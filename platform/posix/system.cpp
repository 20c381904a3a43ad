// Operating-system services on POSIX, in Windows terms.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>  // renameat2
#include <cstdlib>
#include <ctime>

#include "platform/access.h"
#include "platform/posix/instrument.h"
#include "platform/posix/posix_internal.h"
#include "platform/system.h"

namespace platform {

namespace {

std::vector<std::string>& Args() {
    static std::vector<std::string> args;
    return args;
}

bool Fail() {
    detail::SetLastErrorFromErrno();
    return false;
}

constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ull;

}  // namespace

void SetCommandLineArgs(std::vector<std::string> args) { Args() = std::move(args); }
const std::vector<std::string>& CommandLineArgs() { return Args(); }

std::string RawCommandLine() {
    // POSIX hands over a vector; join it the way Windows would quote it.
    std::string line;
    for (const std::string& arg : Args()) {
        if (!line.empty()) line += ' ';
        bool quote = arg.empty() || arg.find_first_of(" \t") != std::string::npos;
        line += quote ? '"' + arg + '"' : arg;
    }
    return line;
}

bool GetModuleFileName(std::string& path) {
    char buffer[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n < 0) return Fail();
    path = FromNativePath(std::string(buffer, static_cast<std::size_t>(n)));
    return true;
}

std::string SystemFolder() { return std::string(); }

std::string GetTempPath() {
    const char* tmp = std::getenv("TMPDIR");
    std::string native = (tmp != nullptr && *tmp != '\0') ? tmp : "/tmp";
    std::string path = FromNativePath(native);
    if (path.empty() || path.back() != '\\') path += '\\';
    return path;
}

std::uint32_t GetFileAttributes(const std::string& path) {
    if (detail::InstrumentedCallFails(instrument::Call::kGetAttributes, path)) return kInvalidAttributes;
    struct stat st;
    const std::string native = ToNativePath(path);
    if (::lstat(native.c_str(), &st) != 0) {
        detail::SetLastErrorForPath(native);
        return kInvalidAttributes;
    }
    std::uint32_t attributes = 0;
    if (S_ISLNK(st.st_mode)) {
        attributes |= kAttrReparsePoint;
        struct stat target;
        if (::stat(native.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) attributes |= kAttrDirectory;
    } else if (S_ISDIR(st.st_mode)) {
        attributes |= kAttrDirectory;
    } else {
        attributes |= kAttrArchive;
    }
    if (!S_ISLNK(st.st_mode) && !(st.st_mode & S_IWUSR)) attributes |= kAttrReadOnly;
    return attributes;
}

bool SetFileAttributes(const std::string& path, std::uint32_t attributes) {
    if (detail::InstrumentedCallFails(instrument::Call::kSetAttributes, path)) return false;
    struct stat st;
    const std::string native = ToNativePath(path);
    if (::lstat(native.c_str(), &st) != 0) return Fail();
    if (S_ISLNK(st.st_mode)) return true;  // a link has no permission bits of its own
    mode_t mode = st.st_mode & 07777;
    if (attributes & kAttrReadOnly)
        mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    else
        mode |= S_IWUSR;
    if (mode != (st.st_mode & 07777) && ::chmod(native.c_str(), mode) != 0) return Fail();
    return true;
}

bool SetUnixMode(const std::string& path, std::uint32_t mode) {
    if (::chmod(ToNativePath(path).c_str(), static_cast<mode_t>(mode & 07777)) != 0) return Fail();
    return true;
}

namespace {

bool MakeDirectory(const std::string& path, mode_t mode) {
    if (detail::InstrumentedCallFails(instrument::Call::kCreateDirectory, path)) return false;
    const std::string native = ToNativePath(path);
    if (::mkdir(native.c_str(), mode) != 0) {
        detail::SetLastErrorForPath(native);
        return false;
    }
    return true;
}

}  // namespace

bool CreateDirectory(const std::string& path) { return MakeDirectory(path, 0777); }

bool CreatePrivateDirectory(const std::string& path) {
    // The umask can only take bits away from 0700.
    return MakeDirectory(path, 0700);
}

std::string DescribeAccess(const std::string& path) {
    struct stat st;
    if (::lstat(ToNativePath(path).c_str(), &st) != 0) return std::string();
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return text;
}

bool IsPrivateFolder(const std::string& path) {
    struct stat st;
    const std::string native = ToNativePath(path);
    if (::lstat(native.c_str(), &st) != 0) {
        detail::SetLastErrorForPath(native);
        return false;
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & 077) != 0) {
        SetLastError(kErrorAccessDenied);
        return false;
    }
    return true;
}

void DebugOutput(const std::string& text) {
    std::fprintf(stderr, "(debug) %s\n", text.c_str());
    std::fflush(stderr);
}

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) == 1; }

std::uint64_t MonotonicMilliseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

bool RemoveDirectory(const std::string& path) {
    if (detail::InstrumentedCallFails(instrument::Call::kRemoveDirectory, path)) return false;
    const std::string native = ToNativePath(path);
    struct stat st;
    if (::lstat(native.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        // Removing a link to a folder removes the link, never what it points
        // to, and whatever became of the folder (Windows knows a folder link
        // by the link itself); a link to a file is refused.
        struct stat target;
        if (::stat(native.c_str(), &target) == 0 && !S_ISDIR(target.st_mode)) {
            SetLastError(kErrorDirectoryInvalid);
            return false;
        }
        if (::unlink(native.c_str()) != 0) return Fail();
        return true;
    }
    if (::rmdir(native.c_str()) != 0) return Fail();
    return true;
}

bool DeleteFile(const std::string& path) {
    if (detail::InstrumentedCallFails(instrument::Call::kDeleteFile, path)) return false;
    const std::string native = ToNativePath(path);
    struct stat st;
    if (::lstat(native.c_str(), &st) != 0) return Fail();
    if (S_ISDIR(st.st_mode) || (!S_ISLNK(st.st_mode) && !(st.st_mode & S_IWUSR))) {
        // Windows refuses to delete folders and read-only files this way.
        SetLastError(kErrorAccessDenied);
        return false;
    }
    if (::unlink(native.c_str()) != 0) return Fail();
    return true;
}

bool MoveFile(const std::string& from, const std::string& to) {
    if (detail::InstrumentedCallFails(instrument::Call::kMoveFile, to)) return false;
    const std::string source = ToNativePath(from), target = ToNativePath(to);
    // As on Windows, never over anything of that name: rename() would take
    // the place of an empty folder, or of a file, without a word.
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return Fail();
    // A file system that cannot refuse by itself: look first.
    struct stat st;
    if (::lstat(target.c_str(), &st) == 0) {
        SetLastError(kErrorAlreadyExists);
        return false;
    }
    if (::rename(source.c_str(), target.c_str()) != 0) return Fail();
    return true;
}

std::string GetCurrentDirectory() {
    char buffer[PATH_MAX];
    if (::getcwd(buffer, sizeof buffer) == nullptr) {
        Fail();
        return std::string();
    }
    return FromNativePath(buffer);
}

std::string FullPath(const std::string& path) {
    // As on Windows: a path with a drive, '\' as its only separator; here
    // "/tmp/x" names "Z:\tmp\x".
    std::string full;
    if (path.empty() || (path.size() >= 2 && path[1] == ':')) {
        full = path;
    } else if (path[0] == '\\' || path[0] == '/') {
        full = "Z:" + path;
    } else {
        full = GetCurrentDirectory();
        if (full.empty()) return path;
        if (full.back() != '\\') full += '\\';
        full += path;
    }
    for (char& c : full)
        if (c == '/') c = '\\';
    return full;
}

bool SetCurrentDirectory(const std::string& path) {
    if (::chdir(ToNativePath(path).c_str()) != 0) return Fail();
    return true;
}

timespec detail::ToTimespec(std::uint64_t fileTime) {
    timespec ts{};
    if (fileTime == 0) {
        ts.tv_nsec = UTIME_OMIT;
        return ts;
    }
    std::int64_t units = static_cast<std::int64_t>(fileTime - kUnixEpochAsFileTime);
    std::int64_t seconds = units / 10000000;
    std::int64_t rest = units % 10000000;
    if (rest < 0) {
        rest += 10000000;
        --seconds;
    }
    ts.tv_sec = static_cast<time_t>(seconds);
    ts.tv_nsec = static_cast<long>(rest * 100);
    return ts;
}

bool SetFileTimes(const std::string& path, std::uint64_t, std::uint64_t lastAccess,
                  std::uint64_t lastWrite) {
    if (detail::InstrumentedCallFails(instrument::Call::kSetTimes, path)) return false;
    timespec times[2] = {detail::ToTimespec(lastAccess), detail::ToTimespec(lastWrite)};
    if (::utimensat(AT_FDCWD, ToNativePath(path).c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) return Fail();
    return true;
}

static std::int64_t LocalOffsetSeconds(time_t at) {
    struct tm local;
    if (::localtime_r(&at, &local) == nullptr) return 0;
    return local.tm_gmtoff;
}

// Seconds since 1970 of a FILETIME value, without overflowing for any value.
static time_t UnixSeconds(std::uint64_t fileTime) {
    if (fileTime >= kUnixEpochAsFileTime) return static_cast<time_t>((fileTime - kUnixEpochAsFileTime) / 10000000);
    return -static_cast<time_t>((kUnixEpochAsFileTime - fileTime) / 10000000);
}

// Shifts a FILETIME by `seconds`; false when the result would leave the FILETIME range.
static bool Shift(std::uint64_t value, std::int64_t seconds, std::uint64_t& result) {
    const std::uint64_t units = static_cast<std::uint64_t>(seconds < 0 ? -seconds : seconds) * 10000000u;
    if (seconds >= 0) {
        if (value > UINT64_MAX - units) return false;
        result = value + units;
    } else {
        if (value < units) return false;
        result = value - units;
    }
    return true;
}

bool FileTimeToLocalFileTime(std::uint64_t utc, std::uint64_t& local) {
    return Shift(utc, LocalOffsetSeconds(UnixSeconds(utc)), local);
}

bool LocalFileTimeToFileTime(std::uint64_t local, std::uint64_t& utc) {
    return Shift(local, -LocalOffsetSeconds(UnixSeconds(local)), utc);
}

}  // namespace platform
