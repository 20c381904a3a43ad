// Little-endian field access for the archive's on-disk records. Records are
// read into byte arrays and taken apart field by field, never by laying a
// struct over the bytes.
#pragma once

#include <cstdint>

namespace zip {

inline std::uint16_t Le16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t Le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline std::uint64_t Le64(const unsigned char* p) {
    return static_cast<std::uint64_t>(Le32(p)) | (static_cast<std::uint64_t>(Le32(p + 4)) << 32);
}

// The four signature bytes "PK" a b.
inline bool HasSignature(const unsigned char* p, unsigned char a, unsigned char b) {
    return p[0] == 0x50 && p[1] == 0x4B && p[2] == a && p[3] == b;
}

}  // namespace zip
