// Program entry on Win32: runs the application object.
#include <windows.h>

#include "platform/app.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    platform::Application* app = platform::Application::Current();
    return app ? app->Run() : 1;
}
