// Windows on posix: only the hidden stand-alone ones, kept in memory.
#include <map>
#include <string>

#include "platform/window.h"

namespace platform {

namespace {

struct MemoryWindow {
    std::string text;
    bool progress = false;
    std::intptr_t low = 0, high = 100, pos = 0;
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

}  // namespace

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
            return previous;
        case kPbmGetRange: return wParam != 0 ? w->low : w->high;
        case kPbmSetPos:
            // A progress bar keeps its position inside its range.
            w->pos = static_cast<int>(wParam);
            if (w->pos < w->low) w->pos = w->low;
            if (w->pos > w->high) w->pos = w->high;
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
