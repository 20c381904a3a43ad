// The names of the folders that runs extract into: "qx_ext_temp_<n>" under
// the base (the "/T:" folder or the system's temporary path), n a decimal
// number without leading zeros. Beside each one lives its lock file (see
// platform/folderlock.h), which marks it as ours and, while held, as live.
#pragma once

#include <string>

namespace platform {
class FolderLock;
}

// The folder run folders go under, without a trailing '\'.
std::string RunFolderBase();

// `base`\qx_ext_temp_`n`.
std::string RunFolderName(const std::string& base, int n);

// Whether `name` (a name alone, no folder) is one that RunFolderName makes.
bool IsRunFolderName(const std::string& name);

// A fresh run folder under `base`: "qx_ext_temp_<n>" with the smallest n
// whose name was free, claimed by creating its lock file, held in `mark`,
// and then the folder, private to the user (platform/access.h). A folder
// of that name without a lock file (somebody else's) is left alone and
// the next n tried. Returns the empty string, with the last error set and
// nothing held, when no folder can be created under `base`.
std::string ClaimRunFolder(const std::string& base, platform::FolderLock& mark);
