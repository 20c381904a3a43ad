// Writing the launcher's ZIP archive: a standard archive from the file's
// first byte (every offset counts from the start of the whole file, so
// archive tools see no "extra bytes"), the same bytes for the same input
// (no host-dependent fields, deterministic encryption headers), names
// beyond ASCII marked as UTF-8, files that deflate cannot shrink stored, and
// Zip64 records only where a size or offset reaches 4 GiB or there are more
// than 65535 entries (every archive that fits without them has none).
#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "tools/sfxpack/bytes.h"
#include "tools/sfxpack/progress.h"

namespace sfxpack {

// One entry to write.
struct ZipSource {
    std::string name;             // '/' separators; a folder's ends with '/'
    std::filesystem::path file;   // the file whose bytes to store; empty for a folder
    std::uint32_t mode = 0;       // Unix file type and permission bits, as stored
    std::int64_t mtime = 0;       // seconds since 1970-01-01 UTC
};

struct ZipSettings {
    int level = 6;           // deflate level; 0 stores every file
    std::string password;    // traditional encryption of every file; empty for none
};

// The MS-DOS date and time fields of a UTC time, without the host's time
// zone: times before 1980 become 1980-01-01 00:00:00, times after 2107 the
// last representable second; odd seconds round down.
void DosDateTime(std::int64_t utc, std::uint16_t& date, std::uint16_t& time);

class ZipWriter {
public:
    // Writes at `out`'s current position; offsets are the stream's positions,
    // i.e. relative to the start of the file.
    ZipWriter(std::ostream& out, ZipSettings settings, Progress& progress);

    // Adds one entry; throws PackError when its file cannot be read (or
    // changed while it was read).
    void Add(const ZipSource& source);
    // Writes the central directory and the end record. Returns the position
    // just past the end record: the stream may hold bytes beyond it (an
    // entry rewritten as stored is shorter than its first, deflated, try).
    std::uint64_t Finish();

private:
    struct Entry {
        std::string name;
        std::uint16_t flags = 0, method = 0, date = 0, time = 0;
        std::uint32_t crc = 0, attributes = 0;
        std::uint64_t packed = 0, size = 0, offset = 0;
        std::int64_t mtime = 0;
        bool zip64Local = false;  // the local header carries both sizes in a Zip64 block
    };
    // Writes the local header and the (encrypted) data, and sets the entry's
    // CRC and sizes.
    void WriteFile(const ZipSource& source, Entry& entry, bool countProgress);
    // Writes the entry's CRC and sizes into its local header.
    void PatchLocalHeader(const Entry& entry);
    Bytes ExtraField(const Entry& entry) const;
    Bytes Header(const Entry& entry, bool central) const;
    std::uint64_t Position();
    void Write(const unsigned char* data, std::size_t size);

    std::ostream& m_out;
    ZipSettings m_settings;
    Progress& m_progress;
    std::vector<Entry> m_entries;
    std::vector<unsigned char> m_in, m_packed;
};

}  // namespace sfxpack
