#include "platform/win32/commoncontrols.h"

#include "platform/win32/windows_api.h"
#include <commctrl.h>

namespace platform::detail {

void LoadCommonControls() {
    static bool loaded = false;
    if (loaded) return;
    HMODULE module = ::LoadLibraryExA("comctl32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr) module = ::LoadLibraryA("comctl32.dll");  // a system that lacks the search flags
    if (module == nullptr) return;
    using InitFunction = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    auto init = reinterpret_cast<InitFunction>(reinterpret_cast<void*>(::GetProcAddress(module, "InitCommonControlsEx")));
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    if (init != nullptr && init(&controls)) loaded = true;
}

}  // namespace platform::detail
