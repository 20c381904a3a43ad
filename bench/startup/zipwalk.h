// The few ZIP records the start-up benchmarks' own programs need to walk an
// archive without the project's reader: the end record, the central
// directory and the local header's length. The floor (inprocess.cpp) and the
// minimal Win32 extractor (win32_peer/) use it, so that they measure zlib and
// the file system, not a reader of their own. No Zip64, no encryption: the
// benchmarks' archives have neither.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zipwalk {

inline std::uint32_t Le16(const unsigned char* p) { return static_cast<std::uint32_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t Le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kLocalHeaderSize = 30;
// The end record sits within the last kEndRecordSize + 65535 (comment) bytes.
constexpr std::size_t kTailSize = kEndRecordSize + 65535;

struct Directory {
    std::uint32_t offset = 0;  // of the central directory, from the file's start
    std::uint32_t size = 0;
    std::uint32_t entries = 0;
};

// Finds the end record in the last `count` bytes of the file; false when
// there is none.
inline bool FindDirectory(const unsigned char* tail, std::size_t count, Directory& directory) {
    if (count < kEndRecordSize) return false;
    for (std::size_t at = count - kEndRecordSize + 1; at-- > 0;) {
        const unsigned char* p = tail + at;
        if (Le32(p) != 0x06054b50u) continue;
        directory.entries = Le16(p + 10);
        directory.size = Le32(p + 12);
        directory.offset = Le32(p + 16);
        return true;
    }
    return false;
}

struct Entry {
    std::string name;  // as stored, '/' between folders
    std::uint32_t method = 0;
    std::uint32_t dosTime = 0;  // time in the low 16 bits, date in the high
    std::uint32_t crc = 0;
    std::uint32_t packed = 0;
    std::uint32_t size = 0;
    std::uint32_t localHeader = 0;  // offset from the file's start
    bool IsFolder() const { return !name.empty() && name.back() == '/'; }
};

// Calls visit(entry) for each record of the central directory held in
// `data`; false when a record is malformed.
template <typename Visit>
bool ForEachEntry(const unsigned char* data, std::size_t count, Visit visit) {
    std::size_t at = 0;
    while (at + 46 <= count && Le32(data + at) == 0x02014b50u) {
        const unsigned char* p = data + at;
        Entry entry;
        entry.method = Le16(p + 10);
        entry.dosTime = Le32(p + 12);
        entry.crc = Le32(p + 16);
        entry.packed = Le32(p + 20);
        entry.size = Le32(p + 24);
        const std::size_t nameLength = Le16(p + 28), extra = Le16(p + 30), comment = Le16(p + 32);
        entry.localHeader = Le32(p + 42);
        if (at + 46 + nameLength > count) return false;
        entry.name.assign(reinterpret_cast<const char*>(p + 46), nameLength);
        visit(entry);
        at += 46 + nameLength + extra + comment;
    }
    return at == count;
}

// The offset of an entry's data from its local header's first
// kLocalHeaderSize bytes; 0 when they are not a local header.
inline std::uint32_t DataOffset(const Entry& entry, const unsigned char* local) {
    if (Le32(local) != 0x04034b50u) return 0;
    return entry.localHeader + static_cast<std::uint32_t>(kLocalHeaderSize + Le16(local + 26) + Le16(local + 28));
}

}  // namespace zipwalk
