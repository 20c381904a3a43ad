#include "zip/fileheader.h"

#include <ctime>
#include <cstring>

#include "platform/strings.h"
#include "zip/bytes.h"
#include "zip/exception.h"
#include "zip/storage.h"

namespace zip {

bool IsSupportedSystem(int system) {
    switch (system) {
        case kZipSystemDos:
        case kZipSystemUnix:
        case kZipSystemOs2:
        case kZipSystemMacintosh:
        case kZipSystemNtfs: return true;
        default: return false;
    }
}

namespace {

// Unix mode bits as they sit in the high half of the external attributes.
constexpr std::uint32_t kUnixFolder = 0x40000000;
constexpr std::uint32_t kUnixOwnerExecute = 0x00400000;
constexpr std::uint32_t kUnixOwnerWrite = 0x00800000;
constexpr std::uint32_t kUnixOwnerRead = 0x01000000;

std::uint32_t FromUnix(std::uint32_t value) {
    std::uint32_t result = 0;
    if (value & kUnixFolder) result |= 0x10;
    if (!(value & kUnixOwnerExecute)) result |= 0x20;
    if (!(value & kUnixOwnerWrite)) result |= 0x01;
    if (!(value & kUnixOwnerRead)) result |= 0x02;
    return result;
}

std::uint32_t ToUnix(std::uint32_t value) {
    std::uint32_t result = (value & 0x02) ? 0 : 0x01240000;
    if (!(value & 0x01)) result |= 0x00900000;
    result |= (value & 0x10) ? 0x40000010 : 0x80000000;
    return result;
}

// One direction of one family's converter; throws 115 for families without.
std::uint32_t Convert(std::uint32_t value, int system, bool fromSystem) {
    switch (system) {
        case kZipSystemDos:
        case kZipSystemOs2:
        case kZipSystemNtfs: return value;
        case kZipSystemMacintosh: return value & 0x11;
        case kZipSystemUnix: return fromSystem ? FromUnix(value) : ToUnix(value);
        default: ThrowZipException(CZipException::kPlatformNotSupported);
    }
}

}  // namespace

std::uint32_t ConvertAttributes(std::uint32_t value, int fromSystem, int toSystem) {
    if (fromSystem == toSystem || fromSystem >= 11 || toSystem >= 11) return value;
    return Convert(Convert(value, fromSystem, true), toSystem, false);
}

bool ReadZip64Extra(const CZipAutoBuffer& extra, std::uint64_t* uncompressed, std::uint64_t* compressed,
                    std::uint64_t* offset, std::uint32_t* disk, bool& present) {
    constexpr std::uint16_t kZip64Tag = 0x0001;
    const unsigned char* p = extra.data();
    const std::uint32_t size = extra.size();
    present = false;
    for (std::uint32_t at = 0; at + 4 <= size;) {
        const std::uint32_t length = Le16(p + at + 2);
        if (Le16(p + at) != kZip64Tag) {
            at += 4 + length;
            continue;
        }
        present = true;
        // A block that claims more than the field holds has what is there.
        const std::uint32_t held = length < size - at - 4 ? length : size - at - 4;
        std::uint32_t used = 0;
        for (std::uint64_t* value : {uncompressed, compressed, offset}) {
            if (value == nullptr) continue;
            used += 8;
            if (used > held) return false;
            *value = Le64(p + at + 4 + used - 8);
        }
        if (disk == nullptr) return true;
        if (used + 4 > held) return false;
        *disk = Le32(p + at + 4 + used);
        return true;
    }
    return true;
}

std::int64_t DosTimeToTime(std::uint16_t date, std::uint16_t time) {
    std::tm parts{};
    parts.tm_sec = (time & 0x1F) * 2;
    parts.tm_min = (time >> 5) & 0x3F;
    parts.tm_hour = time >> 11;
    parts.tm_mday = date & 0x1F;
    parts.tm_mon = ((date >> 5) & 0x0F) - 1;
    parts.tm_year = (date >> 9) + 80;
    parts.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&parts));
}

}  // namespace zip

bool CZipFileHeader::ReadCentralRecord(CZipStorage& storage) {
    unsigned char record[kCentralSize];
    storage.Read(record, kCentralSize, true);
    std::memcpy(m_signature, record, 4);
    m_uVersionMadeBy = zip::Le16(record + 4);
    m_uVersionNeeded = zip::Le16(record + 6);
    m_uFlag = zip::Le16(record + 8);
    m_uMethod = zip::Le16(record + 10);
    m_uModTime = zip::Le16(record + 12);
    m_uModDate = zip::Le16(record + 14);
    m_uCrc32 = zip::Le32(record + 16);
    m_uComprSize = zip::Le32(record + 20);
    m_uUncomprSize = zip::Le32(record + 24);
    const std::uint16_t nameLength = zip::Le16(record + 28);
    const std::uint16_t extraLength = zip::Le16(record + 30);
    const std::uint16_t commentLength = zip::Le16(record + 32);
    m_uVolumeStart = zip::Le16(record + 34);
    m_uInternalAttr = zip::Le16(record + 36);
    m_uExternalAttr = zip::Le32(record + 38);
    m_uOffset = zip::Le32(record + 42);
    if (!zip::HasSignature(m_signature, 0x01, 0x02)) return false;

    const int volume = storage.GetCurrentVolume();
    m_uStoredNameLength = nameLength;
    m_name.Allocate(nameLength);
    storage.Read(m_name.data(), nameLength, true);
    m_extraField.Allocate(extraLength);
    storage.Read(m_extraField.data(), extraLength, true);
    m_comment.Allocate(commentLength);
    storage.Read(m_comment.data(), commentLength, true);
    if (storage.GetCurrentVolume() != volume) return false;
    bool zip64 = false;
    return zip::ReadZip64Extra(m_extraField, m_uUncomprSize == kAllOnes32 ? &m_uUncomprSize : nullptr,
                               m_uComprSize == kAllOnes32 ? &m_uComprSize : nullptr,
                               m_uOffset == kAllOnes32 ? &m_uOffset : nullptr,
                               m_uVolumeStart == 0xFFFF ? &m_uVolumeStart : nullptr, zip64);
}

bool CZipFileHeader::MatchesLocalRecord(const unsigned char* record, const CZipAutoBuffer& extra, bool& zip64) const {
    if (!zip::HasSignature(record, 0x03, 0x04)) return false;
    const std::uint16_t flag = zip::Le16(record + 6);
    if ((flag & 0xF) != (m_uFlag & 0xF)) return false;
    const std::uint16_t method = zip::Le16(record + 8);
    if (method != m_uMethod || (method != 0 && method != 8)) return false;
    // The local name is not compared: the central one is the entry's name.
    if (zip::Le16(record + 26) != m_uStoredNameLength) return false;
    std::uint64_t compressed = zip::Le32(record + 18), uncompressed = zip::Le32(record + 22);
    if (!zip::ReadZip64Extra(extra, uncompressed == kAllOnes32 ? &uncompressed : nullptr,
                             compressed == kAllOnes32 ? &compressed : nullptr, nullptr, nullptr, zip64))
        return false;
    // With a data descriptor the sizes and CRC follow the data.
    return (flag & 0x8) || MatchesCrcAndSizes(zip::Le32(record + 14), compressed, uncompressed);
}

bool CZipFileHeader::MatchesCrcAndSizes(std::uint32_t crc, std::uint64_t compressed, std::uint64_t uncompressed) const {
    return crc == m_uCrc32 && compressed == m_uComprSize && uncompressed == m_uUncomprSize;
}

std::string CZipFileHeader::GetName() const {
    return std::string(reinterpret_cast<const char*>(m_name.data()), m_name.size());
}

std::string CZipFileHeader::GetComment() const {
    return std::string(reinterpret_cast<const char*>(m_comment.data()), m_comment.size());
}

bool CZipFileHeader::NameEndsWithSeparator() const {
    // The trail byte of a double-byte character is never a separator.
    const unsigned char* p = m_name.data();
    const std::uint32_t n = m_name.size();
    bool endsWithSeparator = false;
    for (std::uint32_t i = 0; i < n; ++i) {
        if (platform::IsLeadByte(p[i]) && i + 1 < n) {
            ++i;
            endsWithSeparator = false;
        } else {
            endsWithSeparator = (p[i] == '\\' || p[i] == '/');
        }
    }
    return endsWithSeparator;
}

std::uint32_t CZipFileHeader::GetAttributes() const {
    const int system = GetSystemCompatibility();
    if (zip::IsSupportedSystem(system)) {
        if (m_uExternalAttr == 0 && NameEndsWithSeparator()) return zip::DefaultFolderAttributes;
        return zip::ConvertAttributes(m_uExternalAttr, system, zip::ThisSystemCode);
    }
    return NameEndsWithSeparator() ? zip::DefaultFolderAttributes : zip::DefaultFileAttributes;
}

bool CZipFileHeader::IsFolder() const { return (GetAttributes() & 0x10) != 0; }

std::int64_t CZipFileHeader::GetModTime() const {
    // The extended timestamp (0x5455) holds the time itself, in UTC; the
    // MS-DOS fields hold a local time of wherever the archive was made.
    const unsigned char* extra = m_extraField.data();
    const std::uint32_t size = m_extraField.size();
    for (std::uint32_t at = 0; at + 4 <= size;) {
        const std::uint16_t tag = zip::Le16(extra + at);
        const std::uint16_t length = zip::Le16(extra + at + 2);
        if (at + 4 + length > size) break;
        if (tag == kExtendedTimestampTag && length >= 5 && (extra[at + 4] & 1))
            return static_cast<std::int64_t>(zip::Le32(extra + at + 5));
        at += 4 + length;
    }
    return zip::DosTimeToTime(m_uModDate, m_uModTime);
}

std::uint32_t CZipFileHeader::GetUnixMode() const {
    return GetSystemCompatibility() == kZipSystemUnix ? (m_uExternalAttr >> 16) : 0;
}
