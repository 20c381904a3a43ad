// Program entry on Win32: runs the application object.
#include "platform/win32/windows_api.h"

#include "platform/app.h"
#include "platform/win32/systemdll.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Launchers are started from folders such as Downloads, where any DLL
    // may lie: from here on DLLs come from the system folder only. The
    // launcher imports only DLLs that the system always takes from there,
    // so nothing beside it was loaded before this runs.
    platform::detail::RestrictDllSearchToSystem();
    platform::Application* app = platform::Application::Current();
    return app ? app->Run() : 1;
}
