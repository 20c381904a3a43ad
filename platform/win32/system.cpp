// Operating-system services on Win32 (ANSI calls).
#include "platform/win32/windows_api.h"

#include <cstdlib>

#include "platform/strings.h"
#include "platform/system.h"

namespace platform {

namespace {

std::vector<std::string>& Args() {
    static std::vector<std::string> args = [] {
        std::vector<std::string> fromRuntime;
        for (int i = 0; i < __argc; ++i) fromRuntime.emplace_back(__argv[i]);
        return fromRuntime;
    }();
    return args;
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

bool IsLeadByte(unsigned char byte) { return ::IsDBCSLeadByte(byte) != FALSE; }
bool SetLeadByteCodePage(unsigned) { return false; }

std::uint32_t GetLastError() { return ::GetLastError(); }
void SetLastError(std::uint32_t code) { ::SetLastError(code); }

std::string SystemErrorText(std::uint32_t code) {
    char* text = nullptr;
    DWORD n = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                   FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, code, 0x400, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string result;
    if (n != 0 && text != nullptr) result.assign(text, n);
    if (text != nullptr) ::LocalFree(text);
    return result;
}

void SetCommandLineArgs(std::vector<std::string> args) { Args() = std::move(args); }
const std::vector<std::string>& CommandLineArgs() { return Args(); }
std::string RawCommandLine() { return ::GetCommandLineA(); }

bool GetModuleFileName(std::string& path) {
    char buffer[MAX_PATH];
    DWORD n = ::GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    if (n == 0) return false;
    if (n >= MAX_PATH) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    path.assign(buffer, n);
    return true;
}

std::string GetTempPath() {
    char buffer[MAX_PATH];
    DWORD n = ::GetTempPathA(MAX_PATH, buffer);
    if (n == 0 || n >= MAX_PATH) return std::string();
    return std::string(buffer, n);
}

std::uint32_t GetFileAttributes(const std::string& path) { return ::GetFileAttributesA(path.c_str()); }

bool SetFileAttributes(const std::string& path, std::uint32_t attributes) {
    return ::SetFileAttributesA(path.c_str(), attributes) != FALSE;
}

bool SetUnixMode(const std::string& path, std::uint32_t mode) {
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    if (mode & 0200)
        attributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    else
        attributes |= FILE_ATTRIBUTE_READONLY;
    return ::SetFileAttributesA(path.c_str(), attributes) != FALSE;
}

bool CreateDirectory(const std::string& path) { return ::CreateDirectoryA(path.c_str(), nullptr) != FALSE; }
bool RemoveDirectory(const std::string& path) { return ::RemoveDirectoryA(path.c_str()) != FALSE; }
bool DeleteFile(const std::string& path) { return ::DeleteFileA(path.c_str()) != FALSE; }
bool MoveFile(const std::string& from, const std::string& to) {
    return ::MoveFileA(from.c_str(), to.c_str()) != FALSE;
}

std::string GetCurrentDirectory() {
    char buffer[MAX_PATH];
    DWORD n = ::GetCurrentDirectoryA(MAX_PATH, buffer);
    if (n == 0 || n >= MAX_PATH) return std::string();
    return std::string(buffer, n);
}

std::string FullPath(const std::string& path) {
    char buffer[MAX_PATH];
    DWORD n = ::GetFullPathNameA(path.c_str(), MAX_PATH, buffer, nullptr);
    if (n == 0 || n >= MAX_PATH) return path;
    return std::string(buffer, n);
}

bool SetCurrentDirectory(const std::string& path) { return ::SetCurrentDirectoryA(path.c_str()) != FALSE; }

bool SetFileTimes(const std::string& path, std::uint64_t creation, std::uint64_t lastAccess,
                  std::uint64_t lastWrite) {
    HANDLE h = ::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
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

std::string OemToAnsi(const std::string& text) {
    std::string out(text);
    if (!out.empty()) ::OemToCharBuffA(text.data(), &out[0], static_cast<DWORD>(out.size()));
    return out;
}

std::string AnsiToOem(const std::string& text) {
    std::string out(text);
    if (!out.empty()) ::CharToOemBuffA(text.data(), &out[0], static_cast<DWORD>(out.size()));
    return out;
}

std::string ToNativePath(const std::string& path) { return path; }
std::string FromNativePath(const std::string& path) { return path; }

}  // namespace platform
