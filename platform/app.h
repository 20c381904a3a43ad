// The application object and the user-interface services around it:
// message boxes, the counted wait cursor, the message queue.
//
// In a console program (platform/console.h: the console stub, and every
// posix program) message boxes write "caption: text" to standard error and
// return at once. On posix the rest of the user interface is inert too:
// the queue is always empty.
#pragma once

#include <string>

namespace platform {

// An opaque window handle (HWND on win32, unused on posix).
using WindowHandle = void*;

// Message box flags (the Windows values).
enum : unsigned {
    kMbOk = 0x00,
    kMbIconExclamation = 0x30,
};
enum : int { kIdOk = 1 };

// The single application object. The entry point of the program calls
// Run(), which calls InitInstance(); when that returns true a message loop
// runs until the quit message. The process ends with ExitInstance()'s value.
class Application {
public:
    Application();
    virtual ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    virtual bool InitInstance() = 0;
    virtual int ExitInstance();

    int Run();

    // Removes one message and dispatches it like the message loop does;
    // false when it was the quit message.
    bool PumpMessage();
    // Idle processing; returns true while more idle time is wanted.
    virtual bool OnIdle(long count);

    WindowHandle MainWindow() const { return m_hMainWnd; }
    void SetMainWindow(WindowHandle window) { m_hMainWnd = window; }

    // The one instance (null before it is constructed).
    static Application* Current();

private:
    WindowHandle m_hMainWnd = nullptr;
    int m_nQuitCode = 0;
};

// The application message box: OK button, exclamation icon, the
// executable's file name without extension as caption, owned by the main
// window when there is one. Returns the button pressed.
int AppMessageBox(const std::string& text);
// The plain platform message box.
int ShowMessageBox(WindowHandle owner, const std::string& text, const std::string& caption,
                   unsigned flags);

// True when a message waits in the thread's queue (not removed).
bool MessageWaiting();
void PostQuitMessage(int code);

// Processes waiting messages the way the dialog, the folder walk and the
// deleter do: one message at a time through the application object; a quit
// message is re-posted and ends the pumping; an empty queue gets idle
// processing until no more is wanted.
void PumpWaitingMessages();

// Lets `milliseconds` pass; with `pumpMessages`, waiting messages are
// processed meanwhile as PumpWaitingMessages does, so windows stay alive.
void PauseWithMessages(unsigned milliseconds, bool pumpMessages);

// The end of the session (log-off, shutdown, restart): `handler(context)`
// runs once when the system says that the session ends, before this
// process answers; after it returns the system may end the process at any
// moment, so it must be done within a few seconds. On win32 a hidden
// top-level window of the thread that set it hears it (WM_ENDSESSION; a
// message-only window hears no broadcast), and so does a modal dialog, and
// the handler runs on that thread; in a console program closing the
// console, log-off and shutdown run it too, on the thread the system calls
// the console's handler on. A null `handler` takes it back, waiting until a
// handler that another thread runs has returned. The question whether the
// session may end (WM_QUERYENDSESSION) is always answered yes, at once. On
// posix nothing calls the handler: the end of a terminal session is SIGHUP.
void SetSessionEndHandler(void (*handler)(void* context), void* context);
// Runs the handler set, if any (once): what the windows do when they hear it.
void NotifySessionEnd();

// The counted wait cursor: shown while at least one WaitCursor lives.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
    static int Depth();  // how many are alive (for tests)
};

}  // namespace platform
