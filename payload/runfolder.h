// The names of the folders that runs extract into: "qx_ext_temp_<n>" under
// the base (the "/T:" folder or the system's temporary path), n a decimal
// number without leading zeros. Beside each one lives its lock file (see
// platform/folderlock.h), which marks it as ours and, while held, as live.
#pragma once

#include <string>

// The folder run folders go under, without a trailing '\'.
std::string RunFolderBase();

// `base`\qx_ext_temp_`n`.
std::string RunFolderName(const std::string& base, int n);

// Whether `name` (a name alone, no folder) is one that RunFolderName makes.
bool IsRunFolderName(const std::string& name);
