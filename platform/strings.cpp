#include "platform/strings.h"

#include <cstdio>
#include <vector>

namespace platform {

std::string FormatV(const char* fmt, va_list args) {
#if defined(_WIN32)
    // The C runtime's own formatter: mingw-w64's C99 vsnprintf, which <cstdio>
    // selects for C++, brings its floating-point printing (about 20 KB) into the
    // stub. The launcher formats only integers and strings.
    va_list copy;
    va_copy(copy, args);
    int needed = _vscprintf(fmt, copy);
    va_end(copy);
    if (needed <= 0) return std::string();
    std::string text(static_cast<std::size_t>(needed), '\0');
    _vsnprintf(&text[0], text.size(), fmt, args);
    return text;
#else
    va_list copy;
    va_copy(copy, args);
    char small[256];
    int needed = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (needed < 0) return std::string();
    if (static_cast<std::size_t>(needed) < sizeof small) return std::string(small, needed);
    std::vector<char> big(static_cast<std::size_t>(needed) + 1);
    std::vsnprintf(big.data(), big.size(), fmt, args);
    return std::string(big.data(), needed);
#endif
}

std::string Format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::string result = FormatV(fmt, args);
    va_end(args);
    return result;
}

static char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string ToUpperAscii(std::string text) {
    for (char& c : text) c = UpperAscii(c);
    return text;
}

int CompareNoCase(const std::string& a, const std::string& b) {
    std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(UpperAscii(a[i]));
        unsigned char y = static_cast<unsigned char>(UpperAscii(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::size_t FindFirstBackslash(const std::string& text, std::size_t from) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) {
            ++i;  // skip the trail byte
            continue;
        }
        if (text[i] == '\\' && i >= from) return i;
    }
    return std::string::npos;
}

std::size_t FindLastBackslash(const std::string& text) {
    std::size_t last = std::string::npos;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) {
            ++i;
            continue;
        }
        if (text[i] == '\\') last = i;
    }
    return last;
}

std::string TrimTrailingBackslashes(std::string path) {
    while (!path.empty()) {
        std::size_t last = FindLastBackslash(path);
        if (last == std::string::npos || last + 1 != path.size()) break;
        path.erase(last);
    }
    return path;
}

std::string FileNameOf(const std::string& path) {
    std::size_t slash = FindLastBackslash(path);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FileTitleOf(const std::string& path) {
    std::string name = FileNameOf(path);
    std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

}  // namespace platform
