#include "zip/entrypath.h"

#include "zip/pathcomponent.h"

namespace zip {

namespace {

bool IsDotsAndSpacesOnly(const std::string& component) {
    if (component.empty() || component == ".") return false;
    return component.find_first_not_of(". ") == std::string::npos;
}

}  // namespace

bool IsSafeEntryName(const std::string& name) {
    const std::string trimmed = TrimTrailingSeparators(name);
    if (trimmed.empty()) return false;
    if (trimmed.find('\0') != std::string::npos || trimmed.find(':') != std::string::npos) return false;
    if (trimmed[0] == '\\' || trimmed[0] == '/') return false;
    const std::string mask = SeparatorMask(trimmed);
    std::size_t start = 0;
    for (std::size_t i = 0; i <= trimmed.size(); ++i) {
        if (i == trimmed.size() || mask[i]) {
            if (IsDotsAndSpacesOnly(trimmed.substr(start, i - start))) return false;
            start = i + 1;
        }
    }
    return true;
}

}  // namespace zip
