#include "platform/win32/systemdll.h"

#include <delayimp.h>

#include <string>

#include "platform/win32/wide.h"

namespace platform::detail {

namespace {

bool g_bSearchFlags = false;  // SetDefaultDllDirectories took effect

// The delay-loaded DLLs (USER32, ADVAPI32: see platform/CMakeLists.txt) go
// the same way as every other: the loader's own LoadLibrary would search
// the launcher's folder first where the search flags are missing.
FARPROC WINAPI LoadDelayedDll(unsigned notification, PDelayLoadInfo info) {
    if (notification != dliNotePreLoadLibrary || info == nullptr || info->szDll == nullptr) return nullptr;
    return reinterpret_cast<FARPROC>(LoadSystemDll(info->szDll));
}

}  // namespace

void RestrictDllSearchToSystem() {
    using SetDirectories = BOOL(WINAPI*)(DWORD);
    auto setDefault = reinterpret_cast<SetDirectories>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    g_bSearchFlags = setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Older systems: at least take the current folder out of the search.
    if (!g_bSearchFlags) ::SetDllDirectoryW(L"");
}

HMODULE LoadSystemDll(const char* name) { return LoadSystemDll(name, g_bSearchFlags); }

HMODULE LoadSystemDll(const char* name, bool withSearchFlags) {
    if (withSearchFlags) return ::LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    wchar_t folder[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    const std::string path = Narrow(folder, length) + "\\" + name;
    // With a full path, the DLL's own imports are looked for beside it first.
    return ::LoadLibraryExW(Wide(WideText(path)), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace platform::detail

extern "C" {
PfnDliHook __pfnDliNotifyHook2 = platform::detail::LoadDelayedDll;
}
