// Shortening a path for a status line.
#pragma once

#include <string>

// Replaces trailing folders of `path` with "..." until it fits `maxLength`,
// keeping the drive ("C:") or the server ("\\server") and the file name:
// "C:\Program Files\Sub\Deep\file.txt" with 30 gives
// "C:\Program Files\...\file.txt", with 20 "C:\...\file.txt". The shortest
// form is returned even when it is still too long; a path that fits, or
// that has no folder to drop, comes back unchanged.
std::string CompactPathForDisplay(const std::string& path, int maxLength);
