// UTF-8 text as the archive's names and the version resource's UTF-16
// strings need it.
#pragma once

#include <cstdint>
#include <string>

namespace sfxpack {

// Decodes well-formed UTF-8 (no overlong forms, surrogates or values beyond
// U+10FFFF) into UTF-16; false for anything else.
bool Utf8ToUtf16(const std::string& text, std::u16string& out);
inline bool IsUtf8(const std::string& text) {
    std::u16string ignored;
    return Utf8ToUtf16(text, ignored);
}

}  // namespace sfxpack
