// Where a run's temporary folder and the extraction cache may go on posix,
// and whether programs can be started there: /tmp and its like are often
// mounted noexec.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/posix/posix_internal.h"
#include "platform/posix/tempfolders.h"
#include "platform/strings.h"
#include "platform/system.h"

extern char** environ;

namespace platform {

namespace {

void AddOnce(std::vector<std::string>& folders, const std::string& native) {
    if (native.empty() || native[0] != '/') return;  // unset, or relative
    std::string folder = TrimTrailingBackslashes(FromNativePath(native));
    if (folder == "Z:") folder += '\\';  // the root itself
    for (const std::string& known : folders)
        if (known == folder) return;
    folders.push_back(folder);
}

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// $XDG_CACHE_HOME, or ~/.cache where that is unset or relative (as the XDG
// rules say), as a native path; empty when neither is known.
std::string NativeUserCacheFolder() {
    const std::string cache = Variable("XDG_CACHE_HOME");
    const std::string home = Variable("HOME");
    return !cache.empty() && cache[0] == '/' ? cache : home.empty() ? std::string() : home + "/.cache";
}

}  // namespace

std::string UserCacheFolder() {
    std::vector<std::string> folder;
    AddOnce(folder, NativeUserCacheFolder());  // absolute only
    return folder.empty() ? std::string() : folder[0];
}

std::vector<std::string> detail::TempFolderCandidates() {
    std::vector<std::string> folders;
    AddOnce(folders, Variable("TMPDIR"));
    AddOnce(folders, "/tmp");
    AddOnce(folders, Variable("XDG_RUNTIME_DIR"));
    AddOnce(folders, NativeUserCacheFolder());
    std::string self;
    if (GetModuleFileName(self)) AddOnce(folders, ToNativePath(self.substr(0, FindLastBackslash(self))));
    return folders;
}

namespace {

// Whether a program placed in `folder` would be started. False, with the
// last error set, where the file cannot be written or the system refuses to
// start it (kErrorAccessDisabledByPolicy).
bool CanStartProgramsIn(const std::string& folder) {
    // Tried rather than read from the mount options: whatever keeps programs
    // from starting there (noexec, a security module) shows the same way.
    // The file lies in a folder of its own that nobody else may write to, so
    // that nobody can swap it for a program of theirs before it is started.
    std::string probeFolder = ToNativePath(TrimTrailingBackslashes(folder)) + "/.qx_exec_probe_XXXXXX";
    if (::mkdtemp(&probeFolder[0]) == nullptr) {
        detail::SetLastErrorFromErrno();
        return false;
    }
    const std::string probe = probeFolder + "/probe";
    int error = 0;
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0700);
    if (fd < 0) {
        error = errno;
    } else {
        ::close(fd);
        // An empty file is no program: the system refuses it as one (ENOEXEC)
        // where it would start programs at all, and with EACCES where it would not.
        std::string name = probe;
        char* argv[] = {&name[0], nullptr};
        pid_t child = 0;
        error = ::posix_spawn(&child, probe.c_str(), nullptr, nullptr, argv, environ);
        if (error == 0) {
            int status = 0;
            while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
        } else if (error == ENOEXEC) {
            error = 0;
        } else if (error == EACCES || error == EPERM) {
            error = -1;
        }
        ::unlink(probe.c_str());
    }
    ::rmdir(probeFolder.c_str());
    if (error == 0) return true;
    if (error == -1) {
        SetLastError(kErrorAccessDisabledByPolicy);
    } else {
        errno = error;
        detail::SetLastErrorFromErrno();
    }
    return false;
}

// The system's text for `code` on one line.
std::string ReasonText(std::uint32_t code) {
    if (code == kErrorFileNotFound || code == kErrorPathNotFound) return "does not exist";
    std::string text = SystemErrorText(code);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text.empty() ? Format("error %u", static_cast<unsigned>(code)) : text;
}

}  // namespace

std::string detail::FirstUsableTempFolder(const std::vector<std::string>& candidates, std::string& passedOver) {
    passedOver.clear();
    for (const std::string& folder : candidates) {
        const std::uint32_t attributes = GetFileAttributes(folder);
        std::string reason;
        if (attributes == kInvalidAttributes) {
            reason = ReasonText(GetLastError());
        } else if (!(attributes & kAttrDirectory)) {
            reason = "is not a folder";
        } else if (!CanStartProgramsIn(folder)) {
            const std::uint32_t error = GetLastError();
            reason = error == kErrorAccessDisabledByPolicy
                         ? "programs cannot be started from there (a file system mounted noexec?)"
                         : "nothing can be written there: " + ReasonText(error);
        } else {
            return folder;
        }
        passedOver += folder + ": " + reason + "\n";
    }
    return std::string();
}

std::string ChooseTempFolderBase(const std::string& asked, std::string& passedOver) {
    // A folder the user named is taken or refused, never swapped for another.
    return detail::FirstUsableTempFolder(
        asked.empty() ? detail::TempFolderCandidates() : std::vector<std::string>(1, asked), passedOver);
}

}  // namespace platform
