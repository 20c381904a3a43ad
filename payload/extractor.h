// The payload of the running executable: finds what is appended to it and
// names the temporary folder a run extracts into.
//
// Payload layout, appended after the executable's image:
//   offset 0   6 bytes  marker 0B 0B AF AF 0B 0B
//   offset 6   4 bytes  N, length of the configuration text, little-endian
//   offset 10  N bytes  configuration text (XML, single-byte characters)
//   then                the ZIP archive (sfxpack counts its offsets from the start of
//                       the file; offsets counted from the archive's start are read too)
// The marker must start at a file offset in [kScanStart, kScanStart + kScanSize - 6].
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {
class FolderLock;
}

class CSFEFileExtractor {
public:
    static constexpr std::uint32_t kScanStart = 100000;
    static constexpr std::uint32_t kScanSize = 1048576;
    static constexpr std::size_t kMarkerSize = 6;
    static constexpr std::uint32_t kMaxConfigText = 1023;

    // Records the running executable's path; shows "Could not get module
    // name" (and keeps the path empty) when the platform cannot tell it.
    CSFEFileExtractor();
    ~CSFEFileExtractor() = default;
    CSFEFileExtractor(const CSFEFileExtractor&) = delete;
    CSFEFileExtractor& operator=(const CSFEFileExtractor&) = delete;

    // The configuration text of the payload; empty when the file cannot be
    // read, and after the message "Data segment not found." when it holds no
    // marker in the scan window. The text stops at its first NUL and at
    // kMaxConfigText bytes; a file that ends inside the length field gives
    // the empty text. `found`, when given, tells whether the marker was
    // there (an empty text may be a payload without one). The file is read
    // once per extractor: later calls give what the first found, and the
    // message is not shown again.
    std::string GetDataSegment(bool* found = nullptr);

    // A fresh temporary folder "<base>\qx_ext_temp_<n>" under the run
    // folders' base (ClaimRunFolder, payload/runfolder.h). The lock file
    // is held in `mark` for as long as the run lives, so that two launchers
    // started together never share the folder, and no sweep takes it for a
    // dead run's; the folder is private to the user running the launcher
    // (platform/access.h), so nobody else can read what is extracted into
    // it or plant anything there. Whoever gives up on the run removes the
    // folder and then the lock file. Returns the empty string, with the
    // last error set and nothing held, when no folder can be created.
    std::string GetTempFolderName(platform::FolderLock& mark);

    // True when the configuration asks for a silent run (Prog reads as 0).
    bool IsSilentConfigured();

    // The marker bytes, assembled at run time so that the stub's own image
    // never holds them in one piece (the locator takes the first match).
    static void MarkerBytes(unsigned char out[kMarkerSize]);

    std::string m_strModulePath;  // full path of the running executable

private:
    std::string ReadDataSegment(bool& found);

    bool m_bSegmentRead = false;   // the payload was looked for
    bool m_bSegmentFound = false;  // ... and its marker found
    std::string m_strSegment;      // the configuration text it gave
};

// Where the temporary folders go: the launcher's "/T:" folder, or empty for
// the system's temporary path. Set by start-up, read through RunFolderBase.
void SetTempFolderBase(const std::string& base);
const std::string& TempFolderBase();

// Finds the payload in a buffer read from the scan window: the index of the
// first complete marker in `data[0, count)`, or -1.
long FindMarker(const unsigned char* data, std::size_t count);
