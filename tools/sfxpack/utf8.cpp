#include "tools/sfxpack/utf8.h"

namespace sfxpack {

bool Utf8ToUtf16(const std::string& text, std::u16string& out) {
    out.clear();
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        std::size_t more = 0;
        std::uint32_t value = 0, least = 0;
        if (c < 0x80) {
            more = 0, value = c;
        } else if ((c & 0xE0) == 0xC0) {
            more = 1, value = c & 0x1F, least = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            more = 2, value = c & 0x0F, least = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            more = 3, value = c & 0x07, least = 0x10000;
        } else {
            return false;
        }
        if (text.size() - i <= more) return false;
        for (std::size_t k = 1; k <= more; ++k) {
            const unsigned char d = static_cast<unsigned char>(text[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            value = (value << 6) | (d & 0x3F);
        }
        if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
        if (value >= 0x10000) {
            value -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (value >> 10));
            out += static_cast<char16_t>(0xDC00 + (value & 0x3FF));
        } else {
            out += static_cast<char16_t>(value);
        }
        i += more + 1;
    }
    return true;
}

}  // namespace sfxpack
