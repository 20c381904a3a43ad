// The manifest of a cached copy (payload/cachefolder.h): what a cold start
// extracted, so that a warm start can tell, without reading a byte of the
// files, that all of it is still there as it was made. It catches a file
// that a cleaner deleted, one that was replaced, truncated or rewritten (a
// size or write time of its own), a folder that became a link, and a copy
// that a crash left half written; it cannot catch a file changed in place
// that keeps its size and write time.
//
// A UTF-8 text, one record a line, each folder listed once:
//   sfxlauncher cache manifest 1
//   in <folder>                       the folder's entries follow (relative
//                                     to the tree, '\' separators; empty: the tree)
//   file <size> <write time> <name>   write time as a FILETIME value
//   folder <name>                     a sub-folder, whose "in" comes later
//   end <files> <folders>
#pragma once

#include <string>

// Lists the tree under `folder` into `manifest`. False when the tree holds
// a link or a name that cannot stand on a line, or cannot be listed: such a
// tree is not cached.
bool DescribeTree(const std::string& folder, std::string& manifest);

// Whether the tree under `folder` still holds every file and folder that
// `manifest` lists, each with its size and write time, and no link in the
// place of any (nor in the place of the tree). Files and folders that it
// does not list may be there too: a program may keep its own there. Each
// folder listed is searched once, and no file is opened.
bool TreeMatches(const std::string& folder, const std::string& manifest);

// The manifest file `path`: written new (never over anything) and read
// back whole. False, with the last error set, when that fails, or when the
// manifest is beyond what a read takes (64 MB: some million entries).
bool WriteManifest(const std::string& path, const std::string& manifest);
bool ReadManifest(const std::string& path, std::string& manifest);
