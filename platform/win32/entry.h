// Internal to the win32 backend: what both entry points do, the GUI stub's
// WinMain (entry.cpp) and the console stub's main (entry_console.cpp).
#pragma once

namespace platform::detail {

// Restricts the DLL search to the system folder (first of all), makes this
// a console program when `console` (platform/console.h), and runs the
// application object; returns the process's exit code.
int RunApplication(bool console);

}  // namespace platform::detail
