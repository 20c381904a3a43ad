// Backend-independent parts of the application object.
#include "platform/app.h"

#include <atomic>

namespace platform {

namespace {
Application* g_app = nullptr;
std::atomic<int> g_waitDepth{0};
// The handler may be run by a thread of the system's (the console's), while
// the thread that set it takes it back.
std::atomic<void (*)(void*)> g_sessionEndHandler{nullptr};
void* g_sessionEndContext = nullptr;        // written before the handler is
std::atomic<int> g_sessionEnders{0};       // threads looking for the handler or running it
}  // namespace

// Backend hooks for the visible cursor, and for hearing the end of the session.
void ShowWaitCursor(bool on);
void ListenForSessionEnd(bool on);

void SetSessionEndHandler(void (*handler)(void* context), void* context) {
    if (handler != nullptr) {
        g_sessionEndContext = context;
        g_sessionEndHandler.store(handler);
    } else {
        g_sessionEndHandler.store(nullptr);
        // A handler that another thread has taken runs to its end first.
        while (g_sessionEnders.load() != 0) PauseWithMessages(10, false);
    }
    ListenForSessionEnd(handler != nullptr);
}

void NotifySessionEnd() {
    // Marked before the handler is taken, so that taking it back waits for it.
    ++g_sessionEnders;
    // Once, whichever window or console event comes first.
    if (void (*handler)(void*) = g_sessionEndHandler.exchange(nullptr)) handler(g_sessionEndContext);
    --g_sessionEnders;
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
