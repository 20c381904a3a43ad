// Splits a Windows path into prefix, drive, folder, file title and
// extension, the way the run-time library's path splitter does, aware of
// double-byte characters. Both '\' and '/' separate.
#pragma once

#include <cstddef>
#include <string>

class CZipPathComponent {
public:
    // The splitter's limits: the drive holds 2 characters, each other part
    // as much as the longest path the system takes (entry names have their
    // own limit per name, see zip/entrypath.h).
    static constexpr std::size_t kMaxDrive = 2;
    static constexpr std::size_t kMaxPart = 32766;

    CZipPathComponent() = default;
    explicit CZipPathComponent(const std::string& path) { Split(path); }
    virtual ~CZipPathComponent() = default;

    // Splits `path`. A part longer than the splitter's buffer leaves every
    // part empty and IsValid() false.
    void Split(const std::string& path);
    bool IsValid() const { return m_bValid; }

    // Title, plus '.' and the extension when there is one.
    std::string FileName() const;
    // Prefix + drive (+ '\' when drive and folder are both there) + folder.
    std::string FolderPath() const;
    // Folder (+ '\' when folder and file name are both there) + file name.
    std::string PathWithoutDrive() const;
    // FolderPath() (+ '\' + file name when there is one).
    std::string FullPath() const;

    std::string m_strFolder;     // without leading or trailing separators
    std::string m_strTitle;      // the file name without its extension
    std::string m_strExtension;  // without its leading dots
    std::string m_strDrive;      // "C:" or empty
    std::string m_strPrefix;     // "\\", "\\?\" or "\\?\UNC\" as written, or empty

private:
    bool m_bValid = true;
};

namespace zip {

// Whether byte `i` of `text` is a separator character of its own ('\' or
// '/', never the trail byte of a double-byte character), for every i.
// Returns a mask: mask[i] true for separators.
std::string SeparatorMask(const std::string& text);

// `text` without its trailing separators ('\' and '/'); a double-byte
// character's trail byte stays.
std::string TrimTrailingSeparators(const std::string& text);

// The path an entry extracts to. The name is `newName` when given, else
// `nameInArchive`; an empty name gives `targetFolder` unchanged. Otherwise:
// the target folder without trailing separators, one '\' (when the folder
// is not empty), and, with `fullPath`, the name's path without drive,
// prefix and leading separators (`stripDrive`) or the name as it is
// (!`stripDrive`); without `fullPath`, the name's file name only.
// False when the name's parts exceed the splitter's limits.
bool TargetPathForEntry(const std::string& nameInArchive, const std::string& targetFolder, bool fullPath,
                        const char* newName, bool stripDrive, std::string& target);

}  // namespace zip
