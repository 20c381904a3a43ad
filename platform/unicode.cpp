#include "platform/unicode.h"

namespace platform {

namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }
bool IsHighSurrogate(char32_t value) { return value >= 0xD800 && value <= 0xDBFF; }
bool IsLowSurrogate(char32_t value) { return value >= 0xDC00 && value <= 0xDFFF; }

void AppendUtf8(std::string& out, char32_t value) {
    if (value < 0x80) {
        out += static_cast<char>(value);
    } else if (value < 0x800) {
        out += static_cast<char>(0xC0 | (value >> 6));
        out += static_cast<char>(0x80 | (value & 0x3F));
    } else if (value < 0x10000) {
        out += static_cast<char>(0xE0 | (value >> 12));
        out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (value & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (value >> 18));
        out += static_cast<char>(0x80 | ((value >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (value & 0x3F));
    }
}

}  // namespace

bool Utf8ToUtf16(const std::string& text, std::u16string& out, bool loneSurrogates) {
    out.reserve(out.size() + text.size());
    bool afterHighSurrogate = false;  // the last character was a lone high surrogate
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t value = 0, least = 0;
        if (lead < 0x80) {
            out += static_cast<char16_t>(lead);
            afterHighSurrogate = false;
            ++i;
            continue;
        }
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, value = lead & 0x1Fu, least = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3, value = lead & 0x0Fu, least = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, value = lead & 0x07u, least = 0x10000;
        } else {
            return false;
        }
        if (i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if (!IsContinuation(next)) return false;
            value = (value << 6) | (next & 0x3Fu);
        }
        if (value < least || value > 0x10FFFF) return false;
        if (IsHighSurrogate(value) || IsLowSurrogate(value)) {
            if (!loneSurrogates || (afterHighSurrogate && IsLowSurrogate(value))) return false;
        }
        afterHighSurrogate = IsHighSurrogate(value);
        if (value >= 0x10000) {
            value -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (value >> 10));
            out += static_cast<char16_t>(0xDC00 + (value & 0x3FF));
        } else {
            out += static_cast<char16_t>(value);
        }
        i += length;
    }
    return true;
}

std::string Utf16ToUtf8(const char16_t* text, std::size_t length) {
    std::string out;
    out.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
        char32_t value = text[i];
        if (IsHighSurrogate(value) && i + 1 < length && IsLowSurrogate(text[i + 1])) {
            value = 0x10000 + ((value - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        AppendUtf8(out, value);
    }
    return out;
}

std::size_t Utf16Length(const std::string& text) {
    std::size_t units = 0;
    for (char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (IsContinuation(byte)) continue;
        units += byte >= 0xF0 && byte <= 0xF4 ? 2 : 1;  // beyond U+FFFF: a surrogate pair
    }
    return units;
}

}  // namespace platform
