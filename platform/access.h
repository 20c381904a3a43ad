// Who may open a private folder, as one rule that both creating such a
// folder and checking one can hold against: the user running the launcher,
// the system account and the Administrators group, with full control that
// everything inside inherits, and nobody else (nothing is inherited from
// the parent). Installers and services run as SYSTEM and must read what a
// launcher started from the folder.
#pragma once

#include <string>

namespace platform {

// The rule as a security descriptor in the system's text form (SDDL): a
// protected DACL of three entries, for `userSid` (text form, "S-1-5-..."),
// for SYSTEM ("SY") and for Administrators ("BA").
std::string PrivateFolderSddl(const std::string& userSid);

// Whether `path` is a folder, not a link, that holds to the rule, so that
// nobody else can have put or changed anything in it: on Windows its owner
// is the user running this process (or the token's default owner, which
// for an elevated process is Administrators) and its DACL allows nobody
// but that user, SYSTEM and Administrators (denials restrict nobody but
// those they name; any other kind of entry fails); on posix it belongs to
// this process's user and grants group and others nothing. False, with the
// last error set (kErrorAccessDenied for a folder that breaks the rule),
// otherwise.
bool IsPrivateFolder(const std::string& path);

}  // namespace platform
