#include "tools/sfxpack/utf8.h"

#include "platform/unicode.h"

namespace sfxpack {

bool Utf8ToUtf16(const std::string& text, std::u16string& out) {
    out.clear();
    return platform::Utf8ToUtf16(text, out);
}

}  // namespace sfxpack
