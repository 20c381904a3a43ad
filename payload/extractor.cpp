#include "payload/extractor.h"

#include <cstring>
#include <vector>

#include "payload/runfolder.h"
#include "platform/app.h"
#include "platform/file.h"
#include "platform/strings.h"
#include "platform/system.h"

namespace {

// Not a function's static: its first-use guard would bring 2 KB of runtime into the stub.
std::string g_tempBase;

std::uint32_t ReadLittleEndian32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

void SetTempFolderBase(const std::string& base) { g_tempBase = base; }
const std::string& TempFolderBase() { return g_tempBase; }

void CSFEFileExtractor::MarkerBytes(unsigned char out[kMarkerSize]) {
    // Built from two halves so that no constant in the image spells the marker.
    static const unsigned char kHalf[3] = {0x0B, 0x0B, 0xAF};
    for (std::size_t i = 0; i < 3; ++i) {
        out[i] = kHalf[i];
        out[kMarkerSize - 1 - i] = kHalf[i];
    }
}

long FindMarker(const unsigned char* data, std::size_t count) {
    unsigned char marker[CSFEFileExtractor::kMarkerSize];
    CSFEFileExtractor::MarkerBytes(marker);
    if (count < sizeof marker) return -1;
    for (std::size_t i = 0; i + sizeof marker <= count; ++i) {
        if (data[i] == marker[0] && std::memcmp(data + i, marker, sizeof marker) == 0) return static_cast<long>(i);
    }
    return -1;
}

CSFEFileExtractor::CSFEFileExtractor() {
    std::string path;
    if (!platform::GetModuleFileName(path)) {
        platform::AppMessageBox("Could not get module name");
        return;
    }
    m_strModulePath = path;
}

std::string CSFEFileExtractor::GetDataSegment(bool* found) {
    if (!m_bSegmentRead) {
        m_bSegmentRead = true;
        m_strSegment = ReadDataSegment(m_bSegmentFound);
    }
    if (found != nullptr) *found = m_bSegmentFound;
    return m_strSegment;
}

std::string CSFEFileExtractor::ReadDataSegment(bool& found) {
    platform::WaitCursor busy;
    std::string result;
    found = false;
    platform::File file;
    if (!file.TryOpen(m_strModulePath, platform::kModeRead | platform::kShareDenyWrite)) return result;

    try {
        std::vector<unsigned char> window(kScanSize, 0);
        file.Seek(kScanStart, platform::File::kBegin);
        std::uint32_t count = file.Read(window.data(), kScanSize);
        long at = FindMarker(window.data(), count);
        window.clear();
        window.shrink_to_fit();
        if (at < 0) {
            platform::AppMessageBox("Data segment not found.");
            return result;
        }
        found = true;
        file.Seek(static_cast<std::int64_t>(kScanStart) + at + kMarkerSize, platform::File::kBegin);
        unsigned char lengthField[4];
        if (file.Read(lengthField, 4) != 4) return result;  // no length: no text
        std::uint32_t length = ReadLittleEndian32(lengthField);
        if (length > kMaxConfigText) length = kMaxConfigText;
        char text[kMaxConfigText + 1] = {};
        file.Read(text, length);  // a short read at the end of the file keeps what is there
        result = text;            // the text ends at its first NUL
    } catch (const platform::FileException&) {
        // A read or seek error other than the end of the file: no configuration.
        result.clear();
    }
    return result;
}

std::string CSFEFileExtractor::GetTempFolderName(platform::FolderLock& mark) {
    platform::WaitCursor busy;
    return ClaimRunFolder(RunFolderBase(), mark);
}
