// Directory search: the entries of one folder whose names match a file mask,
// one record at a time, in Windows terms on both backends.
//
// Masks follow the Windows wildcard rules: '*' matches any run of
// characters, '?' one character (or none before a dot or at the end),
// "*.*" matches every name, with or without a dot, and "*." only names
// without one. Matching ignores ASCII case. The posix backend emulates the
// Windows search: "." and ".." come first, then the other names sorted as
// their upper-case forms; a symbolic link is reported as a reparse point
// (0x400), with the folder bit when it points to a folder, and is never
// followed.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// One entry, as the Windows search reports it (WIN32_FIND_DATAA).
struct FindData {
    std::uint32_t dwFileAttributes = 0;
    std::uint64_t ftCreationTime = 0;  // FILETIME values: 100 ns units since 1601 (UTC)
    std::uint64_t ftLastAccessTime = 0;
    std::uint64_t ftLastWriteTime = 0;
    std::uint32_t nFileSizeHigh = 0;
    std::uint32_t nFileSizeLow = 0;
    std::string cFileName;  // the name alone, without the folder
};

// One running search. Not copyable; closes itself on destruction.
class DirSearch {
public:
    DirSearch() = default;
    ~DirSearch();
    DirSearch(const DirSearch&) = delete;
    DirSearch& operator=(const DirSearch&) = delete;

    // Starts a search for `pattern`: a folder path, '\' and a mask (a
    // pattern without '\' searches the current folder). Fills `entry` with
    // the first match. False, with the last error set, when the folder is
    // missing (kErrorPathNotFound) or nothing matches (kErrorFileNotFound).
    bool First(const std::string& pattern, FindData& entry);
    // The next match; false (kErrorNoMoreFiles) after the last one.
    bool Next(FindData& entry);
    void Close();
    bool IsOpen() const;

private:
    void* m_state = nullptr;  // backend data
};

}  // namespace platform
