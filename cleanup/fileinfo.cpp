#include "cleanup/fileinfo.h"

#include <ctime>

#include "platform/strings.h"
#include "platform/system.h"

namespace {

struct Date {
    std::int64_t year;
    int month, day, hour, minute, second;  // month and day from 1
};

// The calendar date of a FILETIME; false for values the system refuses to
// convert (those with the top bit set).
bool FileTimeToDate(std::uint64_t fileTime, Date& date) {
    if (fileTime > 0x7FFFFFFFFFFFFFFFull) return false;
    // Only the divisions into seconds and days need 64 bits (at most
    // 10,675,199 days); the rest is 32-bit arithmetic, so that the 32-bit
    // stub needs one of the runtime's 64-bit division helpers, not five.
    const std::uint64_t seconds = fileTime / 10000000u;
    const std::uint64_t dayCount = seconds / 86400;
    // The low 32 bits suffice: the difference is below 86,400.
    const std::uint32_t second = static_cast<std::uint32_t>(seconds) - static_cast<std::uint32_t>(dayCount) * 86400u;
    date.hour = static_cast<int>(second / 3600);
    date.minute = static_cast<int>(second % 3600 / 60);
    date.second = static_cast<int>(second % 60);
    // Civil date from a day count (proleptic Gregorian), counted from 0000-03-01.
    const std::int32_t days = static_cast<std::int32_t>(dayCount) + 584694;  // 1601-01-01 as days since 0000-03-01
    const std::int32_t era = days / 146097;
    const std::int32_t dayOfEra = days - era * 146097;
    const std::int32_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int32_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int32_t mp = (5 * dayOfYear + 2) / 153;
    date.day = dayOfYear - (153 * mp + 2) / 5 + 1;
    date.month = mp < 10 ? mp + 3 : mp - 9;
    date.year = yearOfEra + era * 400 + (date.month <= 2 ? 1 : 0);
    return true;
}

}  // namespace

std::int64_t ConvertFileTime(std::uint64_t fileTime) {
    std::int64_t result = static_cast<std::int64_t>(std::time(nullptr));
    // Stamps with the top bit set have no calendar date (the system refuses them).
    if (fileTime > 0x7FFFFFFFFFFFFFFFull) return result;
    std::uint64_t local = 0;
    if (!platform::FileTimeToLocalFileTime(fileTime, local)) return result;
    Date date;
    if (!FileTimeToDate(local, date)) return result;

    std::tm calendar{};
    calendar.tm_sec = date.second;
    calendar.tm_min = date.minute;
    calendar.tm_hour = date.hour;
    calendar.tm_mday = (date.day >= 1 && date.day <= 31) ? date.day : 1;
    calendar.tm_mon = (date.month < 1 ? 1 : date.month > 12 ? 12 : date.month) - 1;
    calendar.tm_year = static_cast<int>((date.year < 1900 ? 1900 : date.year > 2037 ? 2037 : date.year) - 1900);
    calendar.tm_isdst = -1;
    const std::int64_t converted = static_cast<std::int64_t>(std::mktime(&calendar));
    // The Windows run-time refuses dates before 1970; do the same everywhere.
    if (converted >= 0) result = converted;
    return result;
}

void CFileInfo::FillFromFindData(const platform::FindData& entry, const std::string& folder) {
    m_strPath = folder + entry.cFileName;
    m_dwAttributes = entry.dwFileAttributes;
    m_nSize = (static_cast<std::uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
    m_timeCreation = ConvertFileTime(entry.ftCreationTime);
    m_timeLastAccess = ConvertFileTime(entry.ftLastAccessTime);
    m_timeLastWrite = ConvertFileTime(entry.ftLastWriteTime);
}

void CFileInfo::FillFromPath(const std::string& path) {
    platform::DirSearch search;
    platform::FindData entry;
    if (!search.First(path, entry)) return;
    const std::size_t cut = platform::FindLastBackslash(path);
    FillFromFindData(entry, cut == std::string::npos ? std::string() : path.substr(0, cut + 1));
}
