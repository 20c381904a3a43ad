// Turning a folder into a launcher: stub + payload (marker, length,
// configuration) + ZIP archive of the folder.
#pragma once

#include <string>

struct PackOptions {
    std::string stub;          // the launcher stub to copy
    std::string run;           // program to start, relative to the folder ('\' or '/')
    std::string title;         // progress dialog caption
    bool hasTitle = false;
    bool silent = false;       // Prog 0: no progress dialog
    std::string pid;           // identifier the archive password derives from
    bool hasPid = false;
    bool usePassword = false;  // encrypt entries; UsePW 1
    std::string output;
    std::string folder;
};

// Escapes text for XML element content.
std::string XmlEscape(const std::string& text);
// The configuration document for these options.
std::string BuildConfiguration(const PackOptions& options);

// Writes the launcher. On failure returns false with a message in `error`
// and leaves no output file behind.
bool PackLauncher(const PackOptions& options, std::string& error);
