// Which folder a run's temporary folder goes under: the first place where
// it can be made and where the extracted program can then be started.
#pragma once

#include <string>
#include <vector>

// The first of `candidates` (folders without trailing '\') that is a folder
// where programs can be started; empty when none is. `passedOver` gets one
// line per candidate that was not taken before the chosen one (all of
// them when none was): the folder, ": " and why.
std::string ChooseTempBase(const std::vector<std::string>& candidates, std::string& passedOver);
