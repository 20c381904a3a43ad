// The one test that every entry name passes before anything is created for
// it: the name must stay inside the target folder whatever the platform
// makes of it.
#pragma once

#include <string>

namespace zip {

// True when `name` (an entry name as the archive reports it, '\' or '/'
// separators) names something inside the folder it is extracted to. Refused:
//   - empty names (also after dropping trailing separators), and NUL bytes;
//   - absolute names: a leading separator, which covers "\\server" and "\\?\";
//   - ':' anywhere: drive letters ("C:x", "C:\x") and alternate data streams;
//   - a component made only of dots and spaces, other than ".": ".." and the
//     forms Windows trims to it ("...", ".. ", ". .").
// Double-byte characters are honoured: a trail byte is never a separator.
bool IsSafeEntryName(const std::string& name);

}  // namespace zip
