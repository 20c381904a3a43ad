// The identification every launcher stub carries in its file, so that the
// packer can tell a stub from any other file without running it, and knows
// which payload format the stub reads:
//
//   "sfxlauncher stub, payload format <version in decimal>" and a NUL
//
// The stub holds it in one piece (launcher/stubid.cpp); whoever looks for it
// compares kStubName and kStubFormatLabel one after the other, so that only
// a stub, never the packer or a test, holds the text whole.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace stubid {

// The payload format the launcher reads (marker, length, configuration,
// archive as its reader takes it). Raise it whenever a stub reads a payload
// that an older stub would not, or the other way round: the packer then
// refuses stubs of the other format instead of writing launchers that fail.
constexpr std::uint32_t kPayloadFormatVersion = 1;

constexpr char kStubName[] = "sfxlauncher stub";
constexpr char kStubFormatLabel[] = ", payload format ";

constexpr std::size_t DecimalDigits(std::uint32_t value) { return value < 10 ? 1 : 1 + DecimalDigits(value / 10); }

constexpr std::size_t kIdentificationSize =
    (sizeof kStubName - 1) + (sizeof kStubFormatLabel - 1) + DecimalDigits(kPayloadFormatVersion) + 1;

// The identification in one piece, NUL included.
constexpr std::array<char, kIdentificationSize> Identification() {
    std::array<char, kIdentificationSize> text{};
    std::size_t at = 0;
    for (std::size_t i = 0; i + 1 < sizeof kStubName; ++i) text[at++] = kStubName[i];
    for (std::size_t i = 0; i + 1 < sizeof kStubFormatLabel; ++i) text[at++] = kStubFormatLabel[i];
    std::uint32_t rest = kPayloadFormatVersion;
    for (std::size_t i = DecimalDigits(kPayloadFormatVersion); i > 0; --i) {
        text[at + i - 1] = static_cast<char>('0' + rest % 10);
        rest /= 10;
    }
    return text;  // the last byte stays NUL
}

}  // namespace stubid
