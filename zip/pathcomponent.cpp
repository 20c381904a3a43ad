#include "zip/pathcomponent.h"

#include "platform/strings.h"

namespace zip {

std::string SeparatorMask(const std::string& text) {
    std::string mask(text.size(), '\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (platform::IsLeadByte(c) && i + 1 < text.size()) {
            ++i;  // the trail byte is part of this character
        } else if (c == '\\' || c == '/') {
            mask[i] = 1;
        }
    }
    return mask;
}

std::string TrimTrailingSeparators(const std::string& text) {
    const std::string mask = SeparatorMask(text);
    std::size_t end = text.size();
    while (end > 0 && mask[end - 1]) --end;
    return text.substr(0, end);
}

}  // namespace zip

namespace {

// How many leading bytes of `path`, lower-cased, agree with "\\?\unc\".
std::size_t PrefixAgreement(const std::string& path) {
    static const char kUnc[] = "\\\\?\\unc\\";
    std::size_t n = 0;
    while (n < 8 && n < path.size()) {
        char c = path[n];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != kUnc[n]) break;
        ++n;
    }
    return n;
}

}  // namespace

void CZipPathComponent::Split(const std::string& path) {
    m_strFolder.clear();
    m_strTitle.clear();
    m_strExtension.clear();
    m_strDrive.clear();
    m_strPrefix.clear();
    m_bValid = true;

    std::string rest = path;
    const std::size_t agreed = PrefixAgreement(path);
    if (agreed == 2 || agreed == 4 || agreed == 8) {
        m_strPrefix = path.substr(0, agreed);
        rest = path.substr(agreed);
    }

    std::string drive;
    if (rest.size() >= 2 && rest[1] == ':' && !platform::IsLeadByte(static_cast<unsigned char>(rest[0]))) {
        drive = rest.substr(0, 2);
        rest = rest.substr(2);
    }
    const std::string mask = zip::SeparatorMask(rest);
    std::size_t nameStart = 0;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (mask[i]) nameStart = i + 1;
    }
    std::string folder = rest.substr(0, nameStart);
    std::string name = rest.substr(nameStart);
    // The extension starts at the last '.' of the name ('.' is never a trail byte).
    const std::size_t dot = name.rfind('.');
    std::string title = dot == std::string::npos ? name : name.substr(0, dot);
    std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);

    if (drive.size() > kMaxDrive || folder.size() > kMaxPart || title.size() > kMaxPart ||
        extension.size() > kMaxPart) {
        m_strPrefix.clear();
        m_bValid = false;
        return;
    }

    std::size_t start = 0;
    while (start < folder.size() && (folder[start] == '\\' || folder[start] == '/')) ++start;
    m_strFolder = zip::TrimTrailingSeparators(folder.substr(start));
    const std::size_t extStart = extension.find_first_not_of('.');
    m_strExtension = extStart == std::string::npos ? std::string() : extension.substr(extStart);
    m_strTitle = title;
    m_strDrive = drive;
}

std::string CZipPathComponent::FileName() const {
    return m_strExtension.empty() ? m_strTitle : m_strTitle + "." + m_strExtension;
}

std::string CZipPathComponent::FolderPath() const {
    std::string result = m_strPrefix + m_strDrive;
    if (!m_strDrive.empty() && !m_strFolder.empty()) result += '\\';
    return result + m_strFolder;
}

std::string CZipPathComponent::PathWithoutDrive() const {
    const std::string name = FileName();
    std::string result = m_strFolder;
    if (!m_strFolder.empty() && !name.empty()) result += '\\';
    return result + name;
}

std::string CZipPathComponent::FullPath() const {
    const std::string name = FileName();
    std::string result = FolderPath();
    if (!name.empty()) result += "\\" + name;
    return result;
}

namespace zip {

bool TargetPathForEntry(const std::string& nameInArchive, const std::string& targetFolder, bool fullPath,
                        const char* newName, bool stripDrive, std::string& target) {
    const std::string name = newName != nullptr ? std::string(newName) : nameInArchive;
    target = targetFolder;
    if (name.empty()) return true;
    if (!target.empty()) target = TrimTrailingSeparators(target) + "\\";
    const std::string trimmed = TrimTrailingSeparators(name);
    CZipPathComponent parts(trimmed);
    if (!parts.IsValid()) return false;
    if (!fullPath) {
        // Relative to the archive's root path, which this reader never sets:
        // the file name alone.
        target += parts.FileName();
    } else if (stripDrive) {
        target += parts.PathWithoutDrive();
    } else {
        target += trimmed;
    }
    return true;
}

}  // namespace zip
