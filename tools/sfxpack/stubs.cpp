#include "tools/sfxpack/stubs.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "payload/stubid.h"
#include "platform/system.h"
#include "tools/sfxpack/peresources.h"

namespace sfxpack {

namespace {

// The stubs' folder relative to the folder sfxpack is installed in, as the
// build's install rules lay them out (tools/sfxpack/CMakeLists.txt).
#ifndef SFX_STUB_FOLDER
#define SFX_STUB_FOLDER "../share/sfxlauncher"
#endif

bool StartsWith(const Bytes& data, std::size_t at, const char* text) {
    const std::size_t length = std::strlen(text);
    return at <= data.size() && data.size() - at >= length && std::memcmp(data.data() + at, text, length) == 0;
}

bool IsText(const Bytes& data) {
    return std::all_of(data.begin(), data.end(), [](unsigned char c) {
        return c >= 0x20 ? c != 0x7F : c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
    });
}

// The version written after the identification's label: decimal digits up
// to the terminating NUL; 0 when they are not there.
std::uint32_t ReadFormatVersion(const Bytes& data, std::size_t at) {
    std::uint64_t version = 0;
    std::size_t digits = 0;
    for (; at < data.size() && data[at] >= '0' && data[at] <= '9' && digits < 9; ++at, ++digits)
        version = version * 10 + (data[at] - '0');
    if (digits == 0 || at >= data.size() || data[at] != '\0') return 0;
    return static_cast<std::uint32_t>(version);
}

const char* Describe(StubKind kind) {
    switch (kind) {
        case StubKind::kEmpty: return "an empty file, not a launcher stub";
        case StubKind::kText: return "a text file, not a launcher stub";
        case StubKind::kWindowsProgram: return "a Windows program that is not a launcher stub";
        case StubKind::kElfProgram: return "an ELF program that is not a launcher stub";
        default: return "not a launcher stub (it carries no stub identification)";
    }
}

const char* ArchName(StubArch arch) {
    switch (arch) {
        case StubArch::kWin32: return "win32";
        case StubArch::kWin64: return "win64";
        default: return "native";
    }
}

}  // namespace

StubIdentity IdentifyStub(const Bytes& data) {
    StubIdentity identity;
    const char* const name = stubid::kStubName;
    const std::size_t nameLength = sizeof stubid::kStubName - 1;
    for (auto at = data.begin(); (at = std::search(at, data.end(), name, name + nameLength)) != data.end(); ++at) {
        const auto label = static_cast<std::size_t>(at - data.begin()) + nameLength;
        if (!StartsWith(data, label, stubid::kStubFormatLabel)) continue;
        identity.kind = StubKind::kLauncherStub;
        identity.formatVersion = ReadFormatVersion(data, label + std::strlen(stubid::kStubFormatLabel));
        return identity;
    }
    if (data.empty()) identity.kind = StubKind::kEmpty;
    else if (IsPeImage(data)) identity.kind = StubKind::kWindowsProgram;
    else if (StartsWith(data, 0, "\x7F" "ELF")) identity.kind = StubKind::kElfProgram;
    else if (IsText(data)) identity.kind = StubKind::kText;
    return identity;
}

void CheckStub(const Bytes& data, const std::string& nativePath) {
    const StubIdentity identity = IdentifyStub(data);
    if (identity.kind != StubKind::kLauncherStub)
        throw PackError("the stub " + nativePath + " is " + Describe(identity.kind) +
                        "; a stub is launcher.exe, launcher-console.exe or the native launcher of this "
                        "project's build");
    if (identity.formatVersion == 0)
        throw PackError("the stub " + nativePath + " is a launcher stub whose payload format cannot be read");
    if (identity.formatVersion != stubid::kPayloadFormatVersion)
        throw PackError("the stub " + nativePath + " reads payload format " + std::to_string(identity.formatVersion) +
                        ", but this sfxpack writes payload format " + std::to_string(stubid::kPayloadFormatVersion) +
                        "; take the stub from the build sfxpack comes from");
}

bool ParseStubArch(const std::string& name, StubArch& arch) {
    for (StubArch each : {StubArch::kWin32, StubArch::kWin64, StubArch::kNative}) {
        if (name == ArchName(each)) {
            arch = each;
            return true;
        }
    }
    return false;
}

std::string InstalledStubPath(const std::string& programFolder, StubArch arch, bool console) {
    const char* file = arch == StubArch::kNative ? "launcher" : console ? "launcher-console.exe" : "launcher.exe";
    return (std::filesystem::path(programFolder) / SFX_STUB_FOLDER / ArchName(arch) / file).lexically_normal().string();
}

std::string FindInstalledStub(StubArch arch, bool console) {
    std::string program;
    if (!platform::GetModuleFileName(program))
        throw PackError("cannot tell where sfxpack is installed, so it cannot find its stubs; name one with --stub");
    const std::string folder = std::filesystem::path(platform::ToNativePath(program)).parent_path().string();
    const std::string stub = InstalledStubPath(folder, arch, console);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(stub, ec))
        throw PackError(std::string("no ") + ArchName(arch) + (console && arch != StubArch::kNative ? " console" : "") +
                        " stub is installed with this sfxpack: there is no " + stub +
                        " (cmake --install puts the stubs of the builds it was made with there); name one with --stub");
    return stub;
}

}  // namespace sfxpack
