// The self-extraction run: configuration, a private temporary folder,
// extraction, launch and wait, cleanup, and what stays behind.
#pragma once

#include "payload/extractor.h"
#include "platform/app.h"

class CConsoleProgress;
class CProgressCallback;

// What the progress dialog, or the console, hands a run; all null in a
// silent run of the GUI stub. None of it is owned by the run.
struct RunWindows {
    platform::WindowHandle dialog = nullptr;  // captioned with the title, hidden before the program starts
    CProgressCallback* callback = nullptr;    // moves the bar, pumps messages, stops an entry on cancel
    bool* cancel = nullptr;                   // raised by the dialog or Ctrl+C; polled between entries
    CConsoleProgress* console = nullptr;      // a console program's line instead of the bar
};

// Runs once: reads the configuration of `payload`'s file (once; the payload
// caches it), extracts the archive into a fresh private temporary folder
// (or, for a payload that asks for the extraction cache, finds or makes its
// copy there: launcher/cachedrun.h), starts the configured program there
// and waits for it, deletes the folder (never the cache's copy) and posts
// the quit message. The launched program's exit code (or the
// launcher's own error code) goes to the application object, and so does a
// folder that could not be deleted completely, which a dialog run also
// names in a message box. Returns 0 when it ran to its end, 2 when it could
// not extract at all (no folder, or an archive that cannot be opened).
int ExtractAndRun(CSFEFileExtractor& payload, const RunWindows& windows = RunWindows());
