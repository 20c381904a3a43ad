#include "tools/sfxpack/pack.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#include "payload/config.h"
#include "payload/extractor.h"

namespace fs = std::filesystem;

namespace {

constexpr std::uintmax_t kLastMarkerOffset =
    CSFEFileExtractor::kScanStart + CSFEFileExtractor::kScanSize - CSFEFileExtractor::kMarkerSize;

std::string ToBackslashes(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

bool ReadWholeFile(const fs::path& path, std::vector<unsigned char>& data) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool ContainsMarker(const std::vector<unsigned char>& data) {
    return FindMarker(data.data(), data.size()) >= 0;
}

// Every file and folder under `root`, as archive names with '/' separators,
// sorted so that archives are reproducible.
std::vector<fs::path> ListTree(const fs::path& root) {
    std::vector<fs::path> entries;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it)
        entries.push_back(fs::relative(it->path(), root));
    std::sort(entries.begin(), entries.end());
    return entries;
}

bool CopyData(struct archive* a, const fs::path& full, std::vector<char>& buffer, const std::string& name,
              std::string& error) {
    std::ifstream in(full, std::ios::binary);
    if (!in) {
        error = "cannot read " + full.string();
        return false;
    }
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        std::streamsize got = in.gcount();
        if (got > 0 && archive_write_data(a, buffer.data(), static_cast<size_t>(got)) != got) {
            error = std::string("cannot add ") + name + ": " + archive_error_string(a);
            return false;
        }
    }
    if (in.bad()) {
        error = "cannot read " + full.string();
        return false;
    }
    return true;
}

class ArchiveWriter {
public:
    explicit ArchiveWriter(struct archive* a) : m_a(a) {}
    ~ArchiveWriter() { archive_write_free(m_a); }
    struct archive* get() const { return m_a; }

private:
    struct archive* m_a;
};

bool WriteZip(const PackOptions& options, const std::string& password, std::FILE* out, std::string& error) {
    ArchiveWriter writer(archive_write_new());
    struct archive* a = writer.get();
    if (archive_write_set_format_zip(a) != ARCHIVE_OK || archive_write_zip_set_compression_deflate(a) != ARCHIVE_OK) {
        error = archive_error_string(a);
        return false;
    }
    if (options.usePassword) {
        if (archive_write_set_options(a, "zip:encryption=zipcrypt") != ARCHIVE_OK ||
            archive_write_set_passphrase(a, password.c_str()) != ARCHIVE_OK) {
            error = std::string("cannot set up encryption: ") + archive_error_string(a);
            return false;
        }
    }
    std::fflush(out);
    if (archive_write_open_FILE(a, out) != ARCHIVE_OK) {
        error = archive_error_string(a);
        return false;
    }

    struct archive* disk = archive_read_disk_new();
    archive_read_disk_set_standard_lookup(disk);
    const fs::path root(options.folder);
    std::vector<char> buffer(1 << 16);
    bool ok = true;
    for (const fs::path& relative : ListTree(root)) {
        const fs::path full = root / relative;
        fs::file_status status = fs::symlink_status(full);
        bool isFolder = fs::is_directory(status);
        if (!isFolder && !fs::is_regular_file(status)) {
            error = "only files and folders can be packed, not: " + full.string();
            ok = false;
            break;
        }
        std::string name = relative.generic_string();
        if (isFolder) name += '/';
        archive_entry* entry = archive_entry_new();
        archive_entry_copy_sourcepath(entry, full.c_str());
        if (archive_read_disk_entry_from_file(disk, entry, -1, nullptr) != ARCHIVE_OK) {
            error = "cannot read " + full.string() + ": " + archive_error_string(disk);
            archive_entry_free(entry);
            ok = false;
            break;
        }
        archive_entry_set_pathname(entry, name.c_str());
        if (isFolder) archive_entry_set_size(entry, 0);
        int rc = archive_write_header(a, entry);
        archive_entry_free(entry);
        if (rc != ARCHIVE_OK) {
            error = std::string("cannot add ") + name + ": " + archive_error_string(a);
            ok = false;
            break;
        }
        if (!isFolder && !CopyData(a, full, buffer, name, error)) {
            ok = false;
            break;
        }
    }
    archive_read_free(disk);
    if (!ok) return false;
    if (archive_write_close(a) != ARCHIVE_OK) {
        error = archive_error_string(a);
        return false;
    }
    return true;
}

}  // namespace

std::string XmlEscape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            default: out += c; break;
        }
    }
    return out;
}

std::string BuildConfiguration(const PackOptions& options) {
    std::string xml = "<QX_ZCD>";
    xml += "<Run>" + XmlEscape(ToBackslashes(options.run)) + "</Run>";
    if (options.hasTitle) xml += "<Title>" + XmlEscape(options.title) + "</Title>";
    if (options.silent) xml += "<Prog>0</Prog>";
    if (options.usePassword) xml += "<UsePW>1</UsePW>";
    if (options.hasPid) xml += "<pid>" + XmlEscape(options.pid) + "</pid>";
    xml += "</QX_ZCD>";
    return xml;
}

bool PackLauncher(const PackOptions& options, std::string& error) {
    std::error_code ec;
    if (!fs::is_directory(options.folder, ec)) {
        error = "folder not found: " + options.folder;
        return false;
    }
    std::string runPath = options.run;
    std::replace(runPath.begin(), runPath.end(), '\\', '/');
    if (runPath.empty() || !fs::is_regular_file(fs::path(options.folder) / runPath, ec)) {
        error = "the program to run is not a file in " + options.folder + ": " + options.run;
        return false;
    }
    if (options.usePassword && !options.hasPid) {
        error = "--use-password needs --pid: the password derives from it";
        return false;
    }

    std::vector<unsigned char> stub;
    if (!ReadWholeFile(options.stub, stub)) {
        error = "cannot read the stub: " + options.stub;
        return false;
    }
    if (stub.size() > kLastMarkerOffset) {
        error = "the stub ends beyond the payload window (" + std::to_string(stub.size()) + " bytes; at most " +
                std::to_string(kLastMarkerOffset) + ")";
        return false;
    }
    if (ContainsMarker(stub)) {
        error = "the stub already holds a payload marker: " + options.stub;
        return false;
    }

    const std::string configuration = BuildConfiguration(options);
    if (configuration.size() > CSFEFileExtractor::kMaxConfigText) {
        error = "the configuration is " + std::to_string(configuration.size()) + " bytes; at most " +
                std::to_string(CSFEFileExtractor::kMaxConfigText) + " fit";
        return false;
    }
    // Read the configuration back the way the stub will, so that what it
    // decodes (and the password it derives) is what was asked for.
    LaunchConfig readBack;
    if (!ReadLaunchConfig(configuration, readBack) || readBack.run != ToBackslashes(options.run) ||
        readBack.title != options.title) {
        error = "the program name or title cannot be stored in the configuration as given";
        return false;
    }

    const std::string temporary = options.output + ".partial";
    std::FILE* out = std::fopen(temporary.c_str(), "wb");
    if (out == nullptr) {
        error = "cannot write " + temporary + ": " + std::strerror(errno);
        return false;
    }
    stub.resize(std::max<std::size_t>(stub.size(), CSFEFileExtractor::kScanStart), 0);
    unsigned char header[CSFEFileExtractor::kMarkerSize + 4];
    CSFEFileExtractor::MarkerBytes(header);
    std::uint32_t length = static_cast<std::uint32_t>(configuration.size());
    for (int i = 0; i < 4; ++i) header[CSFEFileExtractor::kMarkerSize + i] = static_cast<unsigned char>(length >> (8 * i));

    bool ok = std::fwrite(stub.data(), 1, stub.size(), out) == stub.size() &&
              std::fwrite(header, 1, sizeof header, out) == sizeof header &&
              std::fwrite(configuration.data(), 1, configuration.size(), out) == configuration.size();
    if (!ok) error = "cannot write " + temporary;
    ok = ok && WriteZip(options, readBack.password, out, error);
    if (std::fclose(out) != 0 && ok) {
        error = "cannot write " + temporary;
        ok = false;
    }
    if (ok) {
        fs::permissions(temporary, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                        fs::perm_options::add, ec);
        fs::rename(temporary, options.output, ec);
        if (ec) {
            error = "cannot write " + options.output + ": " + ec.message();
            ok = false;
        }
    }
    if (!ok) fs::remove(temporary, ec);
    return ok;
}
