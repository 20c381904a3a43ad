// The extraction cache (<Cache>1</Cache>): a payload is extracted once,
// into a copy in the launcher's cache folder (payload/cachefolder.h), and
// every later start of the same payload starts its program there, without
// extracting or writing anything.
//
// Warm start: the copy's lock is taken shared (the lock file exists since
// the copy was made), the copy is checked (private to the user,
// platform/access.h; every file of its manifest there with its size and
// write time, payload/manifest.h), and the program starts in it. The run
// holds the lock until it ends and deletes nothing.
//
// Cold start (no copy yet): holding the copy's lock shared (creating the
// lock file), the archive is extracted into a fresh run folder beside the
// copy (claimed like any run's, so a killed cold start is swept later),
// the manifest is written last, and the folder is renamed to the copy's
// name in one step. Of several launchers that start cold together one
// rename wins; the others delete their folders and start the winner's copy.
// An extraction that was not complete (an entry failed, or a cancel) is
// never renamed: the run uses it as its own copy, deleted at its end.
//
// Repair: a copy that fails a check is never started. Once no run holds it
// (its lock taken exclusively, and the check failing again), it is deleted
// and made again as in a cold start. While some run still holds it, the
// run extracts a copy of its own beside it and deletes that at its end; a
// later start replaces the damaged copy.
#pragma once

#include <string>

#include "launcher/extraction.h"
#include "launcher/run.h"
#include "payload/config.h"
#include "platform/folderlock.h"

class CZipArchive;

// Where a run starts its program, and what it holds there until it ends.
struct RunPlace {
    std::string programFolder;  // the program's folder, and its working folder
    std::string ownFolder;      // a folder the run made for itself and deletes at its end; empty for a cached copy
    platform::FolderLock own;   // ownFolder's lock, held exclusively
    platform::FolderLock copy;  // the cached copy's lock, held shared while its program runs
    std::string cacheFolder;    // the launcher's cache folder, when the run uses it: its sweep goes there
    ExtractionOutcome extraction;  // the run's own extraction (a cached copy's was complete)
};

// How many copies of a launcher's payloads the sweep keeps, besides those in use.
constexpr unsigned kKeptCopies = 2;

// Prepares `place` from the cache for the payload of `archive` (open on
// `launcherPath`, configuration text `configText` read into `config`),
// under the cache folder named by `askedBase` (the "/T:" folder, or empty).
// False, having extracted nothing and holding nothing, when the cache
// cannot be used at all: no folder for it, one that is not private to the
// user, or (posix) one where programs cannot be started; the run then
// extracts into a temporary folder as without the cache, and the archive
// may have to be opened again. The reason goes to the debug output.
bool PrepareCachedRun(CZipArchive& archive, const std::string& launcherPath, const std::string& configText,
                      const LaunchConfig& config, const RunWindows& windows, const std::string& askedBase,
                      RunPlace& place);
