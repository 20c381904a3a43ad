// Windows on posix: only the hidden stand-alone ones, kept in memory.
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>

#include "platform/posix/posix_internal.h"
#include "platform/window.h"

namespace platform {

namespace {

struct MemoryWindow {
    std::string text;
    bool progress = false;
    std::intptr_t low = 0, high = 100, pos = 0;
    // A progress bar echoed as one line of text on a terminal, with this
    // window's text as its caption.
    WindowHandle echoCaption = nullptr;
    int echoedPercent = -1;
};

std::map<WindowHandle, MemoryWindow*>& Windows() {
    static std::map<WindowHandle, MemoryWindow*> windows;
    return windows;
}

MemoryWindow* Find(WindowHandle window) {
    auto it = Windows().find(window);
    return it == Windows().end() ? nullptr : it->second;
}

WindowHandle Create(bool progress) {
    auto w = new MemoryWindow;
    w->progress = progress;
    Windows()[w] = w;
    return w;
}

void Echo(MemoryWindow& bar) {
    if (bar.echoCaption == nullptr || ::isatty(2) == 0) return;
    MemoryWindow* caption = Find(bar.echoCaption);
    std::intptr_t span = bar.high - bar.low;
    int percent = span > 0 ? static_cast<int>((bar.pos - bar.low) * 100 / span) : 0;
    if (percent == bar.echoedPercent) return;
    bar.echoedPercent = percent;
    const int width = 30;
    std::string filled(static_cast<std::size_t>(percent * width / 100), '#');
    filled.resize(width, '.');
    std::fprintf(stderr, "\r%s [%s] %3d%%", caption ? caption->text.c_str() : "", filled.c_str(), percent);
    std::fflush(stderr);
}

}  // namespace

namespace detail {

void EchoProgressToTerminal(WindowHandle bar, WindowHandle caption) {
    if (MemoryWindow* w = Find(bar)) w->echoCaption = caption;
}

void EndProgressEcho(WindowHandle bar) {
    MemoryWindow* w = Find(bar);
    if (w == nullptr || w->echoCaption == nullptr) return;
    if (w->echoedPercent >= 0 && ::isatty(2) != 0) std::fputc('\n', stderr);
    w->echoCaption = nullptr;
    w->echoedPercent = -1;
}

}  // namespace detail

bool IsLiveWindow(WindowHandle window) { return Find(window) != nullptr; }

void SetWindowTextOf(WindowHandle window, const std::string& text) {
    if (MemoryWindow* w = Find(window)) w->text = text;
}

std::string WindowTextOf(WindowHandle window) {
    MemoryWindow* w = Find(window);
    return w ? w->text : std::string();
}

std::intptr_t SendWindowMessage(WindowHandle window, unsigned message, std::uintptr_t wParam,
                                std::intptr_t lParam) {
    MemoryWindow* w = Find(window);
    if (w == nullptr || !w->progress) return 0;
    std::intptr_t previous = w->pos;
    switch (message) {
        case kPbmSetRange:
            w->low = lParam & 0xFFFF;
            w->high = (lParam >> 16) & 0xFFFF;
            return previous;
        case kPbmSetRange32:
            // Windows takes these (and the position) as int.
            w->low = static_cast<int>(wParam);
            w->high = static_cast<int>(lParam);
            Echo(*w);
            return previous;
        case kPbmGetRange: return wParam != 0 ? w->low : w->high;
        case kPbmSetPos:
            // A progress bar keeps its position inside its range.
            w->pos = static_cast<int>(wParam);
            if (w->pos < w->low) w->pos = w->low;
            if (w->pos > w->high) w->pos = w->high;
            Echo(*w);
            return previous;
        case kPbmGetPos: return w->pos;
        default: return 0;
    }
}

WindowHandle CreateHiddenTextWindow() { return Create(false); }
WindowHandle CreateHiddenProgressBar() { return Create(true); }

void DestroyHiddenWindow(WindowHandle window) {
    MemoryWindow* w = Find(window);
    if (w == nullptr) return;
    Windows().erase(window);
    delete w;
}

}  // namespace platform
