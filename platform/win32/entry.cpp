// Program entry of the GUI stub: runs the application object.
#include "platform/win32/windows_api.h"

#include "platform/win32/entry.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return platform::detail::RunApplication(false); }
