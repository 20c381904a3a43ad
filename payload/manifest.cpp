#include "payload/manifest.h"

#include <cstdint>
#include <vector>

#include "platform/dirsearch.h"
#include "platform/file.h"
#include "platform/system.h"

namespace {

const char kHeader[] = "sfxlauncher cache manifest 1";
// What a manifest may take: some million entries. More is never read (a
// planted file must not take the memory), so never written either: a
// payload that needs more runs as without the cache.
constexpr std::uint64_t kMaxManifestBytes = 64u << 20;

void AppendDecimal(std::string& text, std::uint64_t value) {
    char digits[21];
    char* p = digits + sizeof digits;
    do {
        *--p = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    text.append(p, digits + sizeof digits);
}

std::string Join(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : folder + "\\" + name;
}

std::uint64_t SizeOf(const platform::FindData& entry) {
    return (static_cast<std::uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
}

bool IsLink(std::uint32_t attributes) { return (attributes & platform::kAttrReparsePoint) != 0; }
bool IsFolder(std::uint32_t attributes) { return (attributes & platform::kAttrDirectory) != 0; }

// The entries of `folder` (without "." and ".."), in the order the system
// lists them; false when it cannot be listed.
bool ListFolder(const std::string& folder, std::vector<platform::FindData>& entries) {
    entries.clear();
    platform::DirSearch search;
    platform::FindData entry;
    // Every folder but a drive's root lists "." at least.
    if (!search.First(folder + "\\*", entry)) return false;
    do {
        if (entry.cFileName != "." && entry.cFileName != "..") entries.push_back(entry);
    } while (search.Next(entry));
    return platform::GetLastError() == platform::kErrorNoMoreFiles;
}

// One line of a manifest at a time, read field by field.
class CManifestLines {
public:
    explicit CManifestLines(const std::string& text) : m_text(text) {}

    // Moves to the next line; false at the end, or at a last line without its line end.
    bool Next() {
        m_start = m_next;
        const std::size_t end = m_text.find('\n', m_start);
        if (end == std::string::npos) return false;
        m_at = m_start;
        m_end = end;
        m_next = end + 1;
        return true;
    }
    bool IsLast() const { return m_next == m_text.size(); }

    // Takes `word` and the space after it at the start of the line.
    bool Word(const char* word) {
        std::size_t length = 0;
        while (word[length] != '\0') ++length;
        if (m_at != m_start || m_end - m_at <= length || m_text.compare(m_at, length, word) != 0 ||
            m_text[m_at + length] != ' ')
            return false;
        m_at += length + 1;
        return true;
    }
    // Takes a decimal number and the space after it (or the line's end);
    // false for anything else: no digits, a sign, an overflow.
    bool Number(std::uint64_t& value) {
        const std::size_t start = m_at;
        value = 0;
        for (; m_at < m_end && m_text[m_at] != ' '; ++m_at) {
            const char c = m_text[m_at];
            if (c < '0' || c > '9' || value > (UINT64_MAX - 9) / 10) return false;
            value = value * 10 + static_cast<unsigned>(c - '0');
        }
        if (m_at == start) return false;
        if (m_at < m_end) ++m_at;
        return true;
    }
    // Whether the rest of the line is exactly `name`.
    bool RestIs(const std::string& name) const { return m_text.compare(m_at, m_end - m_at, name) == 0; }
    bool AtLineEnd() const { return m_at == m_end; }
    std::string Rest() const { return m_text.substr(m_at, m_end - m_at); }
    bool Is(const char* line) const { return m_text.compare(m_start, m_end - m_start, line) == 0; }

private:
    const std::string& m_text;
    std::size_t m_start = 0, m_at = 0, m_end = 0, m_next = 0;
};

// Finds the rest of a manifest line among a folder's entries, starting where
// the last find stopped: the manifest lists a folder in the order the
// system listed it then, which the system keeps, so each entry is usually
// the next one (files the program added are passed over). Any other order
// is found too.
const platform::FindData* FindEntry(const std::vector<platform::FindData>& entries, std::size_t& next,
                                    const CManifestLines& line) {
    const std::size_t count = entries.size();
    for (std::size_t step = 0; step < count; ++step) {
        const std::size_t i = (next + step) % count;
        if (!line.RestIs(entries[i].cFileName)) continue;
        next = i + 1;
        return &entries[i];
    }
    return nullptr;
}

}  // namespace

bool DescribeTree(const std::string& folder, std::string& manifest) {
    manifest = kHeader;
    manifest += '\n';
    std::vector<std::string> pending(1);  // folders still to list, relative; the tree itself first
    std::uint64_t files = 0;
    std::vector<platform::FindData> entries;
    for (std::size_t i = 0; i < pending.size(); ++i) {
        const std::string relative = pending[i];
        if (!ListFolder(Join(folder, relative), entries)) return false;
        manifest += "in ";
        manifest += relative;
        manifest += '\n';
        for (const platform::FindData& entry : entries) {
            const std::string& name = entry.cFileName;
            if (IsLink(entry.dwFileAttributes) || name.find('\n') != std::string::npos) return false;
            if (IsFolder(entry.dwFileAttributes)) {
                manifest += "folder ";
                pending.push_back(Join(relative, name));
            } else {
                manifest += "file ";
                AppendDecimal(manifest, SizeOf(entry));
                manifest += ' ';
                AppendDecimal(manifest, entry.ftLastWriteTime);
                manifest += ' ';
                ++files;
            }
            manifest += name;
            manifest += '\n';
        }
    }
    manifest += "end ";
    AppendDecimal(manifest, files);
    manifest += ' ';
    AppendDecimal(manifest, pending.size() - 1);
    manifest += '\n';
    return true;
}

bool TreeMatches(const std::string& folder, const std::string& manifest) {
    CManifestLines line(manifest);
    if (!line.Next() || !line.Is(kHeader)) return false;
    const std::uint32_t top = platform::GetFileAttributes(folder);
    if (top == platform::kInvalidAttributes || !IsFolder(top) || IsLink(top)) return false;

    std::vector<platform::FindData> entries;
    std::size_t next = 0;
    bool listed = false;  // an "in" line came first
    std::uint64_t files = 0, folders = 0, blocks = 0, size = 0, written = 0;
    while (line.Next()) {
        if (line.Word("in")) {
            if (!ListFolder(Join(folder, line.Rest()), entries)) return false;
            next = 0;
            listed = true;
            ++blocks;
        } else if (listed && line.Word("folder")) {
            const platform::FindData* found = FindEntry(entries, next, line);
            if (found == nullptr || !IsFolder(found->dwFileAttributes) || IsLink(found->dwFileAttributes))
                return false;
            ++folders;
        } else if (listed && line.Word("file") && line.Number(size) && line.Number(written)) {
            const platform::FindData* found = FindEntry(entries, next, line);
            if (found == nullptr || IsFolder(found->dwFileAttributes) || IsLink(found->dwFileAttributes) ||
                SizeOf(*found) != size || found->ftLastWriteTime != written)
                return false;
            ++files;
        } else {
            // The last line counts what came before, so that a manifest cut short anywhere fails.
            std::uint64_t endFiles = 0, endFolders = 0;
            return line.Word("end") && line.Number(endFiles) && line.Number(endFolders) && line.AtLineEnd() &&
                   line.IsLast() && endFiles == files && endFolders == folders && blocks == folders + 1;
        }
    }
    return false;
}

bool WriteManifest(const std::string& path, const std::string& manifest) {
    if (manifest.size() > kMaxManifestBytes) {
        platform::SetLastError(platform::kErrorInvalidParameter);
        return false;
    }
    platform::File file;
    platform::FileException error(platform::FileException::kNone, 0, path);
    if (!file.TryOpen(path, platform::kModeCreate | platform::kModeCreateNew | platform::kModeWrite |
                                platform::kShareExclusive,
                      &error)) {
        platform::SetLastError(error.osError());
        return false;
    }
    try {
        file.Write(manifest.data(), static_cast<std::uint32_t>(manifest.size()));
        file.Close();
    } catch (const platform::FileException& e) {
        file.Abort();
        platform::SetLastError(e.osError());
        return false;
    }
    return true;
}

bool ReadManifest(const std::string& path, std::string& manifest) {
    platform::File file;
    platform::FileException error(platform::FileException::kNone, 0, path);
    if (!file.TryOpen(path, platform::kModeRead | platform::kShareDenyWrite, &error)) {
        platform::SetLastError(error.osError());
        return false;
    }
    try {
        const std::uint64_t length = file.GetLength();
        if (length > kMaxManifestBytes) {
            platform::SetLastError(platform::kErrorFileCorrupt);
            return false;
        }
        manifest.assign(static_cast<std::size_t>(length), '\0');
        if (length != 0 && file.Read(&manifest[0], static_cast<std::uint32_t>(length)) != length) {
            platform::SetLastError(platform::kErrorHandleEof);
            return false;
        }
    } catch (const platform::FileException& e) {
        platform::SetLastError(e.osError());
        return false;
    }
    return true;
}
