// The posix backend shows the file system as drive Z:, the way Wine does.
#include <string>

#include "platform/strings.h"
#include "platform/system.h"

namespace platform {

namespace {
unsigned g_codePage = 0;  // 0: single-byte

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
}  // namespace

bool SetLeadByteCodePage(unsigned codePage) {
    switch (codePage) {
        case 0:
        case 1252:
        case 932:
        case 936:
        case 949:
        case 950: g_codePage = codePage == 1252 ? 0 : codePage; return true;
        default: return false;
    }
}

bool IsLeadByte(unsigned char b) {
    switch (g_codePage) {
        case 932: return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        case 936:
        case 949:
        case 950: return b >= 0x81 && b <= 0xFE;
        default: return false;
    }
}

std::string ToNativePath(const std::string& path) {
    std::string rest;
    std::string native;
    if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':') {
        if (path[0] != 'Z' && path[0] != 'z') {
            // Only Z: exists here; other drives resolve to a path that is never there.
            native = "/nonexistent-drive-";
            native += path[0];
        }
        rest = path.substr(2);
        if (rest.empty() || (rest[0] != '\\' && rest[0] != '/')) rest.insert(0, 1, '\\');
    } else {
        rest = path;
    }
    for (std::size_t i = 0; i < rest.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(rest[i]);
        if (IsLeadByte(c) && i + 1 < rest.size()) {
            native += rest[i];
            native += rest[++i];
            continue;
        }
        native += (c == '\\') ? '/' : rest[i];
    }
    return native;
}

std::string FromNativePath(const std::string& path) {
    std::string result;
    if (!path.empty() && path[0] == '/') result = "Z:";
    for (char c : path) result += (c == '/') ? '\\' : c;
    return result;
}

std::string OemToUtf8(const std::string& text) { return text; }
std::string Utf8ToOem(const std::string& text) { return text; }

}  // namespace platform
