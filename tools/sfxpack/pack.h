// Turning a folder into a launcher: stub (with the deployer's resources) +
// payload (marker, length, configuration) + ZIP archive of the folder.
#pragma once

#include <string>

#include "tools/sfxpack/peresources.h"
#include "tools/sfxpack/walk.h"

struct PackOptions {
    std::string stub;          // the launcher stub to copy; it must carry this build's stub identification
    std::string run;           // program to start, relative to the folder ('\' or '/')
    std::string title;         // progress dialog caption
    bool hasTitle = false;
    std::string args;          // the program's fixed arguments, as written (Args)
    bool silent = false;       // Prog 0: no progress dialog
    std::string pid;           // identifier the archive password derives from
    bool hasPid = false;
    bool usePassword = false;  // encrypt entries; UsePW 1
    bool cache = false;        // Cache 1: extract once into the user's cache, start from there
    int level = 6;             // deflate level, 0 stores every file
    bool progress = false;     // show the progress line (on standard error)
    sfxpack::LinkPolicy links = sfxpack::LinkPolicy::kCopyInside;  // symbolic links in the folder
    sfxpack::ResourceOptions resources;  // icon, version, elevation of the copy of the stub
    std::string output;
    std::string folder;
};

// Escapes text for XML element content.
std::string XmlEscape(const std::string& text);
// The configuration document for these options.
std::string BuildConfiguration(const PackOptions& options);

// Writes the launcher, checks it with the stub's own reader and only then
// renames it into place. On failure returns false with a message in `error`
// and leaves no output file behind. Honours SOURCE_DATE_EPOCH: no stored
// time is later than it. Links left out (LinkPolicy::kSkip) are named on
// standard error.
bool PackLauncher(const PackOptions& options, std::string& error);
