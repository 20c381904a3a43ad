// Where the extraction cache keeps a launcher's payloads, and what their
// folders are called (launcher/cachedrun.h decides when each is made, used
// and replaced):
//
//   <base>\<launcher>\               the launcher's cache folder, private to its user
//     <program>-<digest>\            one payload's copy, renamed into place whole
//       files\                       exactly what the archive holds: the program runs here
//       manifest                     what was extracted (payload/manifest.h)
//     <program>-<digest>.lock        its lock file, held shared by every run of the copy
//     qx_ext_temp_<n>\, .lock        an extraction in progress, or a run's own copy
//                                    (payload/runfolder.h)
//
// <base> is the "/T:" folder when given, else the user's cache folder
// (%LOCALAPPDATA%, $XDG_CACHE_HOME or ~/.cache); <launcher> the launcher's
// file name without its extension; <program> the configured program's
// (its Run value's) file name without its extension; <digest> 16 hex
// digits that change whenever the payload does.
#pragma once

#include <cstdint>
#include <string>

// Raised whenever the layout or what goes into a copy changes, so that a
// launcher never takes a copy an older one made for a copy of its own.
constexpr int kCacheLayoutVersion = 1;

// The launcher's cache folder: `askedBase` (the "/T:" folder) when not
// empty, else under platform::UserCacheFolder(), named after the file
// `launcherPath`. Empty when there is no base.
std::string LauncherCacheFolder(const std::string& askedBase, const std::string& launcherPath);

// The name of the copy of a payload whose configuration runs `run` and
// whose digest is `digest`: the program's name, cut to a length and to
// characters any file system takes, '-', the digest.
std::string CopyFolderName(const std::string& run, const std::string& digest);

// Whether `name` (a name alone, no folder) is one that CopyFolderName makes.
bool IsCopyFolderName(const std::string& name);

// Inside a copy: the program's folder and the manifest beside it.
std::string CopyFilesFolder(const std::string& copy);
std::string CopyManifest(const std::string& copy);

// The digest of a payload: 16 lower-case hex digits of the MD5 of the
// configuration text and the bytes of the archive's central directory in
// the file `launcherPath` (`directorySize` bytes at `directoryStart`),
// which hold every entry's name, CRC, sizes, time and attributes, so that
// any change to what would be extracted, or how, changes it. MD5 serves
// as a checksum here, not a seal: only the user's own launchers write to
// their private cache. Empty when the file cannot be read.
std::string PayloadDigest(const std::string& configText, const std::string& launcherPath,
                          std::uint64_t directoryStart, std::uint64_t directorySize);
