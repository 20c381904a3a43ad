#include "platform/widepath.h"

#include "platform/unicode.h"

namespace platform {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }
bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// "\\?\" and "\\.\" (either separator): the system takes these as they are.
bool IsDeviceOrExtended(const std::string& path) {
    return path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[1]) && (path[2] == '?' || path[2] == '.') &&
           IsSeparator(path[3]);
}

// The next component of `path` from `at` on (separators before it skipped):
// sets `start` and moves `at` past it; false at the end.
bool NextComponent(const std::string& path, std::size_t& at, std::size_t& start) {
    while (at < path.size() && IsSeparator(path[at])) ++at;
    start = at;
    while (at < path.size() && !IsSeparator(path[at])) ++at;
    return at != start;
}

}  // namespace

bool FitsPathLimit(const std::string& path, std::size_t limit) { return Utf16Length(path) < limit; }

bool ExtendedLengthPath(const std::string& path, std::string& result) {
    std::size_t at = 0, start = 0;
    const bool drive = path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == ':' && IsSeparator(path[2]);
    const bool share = !drive && path.size() >= 3 && IsSeparator(path[0]) && IsSeparator(path[1]) &&
                       !IsSeparator(path[2]) && !IsDeviceOrExtended(path);
    if (!drive && !share) {
        result = path;  // already extended, a device, or relative: the system's to resolve
        return FitsPathLimit(result, kMaxWidePath);
    }
    if (drive) {
        result = "\\\\?\\" + path.substr(0, 2);
        at = 3;
    } else {
        // The server and the share name are the root that ".." stops at.
        result = "\\\\?\\UNC";
        at = 2;
        for (int part = 0; part < 2 && NextComponent(path, at, start); ++part)
            result += "\\" + path.substr(start, at - start);
    }
    const std::size_t root = result.size();
    while (NextComponent(path, at, start)) {
        const std::size_t length = at - start;
        if (length == 1 && path[start] == '.') continue;
        if (length == 2 && path[start] == '.' && path[start + 1] == '.') {
            const std::size_t last = result.rfind('\\');
            result.erase(last != std::string::npos && last > root ? last : root);
            continue;
        }
        result += '\\';
        result.append(path, start, length);
    }
    if (result.size() == root) {
        if (drive) result += '\\';  // "\\?\C:" alone names no folder
    } else if (IsSeparator(path.back())) {
        result += '\\';
    }
    return FitsPathLimit(result, kMaxWidePath);
}

}  // namespace platform
