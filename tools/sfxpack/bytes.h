// Little-endian fields appended to or patched into byte buffers, one named
// field at a time (the on-disk records of ZIP archives and PE images are
// never laid over structs).
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace sfxpack {

using Bytes = std::vector<unsigned char>;

// Why packing or a check failed; the message is shown to the user as it is.
class PackError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline void Put16(Bytes& b, std::size_t at, std::uint32_t v) {
    b.at(at + 1);  // range check before writing
    b[at] = static_cast<unsigned char>(v);
    b[at + 1] = static_cast<unsigned char>(v >> 8);
}

inline void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
    b.at(at + 3);
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

inline void Append16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<unsigned char>(v));
    b.push_back(static_cast<unsigned char>(v >> 8));
}

inline void Append32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

inline void Append64(Bytes& b, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

inline void AppendText(Bytes& b, const std::string& text) { b.insert(b.end(), text.begin(), text.end()); }

}  // namespace sfxpack
