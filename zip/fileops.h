// The few file-system operations the archive needs while extracting, over
// the platform layer. None of them throws, except DeletePath and RenamePath
// when asked to.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CZipAutoBuffer;

namespace zip {

// Folders that an extraction has already made or found to be real folders
// (not links), so that each is looked at and created once rather than once
// for every file in it.
class CKnownFolders {
public:
    bool Contains(const std::string& path) const;
    void Add(const std::string& path);
    void Add(const CKnownFolders& other);
    void Clear() { m_paths.clear(); }

private:
    std::vector<std::string> m_paths;  // sorted
};

// Creates the folder `path` and any missing parents, outermost first. True
// when the folder exists afterwards (also when another thread made it at
// the same moment); false when one of them cannot be created (for example
// because a file of that name is in the way). Folders in `known` are taken
// as there; those made or found are added to it.
bool CreateFolderChain(const std::string& path, CKnownFolders* known = nullptr);

// 0: nothing of that name; -1: a folder; 1: anything else.
int PathKind(const std::string& path);
// Whether `path` can be made the current folder (the current folder is restored).
bool IsExistingFolder(const std::string& path);
bool CurrentFolder(std::string& folder);
bool ChangeFolder(const std::string& path);
bool CreateFolder(const std::string& path);

// Sets the attributes as given. A folder never becomes read-only: that bit
// means nothing for a folder's contents on Windows, but would lock them on
// a file system with permission bits.
bool SetPathAttributes(const std::string& path, std::uint32_t attributes);
// Applies Unix permission bits (rwx for owner, group, others; set-id and
// sticky bits are dropped) where the file system has them. A folder keeps
// its owner's full access so that its contents can still be written.
bool SetPathUnixMode(const std::string& path, std::uint32_t mode, bool isFolder);
// Sets the access time to now and the modification time to `time`
// (seconds since 1970); -1 means now.
bool SetPathModTime(const std::string& path, std::int64_t time);
// The FILETIME values SetPathModTime sets; false for a time before 1970,
// which cannot be set.
bool ModTimeAsFileTimes(std::int64_t time, std::uint64_t& lastAccess, std::uint64_t& lastWrite);
inline bool IsFolderAttribute(std::uint32_t attributes) { return (attributes & 0x10) != 0; }
// Converts the buffer's bytes to the OEM code page (`toOem`) or from it; the
// length may change (an OEM character takes several bytes in UTF-8).
void ConvertNameCodePage(CZipAutoBuffer& buffer, bool toOem);

// Deletes a file / renames a file. On failure: false, or with `throwOnError`
// CZipException 113 / 114 naming the (old) path.
bool DeletePath(const std::string& path, bool throwOnError);
bool RenamePath(const std::string& from, const std::string& to, bool throwOnError);

// True when an existing part of `folder` + '\' + `relative`, below
// `folder`, is a link (symbolic link, junction or other reparse point):
// writing through it could land outside `folder`. Without `last`, the last
// part is not looked at (the caller creates it so that an existing one is
// noticed). Folders in `known` are real; the real ones found are added.
bool HasLinkBelow(const std::string& folder, const std::string& relative, CKnownFolders* known = nullptr,
                  bool last = true);

}  // namespace zip
