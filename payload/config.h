// The configuration document carried in the payload.
//
//   <QX_ZCD>
//     <Run>bin\app.exe</Run>   program to start, relative to the extraction folder
//     <Title>My App</Title>    caption of the progress dialog
//     <Prog>0</Prog>           0: silent extraction; other or absent: dialog
//     <UsePW>1</UsePW>         not 0: set the derived password on every entry
//     <pid>text</pid>          the archive password is the MD5 hex digest of this text
//     <Cache>1</Cache>         not 0: extract once into the user's cache and start from there
//     <Args>/qn "a b"</Args>   fixed arguments, before the forwarded ones (as written)
//   </QX_ZCD>
//
// Keys are child elements of the root, matched exactly and case-sensitively;
// the first child with a name wins and their order does not matter. Values
// are the children's decoded, untrimmed text. A text that does not load, or
// whose root is not "QX_ZCD", counts as no configuration: every key takes
// its default.
#pragma once

#include <string>

// Values the run reads from the configuration, with their defaults.
struct LaunchConfig {
    std::string run;
    std::string title;
    int usePassword = 0;
    bool hasPid = false;
    std::string password;  // MD5 hex digest of the pid text; empty without pid
    bool cache = false;    // Cache not 0
    std::string args;      // the program's fixed arguments, quoted by the deployer; empty without Args

    // Whether a run starts the program from the extraction cache
    // (launcher/cachedrun.h): a cache for nothing to run would only fill the disk.
    bool UsesCache() const { return cache && !run.empty(); }
};

// Parses `text` and fills `config`; returns false (config left at defaults)
// when the text does not load or the root is not "QX_ZCD".
bool ReadLaunchConfig(const std::string& text, LaunchConfig& config);

// Whether the archive entry named `entryName` is the configured program
// `run` (a path relative to the extraction folder): '/' and '\' are one
// separator, and ASCII case does not matter, as on Windows. Never for an
// empty `run`.
bool IsRunProgram(const std::string& entryName, const std::string& run);

// The silent decision from a configuration text: true only when Prog is
// present and reads as 0.
bool ConfigSelectsSilent(const std::string& text);

// An integer value read like atoi: leading white space, an optional sign,
// decimal digits up to the first other character; no digits read as 0. Values
// beyond the int range saturate.
int ConfigInteger(const std::string& text);
