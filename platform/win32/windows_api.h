// Internal to the win32 backend: <windows.h> without the ANSI/wide macros
// whose names the platform interface uses for its own functions (windows.h
// would rename platform::GetTempPath to platform::GetTempPathA). Call the
// explicit ...W functions instead, with the strings of win32/wide.h.
#pragma once

#include <windows.h>

#undef CreateDirectory
#undef DeleteFile
#undef GetCurrentDirectory
#undef GetFileAttributes
#undef GetModuleFileName
#undef GetTempPath
#undef MoveFile
#undef RemoveDirectory
#undef SetCurrentDirectory
#undef SetFileAttributes
