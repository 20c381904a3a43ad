// One file-system record: full path, attribute bits, 64-bit size and three
// time stamps, filled from a directory search.
#pragma once

#include <cstdint>
#include <string>

#include "platform/dirsearch.h"

// Seconds since 1970-01-01 00:00:00 counted in local time, for a Windows
// FILETIME (100 ns units since 1601, UTC). The local date is clamped to the
// years 1900 to 2037 (and the day and month to their ranges) before it is
// converted; a stamp that cannot be converted, which includes every local
// date before 1970, gives the current time.
std::int64_t ConvertFileTime(std::uint64_t fileTime);

class CFileInfo {
public:
    std::string m_strPath;                      // folder (ending in '\') and name
    std::uint32_t m_dwAttributes = 0xFFFFFFFFu;  // all ones until filled (this includes the folder bit)
    std::uint64_t m_nSize = 0;
    std::int64_t m_timeCreation = 0;  // ConvertFileTime units
    std::int64_t m_timeLastAccess = 0;
    std::int64_t m_timeLastWrite = 0;

    // `folder` ends in a backslash; the record's path is folder + the entry's name.
    void FillFromFindData(const platform::FindData& entry, const std::string& folder);
    // Fills the record from the first entry a search for `path` finds; when
    // nothing is found the record stays as it was.
    void FillFromPath(const std::string& path);
};
