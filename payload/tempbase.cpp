#include "payload/tempbase.h"

#include "platform/strings.h"
#include "platform/system.h"

namespace {

// The system's text for `code` on one line.
std::string ReasonText(std::uint32_t code) {
    if (code == platform::kErrorFileNotFound || code == platform::kErrorPathNotFound) return "does not exist";
    if (code == platform::kErrorDirectoryInvalid) return "is not a folder";
    std::string text = platform::SystemErrorText(code);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text.empty() ? platform::Format("error %u", static_cast<unsigned>(code)) : text;
}

}  // namespace

std::string ChooseTempBase(const std::vector<std::string>& candidates, std::string& passedOver) {
    passedOver.clear();
    for (const std::string& folder : candidates) {
        const std::uint32_t attributes = platform::GetFileAttributes(folder);
        std::string reason;
        if (attributes == platform::kInvalidAttributes) {
            reason = ReasonText(platform::GetLastError());
        } else if (!(attributes & platform::kAttrDirectory)) {
            reason = ReasonText(platform::kErrorDirectoryInvalid);
        } else if (!platform::CanStartProgramsIn(folder)) {
            const std::uint32_t error = platform::GetLastError();
            reason = error == platform::kErrorAccessDisabledByPolicy
                         ? "programs cannot be started from there (a file system mounted noexec?)"
                         : "nothing can be written there: " + ReasonText(error);
        } else {
            return folder;
        }
        passedOver += folder + ": " + reason + "\n";
    }
    return std::string();
}
