// Operating-system services on Win32: wide calls, our strings converted
// from and to UTF-8 at this boundary.
#include "platform/win32/windows_api.h"

#include <aclapi.h>
#include <io.h>
#include <sddl.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/access.h"
#include "platform/strings.h"
#include "platform/system.h"
#include "platform/widepath.h"
#include "platform/win32/token.h"
#include "platform/win32/wide.h"

// The C runtime's wide arguments (msvcrt; no header declares it).
extern "C" int __cdecl __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** environment, int expandWildcards,
                                      int* startInfo);

namespace platform {

namespace {

using detail::Narrow;
using detail::WidePath;
using detail::WideText;

// The runtime's own split of the wide command line, so that arguments arrive
// whole whatever the ANSI code page. Made before main: a function's static
// would bring its first-use guard, 2 KB of runtime, into the stub.
std::vector<std::string> g_args = [] {
    int argc = 0, startInfo = 0;
    wchar_t** argv = nullptr;
    wchar_t** environment = nullptr;
    __wgetmainargs(&argc, &argv, &environment, 0, &startInfo);
    std::vector<std::string> wide;
    for (int i = 0; argv != nullptr && i < argc; ++i) wide.push_back(Narrow(argv[i]));
    return wide;
}();

// The texts of unknown length the system gives, each from a call that takes
// a buffer and its size and returns the length (without terminator) or the
// size it needs.
enum class SystemText { kModuleFileName, kTempPath, kCurrentDirectory, kFullPath, kEnvironment };

DWORD CallForText(SystemText which, const wchar_t* argument, wchar_t* buffer, DWORD size) {
    switch (which) {
        case SystemText::kModuleFileName: {
            // This call cuts the name to the buffer rather than say how long it is.
            const DWORD n = ::GetModuleFileNameW(nullptr, buffer, size);
            return n < size ? n : size;
        }
        case SystemText::kTempPath: return ::GetTempPathW(size, buffer);
        case SystemText::kCurrentDirectory: return ::GetCurrentDirectoryW(size, buffer);
        case SystemText::kFullPath: return ::GetFullPathNameW(argument, size, buffer, nullptr);
        case SystemText::kEnvironment: return ::GetEnvironmentVariableW(argument, buffer, size);
    }
    return 0;
}

// The text `which`, empty (last error set) on failure.
std::string ReadSystemText(SystemText which, const wchar_t* argument = nullptr) {
    std::u16string buffer(MAX_PATH + 1, u'\0');
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD n = CallForText(which, argument, reinterpret_cast<wchar_t*>(&buffer[0]), size);
        if (n == 0) return std::string();
        if (n < size) return Narrow(reinterpret_cast<const wchar_t*>(buffer.data()), n);
        if (size >= kMaxWidePath) return std::string();
        buffer.assign(n + 1 > size * 2 ? n + 1 : size * 2, u'\0');
    }
}

FILETIME ToFileTime(std::uint64_t value) {
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(value & 0xFFFFFFFFu);
    ft.dwHighDateTime = static_cast<DWORD>(value >> 32);
    return ft;
}

std::uint64_t FromFileTime(const FILETIME& ft) {
    return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

}  // namespace

// Our strings are UTF-8: no byte of a character of several bytes is ever '\'.
bool IsLeadByte(unsigned char) { return false; }
bool SetLeadByteCodePage(unsigned) { return false; }

std::uint32_t GetLastError() { return ::GetLastError(); }
void SetLastError(std::uint32_t code) { ::SetLastError(code); }

std::string SystemErrorText(std::uint32_t code) {
    wchar_t* text = nullptr;
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                   FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, code, 0x400, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::string result;
    if (n != 0 && text != nullptr) result = Narrow(text, n);
    if (text != nullptr) ::LocalFree(text);
    return result;
}

std::uint32_t ErrorFromErrno(int err) {
    switch (err) {
        case 0: return ERROR_SUCCESS;
        case ENOENT: return ERROR_FILE_NOT_FOUND;
        case ENOTDIR: return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM: return ERROR_ACCESS_DENIED;
        case EEXIST: return ERROR_ALREADY_EXISTS;
        case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
        case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
        case EMFILE: return ERROR_TOO_MANY_OPEN_FILES;
        case ENOSPC: return ERROR_DISK_FULL;
        case EBADF: return ERROR_INVALID_HANDLE;
        case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
        case EINVAL: return ERROR_INVALID_PARAMETER;
        default: return ERROR_GEN_FAILURE;
    }
}

void SetCommandLineArgs(std::vector<std::string> args) { g_args = std::move(args); }
const std::vector<std::string>& CommandLineArgs() { return g_args; }
std::string RawCommandLine() { return Narrow(::GetCommandLineW()); }

bool GetModuleFileName(std::string& path) {
    std::string name = ReadSystemText(SystemText::kModuleFileName);
    if (name.empty()) return false;
    path = name;
    return true;
}

std::string GetTempPath() {
    return ReadSystemText(SystemText::kTempPath);
}

std::string SystemFolder() {
    wchar_t folder[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::string() : Narrow(folder, length);
}

std::string UserCacheFolder() {
    const std::string folder = TrimTrailingBackslashes(ReadSystemText(SystemText::kEnvironment, L"LOCALAPPDATA"));
    // "C:\..." or "\\server\...": never a folder relative to wherever the launcher started.
    const bool drive = folder.size() > 2 && folder[1] == ':' && folder[2] == '\\';
    return drive || folder.compare(0, 2, "\\\\") == 0 ? folder : std::string();
}

std::string ChooseTempFolderBase(const std::string& asked, std::string& passedOver) {
    // Windows refuses no folder for its programs the way noexec does: a
    // folder that cannot be written shows when the run's folder is made.
    passedOver.clear();
    return asked.empty() ? TrimTrailingBackslashes(GetTempPath()) : asked;
}

std::uint32_t GetFileAttributes(const std::string& path) {
    const WidePath wide(path);
    return wide.ok() ? ::GetFileAttributesW(wide.get()) : INVALID_FILE_ATTRIBUTES;
}

bool SetFileAttributes(const std::string& path, std::uint32_t attributes) {
    const WidePath wide(path);
    return wide.ok() && ::SetFileAttributesW(wide.get(), attributes) != FALSE;
}

bool SetUnixMode(const std::string& path, std::uint32_t mode) {
    const WidePath wide(path);
    if (!wide.ok()) return false;
    DWORD attributes = ::GetFileAttributesW(wide.get());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    if (mode & 0200)
        attributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    else
        attributes |= FILE_ATTRIBUTE_READONLY;
    return ::SetFileAttributesW(wide.get(), attributes) != FALSE;
}

bool CreateDirectory(const std::string& path) {
    const WidePath wide(path);
    return wide.ok() && ::CreateDirectoryW(wide.get(), nullptr) != FALSE;
}

namespace {

// The SID of the user this process runs as, in its text form, from the process token.
bool CurrentUserSid(std::string& sidText) {
    const std::vector<unsigned char> user = detail::TokenPart(TokenUser);
    char* text = nullptr;
    if (user.empty() || !::ConvertSidToStringSidA(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid, &text))
        return false;
    sidText = text;
    ::LocalFree(text);
    return true;
}

}  // namespace

bool CreatePrivateDirectory(const std::string& path) {
    std::string sid;
    if (!CurrentUserSid(sid)) return false;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(PrivateFolderSddl(sid).c_str(), SDDL_REVISION_1,
                                                                &descriptor, nullptr))
        return false;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    const WidePath wide(path);
    const bool created = wide.ok() && ::CreateDirectoryW(wide.get(), &attributes) != FALSE;
    const DWORD error = ::GetLastError();
    ::LocalFree(descriptor);
    ::SetLastError(error);
    return created;
}

std::string DescribeAccess(const std::string& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const WidePath wide(path);
    if (!wide.ok()) return std::string();
    // The call wants a writable name, though it never writes to it.
    std::u16string name(reinterpret_cast<const char16_t*>(wide.get()));
    if (::GetNamedSecurityInfoW(reinterpret_cast<wchar_t*>(&name[0]), SE_FILE_OBJECT,
                                OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                                nullptr, &descriptor) != ERROR_SUCCESS)
        return std::string();
    wchar_t* text = nullptr;
    std::string result;
    if (::ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, nullptr)) {
        result = Narrow(text);
        ::LocalFree(text);
    }
    ::LocalFree(descriptor);
    return result;
}

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }
std::uint64_t MonotonicMilliseconds() { return ::GetTickCount64(); }
bool RemoveDirectory(const std::string& path) {
    const WidePath wide(path);
    return wide.ok() && ::RemoveDirectoryW(wide.get()) != FALSE;
}

bool DeleteFile(const std::string& path) {
    const WidePath wide(path);
    return wide.ok() && ::DeleteFileW(wide.get()) != FALSE;
}

bool MoveFile(const std::string& from, const std::string& to) {
    const WidePath source(from), target(to);
    return source.ok() && target.ok() && ::MoveFileW(source.get(), target.get()) != FALSE;
}

std::string GetCurrentDirectory() {
    return ReadSystemText(SystemText::kCurrentDirectory);
}

std::string FullPath(const std::string& path) {
    // The system's own resolving, of the path as given (not its extended form).
    const std::u16string wide = WideText(path);
    const std::string full = ReadSystemText(SystemText::kFullPath, detail::Wide(wide));
    return full.empty() ? path : full;
}

bool SetCurrentDirectory(const std::string& path) {
    // Programs read the current folder back and may not expect the
    // extended form: the ordinary one wherever it fits (with the '\' the
    // system adds).
    if (FitsPathLimit(path, kMaxPlainPath - 1))
        return ::SetCurrentDirectoryW(detail::Wide(WideText(path))) != FALSE;
    const WidePath wide(path);
    return wide.ok() && ::SetCurrentDirectoryW(wide.get()) != FALSE;
}

bool SetFileTimes(const std::string& path, std::uint64_t creation, std::uint64_t lastAccess,
                  std::uint64_t lastWrite) {
    const WidePath wide(path);
    if (!wide.ok()) return false;
    HANDLE h = ::CreateFileW(wide.get(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    FILETIME c = ToFileTime(creation), a = ToFileTime(lastAccess), w = ToFileTime(lastWrite);
    BOOL ok = ::SetFileTime(h, creation ? &c : nullptr, lastAccess ? &a : nullptr, lastWrite ? &w : nullptr);
    DWORD err = ::GetLastError();
    ::CloseHandle(h);
    if (!ok) ::SetLastError(err);
    return ok != FALSE;
}

bool FileTimeToLocalFileTime(std::uint64_t utc, std::uint64_t& local) {
    FILETIME in = ToFileTime(utc), out;
    if (!::FileTimeToLocalFileTime(&in, &out)) return false;
    local = FromFileTime(out);
    return true;
}

bool LocalFileTimeToFileTime(std::uint64_t local, std::uint64_t& utc) {
    FILETIME in = ToFileTime(local), out;
    if (!::LocalFileTimeToFileTime(&in, &out)) return false;
    utc = FromFileTime(out);
    return true;
}

namespace {

// A text in the code page `page`, in UTF-16.
std::u16string FromCodePage(const std::string& text, UINT page) {
    const int size = static_cast<int>(text.size());
    const int units = text.empty() ? 0 : ::MultiByteToWideChar(page, 0, text.data(), size, nullptr, 0);
    std::u16string wide(units > 0 ? static_cast<std::size_t>(units) : 0, u'\0');
    if (units > 0) ::MultiByteToWideChar(page, 0, text.data(), size, reinterpret_cast<wchar_t*>(&wide[0]), units);
    return wide;
}

// UTF-16 in the code page `page`; empty when it cannot be converted.
std::string ToCodePage(const std::u16string& wide, UINT page) {
    const wchar_t* units = detail::Wide(wide);
    const int size = static_cast<int>(wide.size());
    const int bytes = wide.empty() ? 0 : ::WideCharToMultiByte(page, 0, units, size, nullptr, 0, nullptr, nullptr);
    std::string out(bytes > 0 ? static_cast<std::size_t>(bytes) : 0, '\0');
    if (bytes > 0) ::WideCharToMultiByte(page, 0, units, size, &out[0], bytes, nullptr, nullptr);
    return out;
}

// The OEM code page MS-DOS names were written in. With UTF-8 as the active
// code page, GetOEMCP() says UTF-8 too; the system locale still knows the
// code page of its console and of the archives made on it.
UINT NameOemCodePage() {
    const UINT oem = ::GetOEMCP();
    if (oem != CP_UTF8) return oem;
    char digits[8] = {};
    if (::GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTCODEPAGE, digits, sizeof digits) > 0) {
        const UINT page = static_cast<UINT>(std::atoi(digits));
        if (page != 0 && page != CP_UTF8) return page;
    }
    return 437;  // the original PC code page, which most MS-DOS names use
}

}  // namespace

std::string OemToUtf8(const std::string& text) {
    const std::u16string wide = FromCodePage(text, NameOemCodePage());
    return wide.empty() ? text : Narrow(detail::Wide(wide), wide.size());
}

std::string Utf8ToOem(const std::string& text) {
    const std::string oem = ToCodePage(WideText(text), NameOemCodePage());
    return oem.empty() ? text : oem;
}

void DebugOutput(const std::string& text) {
    // What OutputDebugStringW would hand a debugger that reads text: the
    // ANSI code page's form (UTF-8 itself under the manifest's code page).
    ::OutputDebugStringA(ToCodePage(WideText(text), CP_ACP).c_str());
}

std::string ToNativePath(const std::string& path) { return path; }
std::string FromNativePath(const std::string& path) { return path; }

}  // namespace platform
