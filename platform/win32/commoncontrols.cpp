#include "platform/win32/commoncontrols.h"

#include "platform/win32/windows_api.h"
#include <commctrl.h>

#include "platform/win32/systemdll.h"

namespace platform::detail {

void LoadCommonControls() {
    static bool loaded = false;
    if (loaded) return;
    HMODULE module = LoadSystemDll("comctl32.dll");
    if (module == nullptr) return;
    using InitFunction = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    auto init = reinterpret_cast<InitFunction>(reinterpret_cast<void*>(::GetProcAddress(module, "InitCommonControlsEx")));
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    if (init != nullptr && init(&controls)) loaded = true;
}

}  // namespace platform::detail
