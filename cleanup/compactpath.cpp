#include "cleanup/compactpath.h"

#include "platform/strings.h"

std::string CompactPathForDisplay(const std::string& path, int maxLength) {
    const auto fits = [maxLength](const std::string& text) {
        return maxLength >= 0 && text.size() <= static_cast<std::size_t>(maxLength);
    };
    if (fits(path)) return path;

    std::string prefix, tail;
    if (path.compare(0, 2, "\\\\") == 0) {
        const std::string rest = path.substr(2);
        const std::size_t cut = platform::FindFirstBackslash(rest);
        if (cut == std::string::npos) return path;
        prefix = "\\\\" + rest.substr(0, cut);
        tail = rest.substr(cut + 1);
    } else {
        if (path.size() < 3) return path;
        prefix = path.substr(0, 2);
        tail = path.substr(3);
    }

    const std::size_t cut = platform::FindLastBackslash(tail);
    if (cut == std::string::npos) return path;
    const std::string name = tail.substr(cut + 1);
    std::string head = tail.substr(0, cut);
    const std::string shortest = prefix + "\\...\\" + name;
    if (static_cast<long long>(prefix.size() + 5 + name.size()) >= maxLength) return shortest;

    std::size_t last;
    while ((last = platform::FindLastBackslash(head)) != std::string::npos) {
        head.erase(last);
        std::string candidate = prefix + "\\" + head + "\\...\\" + name;
        if (fits(candidate)) return candidate;
    }
    std::string candidate = prefix + "\\" + head + "\\...\\" + name;
    return fits(candidate) ? candidate : shortest;
}
