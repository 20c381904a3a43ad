// Internal to the win32 backend: loading the system's DLLs from the system
// folder only, never from the launcher's own folder (a Downloads folder may
// hold a DLL of any name).
#pragma once

#include "platform/win32/windows_api.h"

namespace platform::detail {

// Restricts the DLL search of this process to the system folder where the
// system can (SetDefaultDllDirectories: Windows 8, and Windows 7 and Vista
// with their update), and takes the current folder out of it elsewhere.
// Called first of all at start (entry.h).
void RestrictDllSearchToSystem();

// Loads the system DLL `name` ("comctl32.dll") from the system folder: with
// the search flags where the system has them, otherwise by its full path
// in the system folder, its own imports searched there first rather than
// beside the launcher. `withSearchFlags` false takes the second way on any
// system (for tests). Null, with the last error set, on failure.
HMODULE LoadSystemDll(const char* name, bool withSearchFlags);
HMODULE LoadSystemDll(const char* name);

}  // namespace platform::detail
