// Checking a private folder on Win32: its owner and DACL read through a
// handle on the folder itself (never through a link), the SIDs compared
// with those of the process token.
#include "platform/win32/windows_api.h"

#include <aclapi.h>

#include <vector>

#include "platform/access.h"
#include "platform/win32/token.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

// Closes a handle at the end of its scope, keeping the last error as it was.
class CClosedAtEnd {
public:
    explicit CClosedAtEnd(HANDLE handle) : m_handle(handle) {}
    CClosedAtEnd(const CClosedAtEnd&) = delete;
    CClosedAtEnd& operator=(const CClosedAtEnd&) = delete;
    ~CClosedAtEnd() {
        const DWORD error = ::GetLastError();
        ::CloseHandle(m_handle);
        ::SetLastError(error);
    }
    HANDLE get() const { return m_handle; }

private:
    HANDLE m_handle;
};

}  // namespace

std::vector<unsigned char> detail::TokenPart(TOKEN_INFORMATION_CLASS part) {
    std::vector<unsigned char> buffer;
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return buffer;
    const CClosedAtEnd closed(token);
    DWORD size = 0;
    ::GetTokenInformation(token, part, nullptr, 0, &size);
    buffer.resize(size);
    if (size == 0 || !::GetTokenInformation(token, part, buffer.data(), size, &size)) buffer.clear();
    return buffer;
}

namespace {

// Who the rule lets in: the user, the token's default owner, SYSTEM, Administrators.
class CTrustees {
public:
    CTrustees() : m_user(detail::TokenPart(TokenUser)), m_owner(detail::TokenPart(TokenOwner)) {}
    bool Known() const { return !m_user.empty() && !m_owner.empty(); }
    bool IsUser(PSID sid) const {
        return ::EqualSid(sid, reinterpret_cast<const TOKEN_USER*>(m_user.data())->User.Sid) ||
               ::EqualSid(sid, reinterpret_cast<const TOKEN_OWNER*>(m_owner.data())->Owner);
    }
    bool IsAllowed(PSID sid) const {
        return IsUser(sid) || ::IsWellKnownSid(sid, WinLocalSystemSid) ||
               ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid);
    }

private:
    std::vector<unsigned char> m_user, m_owner;
};

// Whether every entry of `dacl` allows only trustees the rule lets in. A
// missing DACL lets everybody in.
bool AdmitsOnly(const ACL* dacl, const CTrustees& trustees) {
    if (dacl == nullptr) return false;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!::GetAce(const_cast<ACL*>(dacl), i, &ace)) return false;
        const BYTE type = static_cast<const ACE_HEADER*>(ace)->AceType;
        if (type == ACCESS_DENIED_ACE_TYPE) continue;
        if (type != ACCESS_ALLOWED_ACE_TYPE) return false;  // object and callback entries: not ours
        if (!trustees.IsAllowed(&static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart)) return false;
    }
    return true;
}

}  // namespace

bool IsPrivateFolder(const std::string& path) {
    const detail::WidePath wide(path);
    if (!wide.ok()) return false;
    BY_HANDLE_FILE_INFORMATION info = {};
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD error = ERROR_SUCCESS;
    {
        HANDLE opened = ::CreateFileW(wide.get(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                      nullptr);
        if (opened == INVALID_HANDLE_VALUE) return false;
        const CClosedAtEnd folder(opened);
        error = !::GetFileInformationByHandle(folder.get(), &info)
                    ? ::GetLastError()
                    : ::GetSecurityInfo(folder.get(), SE_FILE_OBJECT,
                                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                                        &dacl, nullptr, &descriptor);
    }
    const CTrustees trustees;
    const bool plainFolder = (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ==
                             FILE_ATTRIBUTE_DIRECTORY;
    const bool held = error == ERROR_SUCCESS && plainFolder && trustees.Known() && owner != nullptr &&
                      trustees.IsUser(owner) && AdmitsOnly(dacl, trustees);
    if (descriptor != nullptr) ::LocalFree(descriptor);
    ::SetLastError(held ? ERROR_SUCCESS : error != ERROR_SUCCESS ? error : ERROR_ACCESS_DENIED);
    return held;
}

}  // namespace platform
