// UTF-8 and UTF-16, converted without the system's help: the launcher's
// strings are UTF-8 on every backend, and the Windows backend hands the
// system UTF-16. One implementation, so that the tests run it natively.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// Appends the UTF-16 form of `text` to `out`. False (and `out` as far as it
// got) for text that is not UTF-8: a truncated or overlong sequence, a
// stray continuation byte, a value beyond U+10FFFF, a surrogate. With
// `loneSurrogates`, a lone surrogate in its three-byte form is taken (as
// Utf16ToUtf8 writes it), a pair of them still not: the four-byte form is
// the only one for such a character.
bool Utf8ToUtf16(const std::string& text, std::u16string& out, bool loneSurrogates = false);

// The UTF-8 form of `length` UTF-16 units. A lone surrogate (Windows file
// names may hold one) becomes its three-byte form, so that Utf8ToUtf16
// gives the very same name back and such a file can still be deleted.
std::string Utf16ToUtf8(const char16_t* text, std::size_t length);

// How many UTF-16 units the UTF-8 `text` takes (a count, not a check: for
// text that is not UTF-8 it is only an estimate).
std::size_t Utf16Length(const std::string& text);

}  // namespace platform
