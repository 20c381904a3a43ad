// The stub a launcher starts with: the one installed beside sfxpack for an
// architecture, or the file the deployer names, which must carry the stub
// identification of this project's build (payload/stubid.h).
#pragma once

#include <cstdint>
#include <string>

#include "tools/sfxpack/bytes.h"

namespace sfxpack {

// What a file given as the stub turned out to be.
enum class StubKind {
    kLauncherStub,    // carries the stub identification
    kEmpty,
    kText,            // no NUL and no control characters besides white space
    kWindowsProgram,  // a PE image without the identification
    kElfProgram,      // an ELF file without the identification
    kOther,
};

struct StubIdentity {
    StubKind kind = StubKind::kOther;
    std::uint32_t formatVersion = 0;  // the payload format a launcher stub reads; 0 when unreadable
};

// What the whole file `data` is. The first identification in it counts.
StubIdentity IdentifyStub(const Bytes& data);

// Throws PackError unless `data` is a stub that reads the payload format
// this sfxpack writes; the message names what `nativePath` is instead, or
// both format versions.
void CheckStub(const Bytes& data, const std::string& nativePath);

// The installed stubs: <prefix>/share/sfxlauncher/<arch>/, beside
// <prefix>/bin/sfxpack.
enum class StubArch { kWin32, kWin64, kNative };

// "win32", "win64" or "native"; false for anything else.
bool ParseStubArch(const std::string& name, StubArch& arch);

// Where the installed stub of `arch` lies, for an sfxpack in `programFolder`
// (native paths): launcher.exe, or launcher-console.exe with `console`; the
// native launcher is a console program, and is the stub either way.
std::string InstalledStubPath(const std::string& programFolder, StubArch arch, bool console);

// The installed stub for this sfxpack; throws PackError naming the place it
// looked when there is none.
std::string FindInstalledStub(StubArch arch, bool console);

}  // namespace sfxpack
