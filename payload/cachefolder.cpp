#include "payload/cachefolder.h"

#include <vector>

#include "payload/md5.h"
#include "platform/file.h"
#include "platform/strings.h"
#include "platform/system.h"

namespace {

constexpr std::size_t kDigestDigits = 16;
// Long enough to tell programs apart, short enough to leave room for the
// program's own paths below the copy.
constexpr std::size_t kMaxProgramName = 40;

// Whether `c` may stand in a name on every file system the launcher meets.
bool IsPlainNameByte(unsigned char c) {
    if (c < 0x20 || c == 0x7F) return false;
    for (const char* p = "\\/:*?\"<>|"; *p != '\0'; ++p)
        if (c == static_cast<unsigned char>(*p)) return false;
    return true;
}

}  // namespace

std::string LauncherCacheFolder(const std::string& askedBase, const std::string& launcherPath) {
    const std::string base = askedBase.empty() ? platform::UserCacheFolder() : askedBase;
    const std::string name = platform::FileTitleOf(launcherPath);
    if (base.empty() || name.empty()) return std::string();
    return platform::TrimTrailingBackslashes(base) + "\\" + name;
}

std::string CopyFolderName(const std::string& run, const std::string& digest) {
    std::string program = platform::FileTitleOf(run.substr(run.find_last_of("\\/") + 1));
    for (char& c : program)
        if (!IsPlainNameByte(static_cast<unsigned char>(c))) c = '_';
    if (program.size() > kMaxProgramName) {
        // Cut between characters, never inside one.
        std::size_t cut = kMaxProgramName;
        while (cut > 0 && (static_cast<unsigned char>(program[cut]) & 0xC0) == 0x80) --cut;
        program.resize(cut);
    }
    while (!program.empty() && (program.back() == '.' || program.back() == ' ')) program.pop_back();
    if (program.empty()) program = "program";
    return program + "-" + digest;
}

bool IsCopyFolderName(const std::string& name) {
    if (name.size() < kDigestDigits + 2 || name[name.size() - kDigestDigits - 1] != '-') return false;
    for (std::size_t i = name.size() - kDigestDigits; i < name.size(); ++i) {
        const char c = name[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

std::string CopyFilesFolder(const std::string& copy) { return copy + "\\files"; }
std::string CopyManifest(const std::string& copy) { return copy + "\\manifest"; }

std::string PayloadDigest(const std::string& configText, const std::string& launcherPath,
                          std::uint64_t directoryStart, std::uint64_t directorySize) {
    Md5Digest md5;
    const std::string layout = platform::Format("sfxlauncher cache %d", kCacheLayoutVersion);
    md5.Update(layout.c_str(), layout.size() + 1);
    md5.Update(configText.c_str(), configText.size() + 1);  // the NUL ends the text: no two payloads run together
    platform::File file;
    if (!file.TryOpen(launcherPath, platform::kModeRead | platform::kShareDenyWrite)) return std::string();
    try {
        file.Seek(static_cast<std::int64_t>(directoryStart), platform::File::kBegin);
        std::vector<unsigned char> buffer(65536);
        for (std::uint64_t left = directorySize; left != 0;) {
            const std::uint32_t want = left < buffer.size() ? static_cast<std::uint32_t>(left)
                                                            : static_cast<std::uint32_t>(buffer.size());
            const std::uint32_t got = file.Read(buffer.data(), want);
            if (got == 0) return std::string();  // the directory ends beyond the file
            md5.Update(buffer.data(), got);
            left -= got;
        }
    } catch (const platform::FileException&) {
        return std::string();
    }
    return md5.HexDigest().substr(0, kDigestDigits);
}
