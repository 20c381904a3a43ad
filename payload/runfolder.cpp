#include "payload/runfolder.h"

#include "payload/extractor.h"
#include "platform/folderlock.h"
#include "platform/strings.h"
#include "platform/system.h"

namespace {

const char kPrefix[] = "qx_ext_temp_";

}  // namespace

std::string RunFolderBase() {
    if (!TempFolderBase().empty()) return TempFolderBase();
    return platform::TrimTrailingBackslashes(platform::GetTempPath());
}

std::string RunFolderName(const std::string& base, int n) {
    return platform::Format("%s\\%s%d", base.c_str(), kPrefix, n);
}

bool IsRunFolderName(const std::string& name) {
    const std::size_t prefix = sizeof kPrefix - 1;
    if (name.size() <= prefix || name.compare(0, prefix, kPrefix) != 0) return false;
    const std::string digits = name.substr(prefix);
    // Exactly what %d gives for an n from 0 up: no sign, no leading zero, within an int.
    if (digits.size() > 10 || (digits.size() > 1 && digits[0] == '0')) return false;
    for (char c : digits)
        if (c < '0' || c > '9') return false;
    return digits.size() < 10 || digits <= "2147483647";
}

std::string ClaimRunFolder(const std::string& base, platform::FolderLock& mark) {
    for (int n = 0;; ++n) {
        const std::string name = RunFolderName(base, n);
        if (platform::GetFileAttributes(name) != platform::kInvalidAttributes) continue;
        // The lock file first: a name whose lock file exists is taken (a live
        // run's, or a dead run's that a sweep will remove).
        if (!mark.CreateNew(name)) {
            const std::uint32_t error = platform::GetLastError();
            if (error == platform::kErrorFileExists || error == platform::kErrorAlreadyExists ||
                error == platform::kErrorSharingViolation)
                continue;
            return std::string();
        }
        if (platform::CreatePrivateDirectory(name)) return name;
        // Somebody else's folder of that name, or no folder at all: give the name back.
        const std::uint32_t error = platform::GetLastError();
        mark.DeleteAndRelease();
        platform::SetLastError(error);
        if (error != platform::kErrorAlreadyExists && error != platform::kErrorFileExists) return std::string();
    }
}
