// Shared by the tests of the whole run: launchers packed by sfxpack around a
// shell script, run in this process as the stub runs them.
#pragma once

#include <string>
#include <vector>

#include "launcher/run.h"
#include "test_util/scratch.h"

namespace runtest {

// Packs the scratch folder's "app" with a program "app" that ends with
// `exitCode` into the silent launcher `name` (asking for the extraction
// cache when `cache`); returns its native path, or "" on failure.
std::string PackSilentLauncher(test_util::ScratchDir& dir, int exitCode, bool cache = false,
                               const std::string& name = "launcher");

struct RunResult {
    int exitCode;
    std::string leftBehind;
};

// Runs the launcher file `launcher` (native path) once, with its folders
// under `base`, which is also its "/T:" folder (where its cache goes).
RunResult RunLauncher(const std::string& launcher, const std::string& base, const RunWindows& windows = RunWindows());

// The names in a folder, sorted; none when it is missing.
std::vector<std::string> Names(const std::string& nativeFolder);

}  // namespace runtest
