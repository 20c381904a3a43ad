#include "platform/win32/wide.h"

#include "platform/win32/windows_api.h"

#include "platform/unicode.h"
#include "platform/widepath.h"

namespace platform::detail {

WidePath::WidePath(const std::string& path) {
    std::string extended;
    if (!ExtendedLengthPath(path, extended)) {
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return;
    }
    // A name the system listed may hold a lone surrogate (see Utf16ToUtf8).
    if (!Utf8ToUtf16(extended, m_text, true)) {
        ::SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return;
    }
    m_bOk = true;
}

std::u16string WideText(const std::string& text) {
    std::u16string wide;
    if (Utf8ToUtf16(text, wide)) return wide;
    const int size = static_cast<int>(text.size());
    const int units = ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    wide.assign(units > 0 ? static_cast<std::size_t>(units) : 0, u'\0');
    if (units > 0) ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, reinterpret_cast<wchar_t*>(&wide[0]), units);
    return wide;
}

std::string Narrow(const wchar_t* text, std::size_t length) {
    return Utf16ToUtf8(reinterpret_cast<const char16_t*>(text), length);
}

std::string Narrow(const wchar_t* text) { return Narrow(text, text != nullptr ? ::lstrlenW(text) : 0); }

}  // namespace platform::detail
