// What kind of file the configured program is, by its name: how a Windows
// launcher starts it (the launcher), and whether one can (sfxpack warns
// when it cannot). The one list of the kinds a launcher knows.
#pragma once

#include <string>

enum class RunKind {
    kProgram,   // .exe, .com; the scripts the system runs itself, .bat and .cmd: started directly
    kPackage,   // .msi: an installer package, started as "msiexec.exe" /i "package"
    kDocument,  // a kind Windows opens with a program of its own (.txt, .html, .vbs, .msp, ...)
    kUnknown,   // anything else (no extension, .sh, ...): no Windows launcher is known to start it
};

// The kind of `name` (a path; '\' or '/' separate), by its extension in any case.
RunKind RunKindOf(const std::string& name);
