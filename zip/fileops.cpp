#include "zip/fileops.h"

#include <algorithm>
#include <ctime>

#include "platform/system.h"
#include "zip/autobuffer.h"
#include "zip/exception.h"
#include "zip/pathcomponent.h"

namespace zip {

namespace {

constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ull;  // 1970-01-01 in 100 ns units since 1601
constexpr std::uint64_t kFileTimeUnitsPerSecond = 10000000ull;

std::uint64_t ToFileTime(std::int64_t seconds) {
    return kUnixEpochAsFileTime + static_cast<std::uint64_t>(seconds) * kFileTimeUnitsPerSecond;
}

}  // namespace

int PathKind(const std::string& path) {
    const std::uint32_t attributes = platform::GetFileAttributes(path);
    if (attributes == platform::kInvalidAttributes) return 0;
    return (attributes & platform::kAttrDirectory) ? -1 : 1;
}

bool CurrentFolder(std::string& folder) {
    std::string current = platform::GetCurrentDirectory();
    if (current.empty()) return false;
    folder = current;
    return true;
}

bool ChangeFolder(const std::string& path) { return platform::SetCurrentDirectory(path); }

bool IsExistingFolder(const std::string& path) {
    std::string saved;
    if (!CurrentFolder(saved)) return false;
    if (!ChangeFolder(path)) return false;
    ChangeFolder(saved);
    return true;
}

bool CreateFolder(const std::string& path) { return platform::CreateDirectory(path); }

bool CKnownFolders::Contains(const std::string& path) const {
    return std::binary_search(m_paths.begin(), m_paths.end(), path);
}

void CKnownFolders::Add(const std::string& path) {
    const auto at = std::lower_bound(m_paths.begin(), m_paths.end(), path);
    if (at == m_paths.end() || *at != path) m_paths.insert(at, path);
}

void CKnownFolders::Add(const CKnownFolders& other) {
    for (const std::string& path : other.m_paths) Add(path);
}

bool CreateFolderChain(const std::string& path, CKnownFolders* known) {
    const std::string trimmed = TrimTrailingSeparators(path);
    if (known != nullptr && known->Contains(trimmed)) return true;
    CZipPathComponent parts(trimmed);
    if (!parts.IsValid()) return false;
    const std::string parent = parts.FolderPath();
    if (parent == trimmed) return true;  // a drive or root: nothing left to create
    if (PathKind(trimmed) != -1) {
        if (!CreateFolderChain(parent, known)) return false;
        // Another extraction thread may make the same folder at the same moment.
        if (!CreateFolder(trimmed) && PathKind(trimmed) != -1) return false;
    }
    if (known != nullptr) known->Add(trimmed);
    return true;
}

bool SetPathAttributes(const std::string& path, std::uint32_t attributes) {
    if (IsFolderAttribute(attributes)) attributes &= ~static_cast<std::uint32_t>(platform::kAttrReadOnly);
    return platform::SetFileAttributes(path, attributes);
}

bool SetPathUnixMode(const std::string& path, std::uint32_t mode, bool isFolder) {
    mode &= 0777;
    if (isFolder) mode |= 0700;
    return platform::SetUnixMode(path, mode);
}

bool ModTimeAsFileTimes(std::int64_t time, std::uint64_t& lastAccess, std::uint64_t& lastWrite) {
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    if (time == -1) time = now;
    // Times before 1970 are not settable, as with the run-time library's call.
    if (time < 0 || now < 0) return false;
    lastAccess = ToFileTime(now);
    lastWrite = ToFileTime(time);
    return true;
}

bool SetPathModTime(const std::string& path, std::int64_t time) {
    std::uint64_t lastAccess = 0, lastWrite = 0;
    return ModTimeAsFileTimes(time, lastAccess, lastWrite) && platform::SetFileTimes(path, 0, lastAccess, lastWrite);
}

void ConvertNameCodePage(CZipAutoBuffer& buffer, bool toOem) {
    if (buffer.empty()) return;
    const std::string text(reinterpret_cast<const char*>(buffer.data()), buffer.size());
    const std::string converted = toOem ? platform::Utf8ToOem(text) : platform::OemToUtf8(text);
    // The length may change: with UTF-8 as the active code page, an OEM
    // character takes two or three bytes.
    if (converted.empty() || converted == text) return;
    buffer.Allocate(static_cast<std::uint32_t>(converted.size()));
    for (std::uint32_t i = 0; i < buffer.size(); ++i) buffer.data()[i] = static_cast<unsigned char>(converted[i]);
}

bool DeletePath(const std::string& path, bool throwOnError) {
    if (platform::DeleteFile(path)) return true;
    if (throwOnError) ThrowZipException(CZipException::kNotRemoved, path);
    return false;
}

bool RenamePath(const std::string& from, const std::string& to, bool throwOnError) {
    if (platform::MoveFile(from, to)) return true;
    if (throwOnError) ThrowZipException(CZipException::kNotRenamed, from);
    return false;
}

bool HasLinkBelow(const std::string& folder, const std::string& relative, CKnownFolders* known, bool last) {
    std::string path = TrimTrailingSeparators(folder);
    const std::string mask = SeparatorMask(relative);
    std::size_t end = relative.size();
    if (!last) {
        while (end > 0 && mask[end - 1]) --end;            // trailing separators
        while (end > 0 && !mask[end - 1]) --end;           // the last part
    }
    std::size_t start = 0;
    for (std::size_t i = 0; i <= end; ++i) {
        if (i != end && !mask[i]) continue;
        const std::string component = relative.substr(start, i - start);
        start = i + 1;
        if (component.empty()) continue;
        path += "\\" + component;
        if (known != nullptr && known->Contains(path)) continue;
        const std::uint32_t attributes = platform::GetFileAttributes(path);
        if (attributes == platform::kInvalidAttributes) return false;  // the rest is still to be made
        if (attributes & platform::kAttrReparsePoint) return true;
        if (known != nullptr && (attributes & platform::kAttrDirectory)) known->Add(path);
    }
    return false;
}

}  // namespace zip
