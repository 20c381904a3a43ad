// Byte-string helpers for ANSI text and Windows paths.
//
// All text in the launcher is narrow text in the process's ANSI code page.
// The separator searches here never take the trail byte of a double-byte
// character for '\', whichever backend provides the lead-byte test.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

namespace platform {

// printf-style formatting into a std::string.
std::string Format(const char* fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
std::string FormatV(const char* fmt, va_list args);

// Upper-cases ASCII letters only; other bytes stay as they are.
std::string ToUpperAscii(std::string text);
// Case-insensitive comparison of ASCII letters: <0, 0 or >0 like strcmp.
int CompareNoCase(const std::string& a, const std::string& b);

// True when `byte` starts a double-byte character in the active ANSI code page.
bool IsLeadByte(unsigned char byte);

// Tests can switch the posix backend's lead-byte test to a double-byte code
// page (932: Shift-JIS, 936: GBK, 949, 950) or back to single-byte (0 or
// 1252). The win32 backend always follows the system's ANSI code page and
// ignores this. Returns false for a code page it does not know.
bool SetLeadByteCodePage(unsigned codePage);

// Position of the first / last '\' that is a character of its own, or npos.
std::size_t FindFirstBackslash(const std::string& text, std::size_t from = 0);
std::size_t FindLastBackslash(const std::string& text);

// Removes every trailing '\' (a double-byte character's trail byte is kept).
std::string TrimTrailingBackslashes(std::string path);

// The last path component: everything after the last '\' (or all of it).
std::string FileNameOf(const std::string& path);
// The file name without its last extension ("C:\a\b.exe" -> "b").
std::string FileTitleOf(const std::string& path);

}  // namespace platform
