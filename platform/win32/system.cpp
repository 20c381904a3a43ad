// Operating-system services on Win32 (ANSI calls).
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

namespace {

// The SID of the user this process runs as, in its text form, from the process token.
bool CurrentUserSid(std::string& sidText) {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size != 0 ? size : 1);
    char* text = nullptr;
    const bool ok = size != 0 && ::GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
                    ::ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text);
    const DWORD error = ::GetLastError();
    ::CloseHandle(token);
    if (!ok) {
        ::SetLastError(error);
        return false;
    }
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
    const bool created = ::CreateDirectoryA(path.c_str(), &attributes) != FALSE;
    const DWORD error = ::GetLastError();
    ::LocalFree(descriptor);
    ::SetLastError(error);
    return created;
}

std::string DescribeAccess(const std::string& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                nullptr, nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return std::string();
    char* text = nullptr;
    std::string result;
    if (::ConvertSecurityDescriptorToStringSecurityDescriptorA(
            descriptor, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, nullptr)) {
        result = text;
        ::LocalFree(text);
    }
    ::LocalFree(descriptor);
    return result;
}

void DebugOutput(const std::string& text) { ::OutputDebugStringA(text.c_str()); }
bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }
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

namespace {

// Converts through UTF-16, so that the result may be longer than the text:
// with UTF-8 as the active code page an OEM character takes two or three bytes.
std::string Convert(const std::string& text, UINT from, UINT to) {
    if (text.empty()) return text;
    const int size = static_cast<int>(text.size());
    const int wide = ::MultiByteToWideChar(from, 0, text.data(), size, nullptr, 0);
    if (wide <= 0) return text;
    std::vector<wchar_t> buffer(static_cast<std::size_t>(wide));
    ::MultiByteToWideChar(from, 0, text.data(), size, buffer.data(), wide);
    const int bytes = ::WideCharToMultiByte(to, 0, buffer.data(), wide, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return text;
    std::string out(static_cast<std::size_t>(bytes), '\0');
    ::WideCharToMultiByte(to, 0, buffer.data(), wide, &out[0], bytes, nullptr, nullptr);
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

std::string OemToAnsi(const std::string& text) { return Convert(text, NameOemCodePage(), CP_ACP); }
std::string AnsiToOem(const std::string& text) { return Convert(text, CP_ACP, NameOemCodePage()); }

std::string ToNativePath(const std::string& path) { return path; }
std::string FromNativePath(const std::string& path) { return path; }

}  // namespace platform
