// Removing the folders that runs which died left behind: a run marks its
// folder as live with a lock on the file beside it (platform/folderlock.h)
// for as long as it lives, so a folder whose lock can be taken belongs to
// a run that has ended, however it ended.
#pragma once

#include <string>

// Names of folders that a sweep may remove (a name alone, no folder).
using SweepNameFilter = bool (*)(const std::string& name);

// Under `base` (no trailing '\'), removes each folder whose name `isOurs`
// accepts, that has a lock file beside it and whose lock this process can
// take exclusively: the lock is held until the folder and then its lock
// file are gone. A lock file whose folder is gone goes too. Never touches
// a folder that is live, one without a lock file, a link of such a name (or
// a lock file that is a link), nor anything a link inside points to; what
// cannot be deleted at once stays, with its lock file, for a later sweep.
// Waits for nothing: busy files are not retried. Returns how many folders
// it removed.
unsigned SweepDeadFolders(const std::string& base, SweepNameFilter isOurs);

// The same for folders that live on after their runs (the extraction
// cache's copies), keeping the `keep` newest of those that `isOurs`
// accepts and that have a lock file (by their last write time, which their
// making sets), whether anybody holds them or not; folders as new as the
// newest kept stay too. The others go unless somebody holds them, as do
// lock files whose folder is gone. With `keep` 0 it is SweepDeadFolders.
// Returns how many folders it removed.
unsigned SweepOldFolders(const std::string& base, SweepNameFilter isOurs, unsigned keep);
