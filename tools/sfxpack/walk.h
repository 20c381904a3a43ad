// The folder to pack, walked into the entries of its archive.
//
// A symbolic link is packed as a copy of what it points to, the way a
// Windows user of the launcher would see the folder: a link to a file as
// that file, a link to a folder as a folder of that name holding a copy of
// the target's contents. By default only links whose target lies inside
// the folder are copied; a link that points outside it or nowhere is
// refused (LinkPolicy says otherwise). A link that leads back to a folder
// on its own path (the folder itself, or one that holds the link) would
// copy forever and is refused too: the walk knows the folders on its
// current path by device and inode. A folder reached twice through links
// is copied twice.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/sfxpack/zipwriter.h"

namespace sfxpack {

// What to do with the symbolic links in the folder.
enum class LinkPolicy {
    kCopyInside,  // a link to something inside the folder becomes a copy of it; other links are refused
    kFollow,      // every link becomes a copy of what it points to, inside the folder or not (--follow-links)
    kSkip,        // links are left out (--skip-links)
};

// Where a link leads, seen from the folder being packed.
enum class LinkTarget { kInside, kOutside, kNowhere };

// `root` is the folder's path with every link on the way resolved,
// `resolved` the link's target resolved the same way: empty when it cannot
// be (nothing is there, or links point at each other in a circle). A target
// is inside when it is the folder itself or lies below it.
LinkTarget ClassifyLink(const std::filesystem::path& root, const std::filesystem::path& resolved);

struct FolderEntries {
    std::vector<ZipSource> entries;    // sorted by their names' bytes
    std::vector<std::string> skipped;  // "<link> -> <its target>" of every link left out (kSkip)
};

// Every file and folder under `folder` (a native path), named as in the
// archive: stored permissions and times do not depend on the host (times
// not later than `latest` when it is not -1). Throws PackError when the
// folder holds what cannot be packed (every such link and file named), when
// it cannot be read, or when it holds more entries than an archive
// without Zip64 can.
FolderEntries CollectEntries(const std::string& folder, LinkPolicy links, std::int64_t latest);

}  // namespace sfxpack
