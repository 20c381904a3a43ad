#include "cleanup/compactpath.h"

#include "platform/strings.h"

namespace {

// `prefix`, then `head` when given, then "\...\" and `name`.
std::string Shortened(const std::string& prefix, const std::string* head, const std::string& name) {
    std::string text = prefix;
    if (head != nullptr) {
        text += '\\';
        text += *head;
    }
    text += "\\...\\";
    text += name;
    return text;
}

}  // namespace

std::string CompactPathForDisplay(const std::string& path, int maxLength) {
    const auto fits = [maxLength](const std::string& text) {
        return maxLength >= 0 && text.size() <= static_cast<std::size_t>(maxLength);
    };
    if (fits(path)) return path;

    std::string prefix, head;
    if (path.compare(0, 2, "\\\\") == 0) {
        // The server's name ends at the first '\' after the two.
        const std::size_t cut = platform::FindFirstBackslash(path, 2);
        if (cut == std::string::npos) return path;
        prefix = path.substr(0, cut);
        head = path.substr(cut + 1);
    } else {
        if (path.size() < 3) return path;
        prefix = path.substr(0, 2);
        head = path.substr(3);
    }

    const std::size_t cut = platform::FindLastBackslash(head);
    if (cut == std::string::npos) return path;
    const std::string name = head.substr(cut + 1);
    head.erase(cut);
    if (static_cast<long long>(prefix.size() + 5 + name.size()) >= maxLength) return Shortened(prefix, nullptr, name);

    // Drops the head's folders from the end until the text fits.
    for (;;) {
        const std::size_t last = platform::FindLastBackslash(head);
        if (last != std::string::npos) head.erase(last);
        std::string candidate = Shortened(prefix, &head, name);
        if (fits(candidate)) return candidate;
        if (last == std::string::npos) return Shortened(prefix, nullptr, name);
    }
}
