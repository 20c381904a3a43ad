// Program entry of the console stub (console subsystem): runs the
// application object as a console program.
#include "platform/win32/entry.h"

int main() { return platform::detail::RunApplication(true); }
