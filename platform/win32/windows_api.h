// Internal to the win32 backend: <windows.h> without the ANSI/wide macros
// whose names the platform interface uses for its own functions (windows.h
// would rename platform::GetTempPath to platform::GetTempPathA). Call the
// explicit ...A functions instead.
#pragma once

#include <windows.h>

#undef AnsiToOem
#undef CreateDirectory
#undef DeleteFile
#undef GetCurrentDirectory
#undef GetFileAttributes
#undef GetModuleFileName
#undef GetTempPath
#undef MoveFile
#undef OemToAnsi
#undef RemoveDirectory
#undef SetCurrentDirectory
#undef SetFileAttributes
