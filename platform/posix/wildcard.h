// The Windows file-mask rules, for the posix directory search.
//
// Windows rewrites a search mask before matching: "*.*" becomes "*"; '?'
// matches one character, or none when the name is at a dot or at its end;
// a '.' followed by '?', '*' or the end of the mask matches a dot or the
// end of the name; a '*' followed by '.' cannot pass the name's last dot.
// So "*." matches names without a dot and "*.txt" never matches "a.txt.bak".
// Letters match without regard to ASCII case.
#pragma once

#include <string>

namespace platform::detail {

bool MatchesFileMask(const std::string& name, const std::string& mask);

}  // namespace platform::detail
