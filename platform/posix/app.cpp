// The user interface on posix is inert: message boxes go to standard error,
// the only message the queue can hold is a posted quit.
#include <time.h>

#include <cstdio>

#include "platform/app.h"
#include "platform/strings.h"
#include "platform/system.h"

namespace platform {

namespace {
bool g_quitPosted = false;
int g_quitCode = 0;
}  // namespace

void ShowWaitCursor(bool) {}
void ListenForSessionEnd(bool) {}

bool Application::PumpMessage() {
    if (g_quitPosted) {
        g_quitPosted = false;
        m_nQuitCode = g_quitCode;
        return false;
    }
    return true;
}

bool MessageWaiting() { return g_quitPosted; }

void PostQuitMessage(int code) {
    g_quitPosted = true;
    g_quitCode = code;
}

void PauseWithMessages(unsigned milliseconds, bool pumpMessages) {
    if (pumpMessages) PumpWaitingMessages();
    timespec pause{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (::nanosleep(&pause, &pause) != 0) {
    }
}

int ShowMessageBox(WindowHandle, const std::string& text, const std::string& caption, unsigned) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
    return kIdOk;
}

int AppMessageBox(const std::string& text) {
    std::string module;
    std::string caption = GetModuleFileName(module) ? FileTitleOf(module) : std::string("launcher");
    return ShowMessageBox(nullptr, text, caption, kMbOk | kMbIconExclamation);
}

}  // namespace platform
