// Program entry on posix: hands the arguments to the platform and runs the
// application object.
#include "platform/app.h"
#include "platform/system.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv, argv + argc);
    if (!args.empty()) {
        // Index 0 is the executable's path as Windows would give it.
        std::string self;
        if (platform::GetModuleFileName(self)) args[0] = self;
    }
    platform::SetCommandLineArgs(std::move(args));
    platform::Application* app = platform::Application::Current();
    return app ? app->Run() : 1;
}
