// Internal to the posix backend: the places a run's temporary folder may go
// (platform::ChooseTempFolderBase), apart for the tests.
#pragma once

#include <string>
#include <vector>

namespace platform::detail {

// $TMPDIR, /tmp, $XDG_RUNTIME_DIR, $XDG_CACHE_HOME (or ~/.cache) and the
// folder of the running program, those that are set, each once, as
// Windows paths without trailing '\'.
std::vector<std::string> TempFolderCandidates();

// The first of `candidates` that is a folder where a program placed there
// would be started; empty when none is. `passedOver` gets one line per
// candidate not taken before the chosen one: the folder, ": " and why.
std::string FirstUsableTempFolder(const std::vector<std::string>& candidates, std::string& passedOver);

}  // namespace platform::detail
