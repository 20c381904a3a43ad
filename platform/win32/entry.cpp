// Program entry on Win32: runs the application object.
#include "platform/win32/windows_api.h"

#include "platform/app.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    platform::Application* app = platform::Application::Current();
    return app ? app->Run() : 1;
}
