// The launcher's one application object; the platform's entry point runs it.
#include "launcher/app.h"

CLauncherApp theApp;
