// The one test that every entry name passes before anything is created for
// it: the name must stay inside the target folder whatever the platform
// makes of it, and must name a file that Windows can hold as it is, so
// that no entry is ever written under another name than its own. The rule
// is the same in every build, so that a check on any system says what the
// Windows launcher will do.
#pragma once

#include <string>

namespace zip {

// Why the launcher refuses `name` (an entry name as the archive reports it,
// '\' or '/' separators), as a short English phrase; empty when it takes it.
// Refused:
//   - empty names (also after dropping trailing separators), and NUL bytes;
//   - absolute names: a leading separator, which covers "\\server" and "\\?\";
//   - a component made only of dots and spaces, other than ".": ".." and the
//     forms Windows trims to it ("...", ".. ", ". .");
//   - characters Windows does not allow in a name: ':' (which also covers
//     drive letters and alternate data streams), '*', '?', '"', '<', '>',
//     '|' and the control characters 1 to 31;
//   - a component that ends in a dot or a space, which Windows would drop
//     from an ordinary path;
//   - a component longer than 255 UTF-16 units, the longest name Windows
//     file systems hold.
// Device names ("con", "aux.txt", "COM1") are not refused: the launcher
// writes them as ordinary files.
// Double-byte characters are honoured: a trail byte is never a separator.
std::string EntryNameProblem(const std::string& name);

inline bool IsSafeEntryName(const std::string& name) { return EntryNameProblem(name).empty(); }

}  // namespace zip
