// The form in which the Windows backend hands a path to the system's wide
// file calls, so that paths of any length work and names such as "con" or
// "aux.txt" are files, not devices. A pure function of the text, so that
// the tests run it natively.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// The longest path the wide calls take, in UTF-16 units, terminator included.
constexpr std::size_t kMaxWidePath = 32767;
// The longest path the plain calls take (MAX_PATH), terminator included.
constexpr std::size_t kMaxPlainPath = 260;

// The extended-length form of `path`:
//   "C:\a\b"            -> "\\?\C:\a\b"
//   "\\server\share\a"  -> "\\?\UNC\server\share\a"
// The system passes such a path on untouched, so it is first resolved here
// the way the system resolves an ordinary one: '/' is a separator, runs of
// separators count as one, "." and ".." components are resolved (never
// above the drive or the share). A trailing separator stays. Trailing dots
// and spaces are kept, unlike the system's own resolving: a name listed
// from a folder must reach exactly that file, whatever its name.
// Returned as they are: paths already in that form ("\\?\..."), device
// paths ("\\.\..."), and relative paths ("a\b", "\a", "C:a"), which the
// system resolves against the current folder itself.
// False when the result would not fit kMaxWidePath.
bool ExtendedLengthPath(const std::string& path, std::string& result);

// Whether the UTF-8 `path` fits a buffer of `limit` UTF-16 units with its terminator.
bool FitsPathLimit(const std::string& path, std::size_t limit);

}  // namespace platform
