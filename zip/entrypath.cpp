#include "zip/entrypath.h"

#include "platform/strings.h"
#include "platform/unicode.h"
#include "zip/pathcomponent.h"

namespace zip {

namespace {

// The longest name a Windows file system holds, in UTF-16 units.
constexpr std::size_t kMaxComponent = 255;

bool IsDotsAndSpacesOnly(const std::string& component) {
    if (component.empty() || component == ".") return false;
    return component.find_first_not_of(". ") == std::string::npos;
}

// What is wrong with one component of a name, or empty.
std::string ComponentProblem(const std::string& component) {
    if (IsDotsAndSpacesOnly(component)) return "a \"..\" part, which would leave the folder";
    for (std::size_t i = 0; i < component.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(component[i]);
        if (platform::IsLeadByte(c) && i + 1 < component.size()) {
            ++i;  // a double-byte character; its trail byte is not one of these
            continue;
        }
        if (c < 0x20) return platform::Format("the control character 0x%02X, which Windows does not allow", c);
        if (c == ':') return "a ':', which names a drive or a stream on Windows";
        static const char kNotInWindowsNames[] = "*?\"<>|";
        for (const char* bad = kNotInWindowsNames; *bad != '\0'; ++bad)
            if (c == static_cast<unsigned char>(*bad))
                return platform::Format("a '%c', which Windows does not allow in names", *bad);
    }
    if (component != "." && (component.back() == '.' || component.back() == ' '))
        return platform::Format("a part that ends in a %s, which Windows would drop",
                                component.back() == '.' ? "dot" : "space");
    if (platform::Utf16Length(component) > kMaxComponent)
        return platform::Format("a part longer than %u characters", static_cast<unsigned>(kMaxComponent));
    return std::string();
}

}  // namespace

std::string EntryNameProblem(const std::string& name) {
    const std::string trimmed = TrimTrailingSeparators(name);
    if (trimmed.empty()) return "an empty name";
    if (trimmed.find('\0') != std::string::npos) return "a NUL byte in the name";
    if (trimmed[0] == '\\' || trimmed[0] == '/') return "an absolute path, which would leave the folder";
    const std::string mask = SeparatorMask(trimmed);
    std::size_t start = 0;
    for (std::size_t i = 0; i <= trimmed.size(); ++i) {
        if (i == trimmed.size() || mask[i]) {
            if (i > start) {
                const std::string problem = ComponentProblem(trimmed.substr(start, i - start));
                if (!problem.empty()) return problem;
            }
            start = i + 1;
        }
    }
    return std::string();
}

}  // namespace zip
