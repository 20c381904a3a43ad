// Backend-independent parts of the application object.
#include "platform/app.h"

#include <atomic>

namespace platform {

namespace {
Application* g_app = nullptr;
std::atomic<int> g_waitDepth{0};
void (*g_sessionEndHandler)(void*) = nullptr;
void* g_sessionEndContext = nullptr;
}  // namespace

// Backend hooks for the visible cursor, and for hearing the end of the session.
void ShowWaitCursor(bool on);
void ListenForSessionEnd(bool on);

void SetSessionEndHandler(void (*handler)(void* context), void* context) {
    g_sessionEndHandler = handler;
    g_sessionEndContext = context;
    ListenForSessionEnd(handler != nullptr);
}

void NotifySessionEnd() {
    void (*handler)(void*) = g_sessionEndHandler;
    g_sessionEndHandler = nullptr;  // once, whichever window hears it first
    if (handler != nullptr) handler(g_sessionEndContext);
}

Application::Application() { g_app = this; }
Application::~Application() {
    if (g_app == this) g_app = nullptr;
}

Application* Application::Current() { return g_app; }

int Application::ExitInstance() { return m_nQuitCode; }

bool Application::OnIdle(long) { return false; }

int Application::Run() {
    if (InitInstance()) {
        while (PumpMessage()) {
        }
    }
    return ExitInstance();
}

void PumpWaitingMessages() {
    Application* app = Application::Current();
    while (MessageWaiting()) {
        if (app == nullptr || !app->PumpMessage()) {
            PostQuitMessage(0);
            return;
        }
    }
    if (app != nullptr) {
        long idle = 0;
        while (app->OnIdle(idle++)) {
        }
    }
}

WaitCursor::WaitCursor() {
    if (g_waitDepth++ == 0) ShowWaitCursor(true);
}

WaitCursor::~WaitCursor() {
    if (--g_waitDepth == 0) ShowWaitCursor(false);
}

int WaitCursor::Depth() { return g_waitDepth; }

}  // namespace platform
