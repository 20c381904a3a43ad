// One archive entry's header as the central directory describes it, and its
// interpretation on this platform: name form, attributes, folder test, time.
#pragma once

#include <cstdint>
#include <string>

#include "zip/autobuffer.h"

class CZipStorage;

// System families (high byte of "version made by").
enum ZipSystem : int {
    kZipSystemDos = 0,
    kZipSystemAmiga = 1,
    kZipSystemVms = 2,
    kZipSystemUnix = 3,
    kZipSystemOs2 = 6,
    kZipSystemMacintosh = 7,
    kZipSystemNtfs = 10,
};

namespace zip {

// Attributes for entries made by a system whose attributes cannot be
// converted: Unix mode in the high 16 bits, DOS attribute bits in the low.
constexpr std::uint32_t DefaultFileAttributes = 0x81A40020;
constexpr std::uint32_t DefaultFolderAttributes = 0x41FF0010;
constexpr int ThisSystemCode = kZipSystemDos;
constexpr bool IsCaseSensitiveSystem = false;

// Whether this platform can convert attributes of family `system`.
bool IsSupportedSystem(int system);

// Converts attributes between system families. Equal families, or either
// family 11 or above, leave the value unchanged; a family without converters
// (1, 2, 4, 5, 8, 9) throws CZipException 115 with no file name.
std::uint32_t ConvertAttributes(std::uint32_t value, int fromSystem, int toSystem);

// Zip64 extended information (extra field block 0x0001): each of the
// entry's uncompressed size, compressed size, local header offset and disk
// number whose 32-bit field holds all ones is in the block instead, as a
// 64-bit value (the disk number: 32-bit), in this order and only those.
// Takes them from `extra` for the fields given (non-null: the field holds
// all ones). `present` tells whether there is a block at all; without one
// the fields keep their values. False when the block is shorter than the
// fields it must hold.
bool ReadZip64Extra(const CZipAutoBuffer& extra, std::uint64_t* uncompressed, std::uint64_t* compressed,
                    std::uint64_t* offset, std::uint32_t* disk, bool& present);

// The calendar time (seconds since 1970, as the run-time library's 64-bit
// calendar conversion gives it, local time) of an MS-DOS date and time.
// -1 when the conversion fails.
std::int64_t DosTimeToTime(std::uint16_t date, std::uint16_t time);

}  // namespace zip

class CZipFileHeader {
public:
    static constexpr std::uint32_t kCentralSize = 46;
    static constexpr std::uint32_t kLocalSize = 30;
    static constexpr std::uint32_t kAllOnes32 = 0xFFFFFFFF;  // a 32-bit field whose value is in the Zip64 block
    static constexpr std::uint16_t kExtendedTimestampTag = 0x5455;

    CZipFileHeader() = default;
    virtual ~CZipFileHeader() = default;
    CZipFileHeader(const CZipFileHeader&) = default;
    CZipFileHeader& operator=(const CZipFileHeader&) = default;

    // Reads one central header at the storage's position, with the Zip64
    // values of its extra field. False when the signature is wrong or the
    // Zip64 block is too short; a short read throws CZipException 101.
    bool ReadCentralRecord(CZipStorage& storage);
    // Checks the entry's local header (`record`, its first kLocalSize bytes,
    // and its extra field) against this header. `zip64` tells whether the
    // local header has a Zip64 block, which makes its data descriptor's
    // sizes 8 bytes each.
    bool MatchesLocalRecord(const unsigned char* record, const CZipAutoBuffer& extra, bool& zip64) const;
    bool MatchesCrcAndSizes(std::uint32_t crc, std::uint64_t compressed, std::uint64_t uncompressed) const;

    // The name bytes: '\' separators, ANSI code page (after the central
    // directory converted it).
    std::string GetName() const;
    std::string GetComment() const;
    // This platform's file attributes (bits above the low 16 included).
    std::uint32_t GetAttributes() const;
    bool IsFolder() const;
    // The modification time, in seconds since 1970: the extended timestamp
    // (extra field 0x5455) when the entry has one, else the calendar time of
    // the MS-DOS date and time read as local time; -1 when invalid.
    std::int64_t GetModTime() const;

    int GetSystemCompatibility() const { return m_uVersionMadeBy >> 8; }
    bool IsEncrypted() const { return (m_uFlag & 0x1) != 0; }
    bool IsDataDescriptor() const { return (m_uFlag & 0x8) != 0; }
    // The name and comment are UTF-8 (general purpose bit 11), not OEM.
    bool IsUtf8Name() const { return (m_uFlag & 0x800) != 0; }
    std::uint32_t GetUnixMode() const;  // the high 16 bits for a Unix-made entry, else 0

    unsigned char m_signature[4] = {0, 0, 0, 0};
    std::uint16_t m_uVersionMadeBy = 0;
    std::uint16_t m_uVersionNeeded = 0;
    std::uint16_t m_uFlag = 0;
    std::uint16_t m_uMethod = 8;
    std::uint16_t m_uModTime = 0;
    std::uint16_t m_uModDate = 0;
    std::uint32_t m_uCrc32 = 0;
    std::uint64_t m_uComprSize = 0;    // Zip64 values where the 32-bit fields hold all ones
    std::uint64_t m_uUncomprSize = 0;
    std::uint32_t m_uVolumeStart = 0;
    std::uint16_t m_uInternalAttr = 0;
    std::uint32_t m_uExternalAttr = 0;
    std::uint64_t m_uOffset = 0;  // of the local header, from the start of the archive
    CZipAutoBuffer m_extraField;
    CZipAutoBuffer m_name;
    // The name's length as stored, before any code page conversion: the
    // local header must agree with this one.
    std::uint16_t m_uStoredNameLength = 0;
    CZipAutoBuffer m_comment;

private:
    bool NameEndsWithSeparator() const;
};
