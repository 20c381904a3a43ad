// Internal to the win32 backend: our UTF-8 strings in the UTF-16 form the
// system's wide calls take, and back.
#pragma once

#include <cstddef>
#include <string>

namespace platform::detail {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wide characters are UTF-16 units");

// A path for the wide file calls: absolute paths in their extended-length
// form (platform/widepath.h), so that any length works and no name is
// taken for a device. When the path cannot be given (too long, not UTF-8),
// ok() is false and the thread's last error says why.
class WidePath {
public:
    explicit WidePath(const std::string& path);
    WidePath(const WidePath&) = delete;
    WidePath& operator=(const WidePath&) = delete;
    bool ok() const { return m_bOk; }
    const wchar_t* get() const { return reinterpret_cast<const wchar_t*>(m_text.c_str()); }

private:
    std::u16string m_text;
    bool m_bOk = false;
};

// A text (a message, a caption, a command line) in UTF-16. Text that is not
// UTF-8 is read in the ANSI code page, as the narrow calls would have read it.
std::u16string WideText(const std::string& text);
inline const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

// UTF-16 from the system as UTF-8.
std::string Narrow(const wchar_t* text, std::size_t length);
std::string Narrow(const wchar_t* text);

}  // namespace platform::detail
