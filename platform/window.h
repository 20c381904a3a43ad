// The few window services that status displays need: liveness, text and
// messages, plus hidden stand-alone windows that tests (and anyone without
// a dialog) can hand to code that reports into a window.
//
// On posix there are no real windows: the hidden windows created here are
// records in memory that keep their text and, for a progress bar, its range
// and position, so that code reporting into them can be checked the same
// way on both backends. Every other handle is not a live window there.
#pragma once

#include <cstdint>
#include <string>

#include "platform/app.h"

namespace platform {

// Progress bar messages (the Windows values).
enum : unsigned {
    kPbmSetRange = 0x401,    // lParam: low word minimum, high word maximum
    kPbmSetPos = 0x402,      // wParam: position; returns the previous one
    kPbmSetRange32 = 0x406,  // wParam: minimum, lParam: maximum (int, as positions are)
    kPbmGetRange = 0x407,    // wParam: nonzero for the minimum, 0 for the maximum
    kPbmGetPos = 0x408,
};

// True when `window` is a window that still exists (IsWindow); false for null.
bool IsLiveWindow(WindowHandle window);
void SetWindowTextOf(WindowHandle window, const std::string& text);
std::string WindowTextOf(WindowHandle window);
// Sends a message and returns the window's answer (0 for a dead window).
std::intptr_t SendWindowMessage(WindowHandle window, unsigned message, std::uintptr_t wParam,
                                std::intptr_t lParam);

// Hidden windows of their own: a static text and a progress bar (range 0-100).
WindowHandle CreateHiddenTextWindow();
WindowHandle CreateHiddenProgressBar();
void DestroyHiddenWindow(WindowHandle window);

}  // namespace platform
