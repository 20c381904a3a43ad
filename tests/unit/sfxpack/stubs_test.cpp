// Which file is a launcher stub: the identification every stub carries and
// what sfxpack says of anything else, and where the installed stubs lie.
// Real stubs and programs are tried by tests/e2e/stub/test_sfxpack.py.
#include <gtest/gtest.h>

#include <string>

#include "payload/stubid.h"
#include "tools/sfxpack/stubs.h"

namespace {

using sfxpack::Bytes;
using sfxpack::StubArch;
using sfxpack::StubKind;

Bytes Of(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::string Identification() {
    const auto text = stubid::Identification();
    return std::string(text.data(), text.size());
}

// The smallest file IsPeImage takes for one: "MZ", and "PE\0\0" where the
// DOS header points.
std::string PeImage() {
    std::string image(0x48, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    image[0x3C] = 0x40;
    image.replace(0x40, 4, std::string("PE\0\0", 4));
    return image;
}

TEST(StubIdentification, TheStubsTextNamesTheFormatItReads) {
    EXPECT_EQ(Identification(), "sfxlauncher stub, payload format " + std::to_string(stubid::kPayloadFormatVersion) +
                                    std::string(1, '\0'));
}

TEST(StubIdentification, WhatAFileIs) {
    const std::string id = Identification();
    const std::string name = stubid::kStubName;
    const std::string label = stubid::kStubFormatLabel;
    const struct {
        const char* what;
        std::string data;
        StubKind kind;
        std::uint32_t version;
    } cases[] = {
        {"a stub", PeImage() + "code" + id + "more", StubKind::kLauncherStub, stubid::kPayloadFormatVersion},
        {"only the identification", id, StubKind::kLauncherStub, stubid::kPayloadFormatVersion},
        {"another format", "\x7F" "ELF" + name + label + "27" + std::string(1, '\0'), StubKind::kLauncherStub, 27},
        {"the name alone first, then the whole text", name + "x" + id, StubKind::kLauncherStub,
         stubid::kPayloadFormatVersion},
        {"no digits", name + label + std::string(1, '\0'), StubKind::kLauncherStub, 0},
        {"digits without their end", name + label + "12", StubKind::kLauncherStub, 0},
        {"ten digits", name + label + "1234567890" + std::string(1, '\0'), StubKind::kLauncherStub, 0},
        {"the name without the label", PeImage() + name + std::string(1, '\0'), StubKind::kWindowsProgram, 0},
        {"a Windows program", PeImage(), StubKind::kWindowsProgram, 0},
        {"an ELF program", "\x7F" "ELF\x02\x01\x01" + std::string(9, '\0'), StubKind::kElfProgram, 0},
        {"a text file", "root:x:0:0:root:/root:/bin/bash\n\tdaemon\r\n", StubKind::kText, 0},
        {"text beyond ASCII", "caf\xC3\xA9 na\xEFve\n", StubKind::kText, 0},
        {"an empty file", "", StubKind::kEmpty, 0},
        {"MZ without PE", "MZ" + std::string(100, '\0'), StubKind::kOther, 0},
        {"binary data", std::string("\x01\x02\x03\x00", 4), StubKind::kOther, 0},
    };
    for (const auto& c : cases) {
        const sfxpack::StubIdentity identity = sfxpack::IdentifyStub(Of(c.data));
        EXPECT_EQ(identity.kind, c.kind) << c.what;
        EXPECT_EQ(identity.formatVersion, c.version) << c.what;
    }
}

TEST(StubIdentification, RefusalsNameWhatWasFound) {
    const std::string other = std::to_string(stubid::kPayloadFormatVersion + 1);
    const std::string ours = std::to_string(stubid::kPayloadFormatVersion);
    const struct {
        std::string data;
        std::string message;  // empty: accepted
    } cases[] = {
        {PeImage() + Identification(), ""},
        {"some text\n", "the stub s.exe is a text file, not a launcher stub"},
        {PeImage(), "the stub s.exe is a Windows program that is not a launcher stub"},
        {"\x7F" "ELF", "the stub s.exe is an ELF program that is not a launcher stub"},
        {"", "the stub s.exe is an empty file, not a launcher stub"},
        {std::string(stubid::kStubName) + stubid::kStubFormatLabel + other + std::string(1, '\0'),
         "the stub s.exe reads payload format " + other + ", but this sfxpack writes payload format " + ours},
        {std::string(stubid::kStubName) + stubid::kStubFormatLabel + "x", "whose payload format cannot be read"},
    };
    for (const auto& c : cases) {
        std::string message;
        try {
            sfxpack::CheckStub(Of(c.data), "s.exe");
        } catch (const sfxpack::PackError& e) {
            message = e.what();
        }
        if (c.message.empty()) EXPECT_EQ(message, "") << c.data;
        else EXPECT_NE(message.find(c.message), std::string::npos) << message;
    }
}

TEST(InstalledStubs, LieUnderShareBesideBin) {
    const struct {
        StubArch arch;
        bool console;
        const char* path;
    } cases[] = {
        {StubArch::kWin32, false, "/opt/sfx/share/sfxlauncher/win32/launcher.exe"},
        {StubArch::kWin32, true, "/opt/sfx/share/sfxlauncher/win32/launcher-console.exe"},
        {StubArch::kWin64, false, "/opt/sfx/share/sfxlauncher/win64/launcher.exe"},
        {StubArch::kWin64, true, "/opt/sfx/share/sfxlauncher/win64/launcher-console.exe"},
        {StubArch::kNative, false, "/opt/sfx/share/sfxlauncher/native/launcher"},
        {StubArch::kNative, true, "/opt/sfx/share/sfxlauncher/native/launcher"},
    };
    for (const auto& c : cases) EXPECT_EQ(sfxpack::InstalledStubPath("/opt/sfx/bin", c.arch, c.console), c.path);

    StubArch arch = StubArch::kNative;
    EXPECT_TRUE(sfxpack::ParseStubArch("win64", arch));
    EXPECT_EQ(arch, StubArch::kWin64);
    for (const char* wrong : {"", "Win32", "x86", "win32 "}) EXPECT_FALSE(sfxpack::ParseStubArch(wrong, arch)) << wrong;
}

}  // namespace
