// Program entry on Win32: runs the application object.
#include "platform/win32/windows_api.h"

#include "platform/app.h"

namespace {

// Launchers are started from folders such as Downloads, where any DLL may
// lie: from here on the system loads DLLs from its own folder only. The
// launcher imports only DLLs that the system always takes from there, so
// nothing beside it was loaded before this runs.
void LoadDllsFromTheSystemOnly() {
    using SetDirectories = BOOL(WINAPI*)(DWORD);
    auto setDefault = reinterpret_cast<SetDirectories>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
    if (setDefault == nullptr || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        // Older systems: at least take the current folder out of the search.
        ::SetDllDirectoryA("");
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    LoadDllsFromTheSystemOnly();
    platform::Application* app = platform::Application::Current();
    return app ? app->Run() : 1;
}
