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

}  // namespace platform
