// The Windows directory search, emulated over readdir and lstat.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "platform/dirsearch.h"
#include "platform/posix/instrument.h"
#include "platform/posix/posix_internal.h"
#include "platform/posix/wildcard.h"
#include "platform/strings.h"
#include "platform/system.h"

namespace platform {

namespace {

struct Search {
    std::string nativeFolder;  // ends in '/'
    std::vector<std::string> names;
    std::size_t next = 0;
};

constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ull;

std::uint64_t ToFileTime(const timespec& ts) {
    std::int64_t units = static_cast<std::int64_t>(ts.tv_sec) * 10000000 + ts.tv_nsec / 100;
    if (units < -static_cast<std::int64_t>(kUnixEpochAsFileTime)) return 0;
    return static_cast<std::uint64_t>(units + static_cast<std::int64_t>(kUnixEpochAsFileTime));
}

bool HasWildcard(const std::string& mask) { return mask.find_first_of("*?") != std::string::npos; }

// Windows lists "." and ".." first, then the names in its upper-case order.
bool ComesBefore(const std::string& a, const std::string& b) {
    auto rank = [](const std::string& s) { return s == "." ? 0 : s == ".." ? 1 : 2; };
    if (rank(a) != rank(b)) return rank(a) < rank(b);
    const std::string ua = ToUpperAscii(a), ub = ToUpperAscii(b);
    return ua != ub ? ua < ub : a < b;
}

// Fills `entry` from the file system; false when the entry vanished meanwhile.
bool Describe(const std::string& nativeFolder, const std::string& name, FindData& entry) {
    const std::string native = nativeFolder + name;
    struct stat st;
    if (::lstat(native.c_str(), &st) != 0) return false;
    std::uint32_t attributes = 0;
    std::uint64_t size = 0;
    if (S_ISLNK(st.st_mode)) {
        // A link is reported, never followed: its own record, size 0.
        attributes = kAttrReparsePoint;
        struct stat target;
        if (::stat(native.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) attributes |= kAttrDirectory;
    } else if (S_ISDIR(st.st_mode)) {
        attributes = kAttrDirectory;
    } else {
        attributes = kAttrArchive;
        size = static_cast<std::uint64_t>(st.st_size);
    }
    if (!S_ISLNK(st.st_mode) && !(st.st_mode & S_IWUSR)) attributes |= kAttrReadOnly;
    entry.dwFileAttributes = attributes;
    entry.nFileSizeHigh = static_cast<std::uint32_t>(size >> 32);
    entry.nFileSizeLow = static_cast<std::uint32_t>(size & 0xFFFFFFFFu);
    // Without a birth time, the last status change stands in for creation.
    entry.ftCreationTime = ToFileTime(st.st_ctim);
    entry.ftLastAccessTime = ToFileTime(st.st_atim);
    entry.ftLastWriteTime = ToFileTime(st.st_mtim);
    entry.cFileName = name;
    return true;
}

}  // namespace

DirSearch::~DirSearch() { Close(); }

bool DirSearch::IsOpen() const { return m_state != nullptr; }

void DirSearch::Close() {
    delete static_cast<Search*>(m_state);
    m_state = nullptr;
}

bool DirSearch::First(const std::string& pattern, FindData& entry) {
    Close();
    if (detail::InstrumentedCallFails(instrument::Call::kFindFirst, pattern)) return false;
    const std::size_t cut = FindLastBackslash(pattern);
    const std::string folder = cut == std::string::npos ? std::string() : pattern.substr(0, cut + 1);
    const std::string mask = cut == std::string::npos ? pattern : pattern.substr(cut + 1);

    auto search = new Search;
    search->nativeFolder = folder.empty() ? std::string("./") : ToNativePath(folder);
    if (search->nativeFolder.back() != '/') search->nativeFolder += '/';
    m_state = search;

    if (mask.empty()) {
        Close();
        SetLastError(kErrorFileNotFound);
        return false;
    }
    if (!HasWildcard(mask)) {
        // A plain name is looked up, not listed.
        struct stat st;
        if (::lstat((search->nativeFolder + mask).c_str(), &st) != 0) {
            detail::SetLastErrorForPath(search->nativeFolder + mask);
            Close();
            return false;
        }
        search->names.push_back(mask);
    } else {
        DIR* dir = ::opendir(search->nativeFolder.c_str());
        if (dir == nullptr) {
            const int err = errno;
            Close();
            SetLastError(err == ENOENT || err == ENOTDIR ? kErrorPathNotFound : detail::WinErrorFromErrno(err));
            return false;
        }
        while (const dirent* d = ::readdir(dir)) {
            if (detail::MatchesFileMask(d->d_name, mask)) search->names.emplace_back(d->d_name);
        }
        ::closedir(dir);
        std::sort(search->names.begin(), search->names.end(), ComesBefore);
    }
    if (Next(entry)) return true;
    Close();
    SetLastError(kErrorFileNotFound);
    return false;
}

bool DirSearch::Next(FindData& entry) {
    auto search = static_cast<Search*>(m_state);
    if (search == nullptr) {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    while (search->next < search->names.size()) {
        if (Describe(search->nativeFolder, search->names[search->next++], entry)) return true;
    }
    SetLastError(kErrorNoMoreFiles);
    return false;
}

}  // namespace platform
