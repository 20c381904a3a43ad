// Extracting a launcher's archive into the run's folder: on worker threads
// where that helps, with the same result as one entry after another.
#pragma once

#include <string>

#include "launcher/run.h"
#include "payload/config.h"

class CZipArchive;

struct ExtractionOutcome {
    bool programFailed = false;  // the configured program's own entry failed: never start it
    bool complete = true;        // every entry came out whole: none failed, nothing was cancelled
    unsigned threads = 1;        // workers whose extraction stands (1: one entry after another)
    bool steppedBack = false;    // meant for workers, the archive came out one entry after another
    // The folder could not be emptied for that second attempt, so nothing
    // was extracted on top of what stayed: the run must not go on.
    bool notEmptied = false;
};

// The workers a run asks for: SFX_LAUNCHER_THREADS when it is set to a
// number from 1 up (benchmarks and tests set it), else 0: as many as help
// (the processors this process may use, at most kMaxExtractionThreads, and
// one for a payload of less than a megabyte).
constexpr unsigned kMaxExtractionThreads = 8;
unsigned ExtractionThreads();

// Extracts every entry of `archive` (open on the file `archivePath`) under
// `folder`, with the configured password, until `windows.cancel` is raised,
// and closes the archive. An entry that fails is passed over, and the rules
// that decide whether later entries still come out hold as in the archive's
// own loop: the files, contents, times and attributes are those of
// extracting one entry after another. With more than one thread (`threads`
// 0: as ExtractionThreads says for 0), folder entries are made first and
// file entries go to workers, each with its own handle on the file and its
// own inflater; only the calling thread touches the windows (it moves the
// bar and processes messages meanwhile, and a cancel stops the workers
// within a twentieth of a second). Should a worker meet what only the
// one-by-one order decides (an entry whose data fails, which keeps later
// files from coming out; two entries of one name), the folder is emptied
// and the archive extracted one entry after another after all; when it
// cannot be emptied, nothing more is extracted (`notEmptied`).
ExtractionOutcome ExtractArchive(CZipArchive& archive, const std::string& archivePath, const LaunchConfig& config,
                                 const std::string& folder, const RunWindows& windows, unsigned threads);
