#include "tools/sfxpack/pack.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <system_error>
#include <vector>

#include "payload/config.h"
#include "payload/extractor.h"
#include "payload/runkind.h"
#include "tools/sfxpack/contents.h"
#include "tools/sfxpack/files.h"
#include "tools/sfxpack/stubs.h"
#include "tools/sfxpack/zipwriter.h"

namespace fs = std::filesystem;
using sfxpack::Bytes;
using sfxpack::PackError;

namespace {

constexpr std::uintmax_t kLastMarkerOffset =
    CSFEFileExtractor::kScanStart + CSFEFileExtractor::kScanSize - CSFEFileExtractor::kMarkerSize;

std::string ToBackslashes(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// SOURCE_DATE_EPOCH, the reproducible-builds convention: when set, no
// stored time is later than it. -1 when it is not set.
std::int64_t SourceDateEpoch() {
    const char* value = std::getenv("SOURCE_DATE_EPOCH");
    if (value == nullptr) return -1;
    const std::string text(value);
    if (text.empty() || text.size() > 18 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        throw PackError("SOURCE_DATE_EPOCH is not a count of seconds: " + text);
    return std::stoll(text);
}

// The copy of the stub the launcher starts with: resources changed as asked,
// and every condition the stub's locator relies on checked.
Bytes PrepareStub(const PackOptions& options) {
    Bytes stub = sfxpack::ReadWholeFile(options.stub, "the stub");
    sfxpack::CheckStub(stub, options.stub);
    if (FindMarker(stub.data(), stub.size()) >= 0)
        throw PackError("the stub already holds a payload marker: " + options.stub);
    if (options.resources.Any()) {
        const Bytes icon =
            options.resources.icon.empty() ? Bytes() : sfxpack::ReadWholeFile(options.resources.icon, "the icon");
        stub = sfxpack::ApplyResources(stub, options.resources, icon);
        if (FindMarker(stub.data(), stub.size()) >= 0)
            throw PackError("the icon or version text holds the payload marker bytes");
    }
    if (stub.size() > kLastMarkerOffset)
        throw PackError("the stub ends beyond the payload window (" + std::to_string(stub.size()) + " bytes; at most " +
                        std::to_string(kLastMarkerOffset) + ")");
    return stub;
}

void WriteLauncher(const PackOptions& options, const Bytes& stub, const std::string& configuration,
                   const std::string& password, const std::vector<sfxpack::ZipSource>& entries,
                   const std::string& path) {
    sfxpack::FileStream out(path, sfxpack::FileStream::kCreate);
    out.write(reinterpret_cast<const char*>(stub.data()), static_cast<std::streamsize>(stub.size()));
    if (stub.size() < CSFEFileExtractor::kScanStart)
        out.write(std::string(CSFEFileExtractor::kScanStart - stub.size(), '\0').data(),
                  static_cast<std::streamsize>(CSFEFileExtractor::kScanStart - stub.size()));
    unsigned char header[CSFEFileExtractor::kMarkerSize + 4];
    CSFEFileExtractor::MarkerBytes(header);
    const auto length = static_cast<std::uint32_t>(configuration.size());
    for (int i = 0; i < 4; ++i) header[CSFEFileExtractor::kMarkerSize + i] = static_cast<unsigned char>(length >> (8 * i));
    out.write(reinterpret_cast<const char*>(header), sizeof header);
    out << configuration;

    std::uint64_t files = 0, bytes = 0;
    for (const auto& entry : entries) {
        if (entry.file.empty()) continue;
        ++files;
        std::error_code ec;
        bytes += fs::file_size(entry.file, ec);
    }
    sfxpack::Progress progress(options.progress, files, bytes);
    sfxpack::ZipWriter writer(out, {options.level, options.usePassword ? password : std::string()}, progress);
    for (const auto& entry : entries) writer.Add(entry);
    const std::uint64_t end = writer.Finish();
    progress.Finish();
    out.SetLength(end);
    if (sfxpack::IsPeImage(stub)) sfxpack::UpdatePeChecksum(out);
    out.Close();
}

void Pack(const PackOptions& options) {
    std::error_code ec;
    const fs::file_status folder = fs::status(options.folder, ec);
    if (ec) throw PackError(sfxpack::FileProblem("cannot read the folder", options.folder, ec));
    if (!fs::is_directory(folder)) throw PackError("not a folder: " + options.folder);
    std::string runPath = options.run;
    std::replace(runPath.begin(), runPath.end(), '\\', '/');
    if (runPath.empty() || !fs::is_regular_file(fs::path(options.folder) / runPath, ec))
        throw PackError("the program to run is not a file in " + options.folder + ": " + options.run);
    if (options.usePassword && !options.hasPid) throw PackError("--use-password needs --pid: the password derives from it");
    if (options.level < 0 || options.level > 9) throw PackError("the level must be 0 to 9");

    const Bytes stub = PrepareStub(options);
    // A Windows stub only: the native launcher starts what the system execs.
    if (RunKindOf(options.run) == RunKind::kUnknown && sfxpack::IsPeImage(stub))
        std::fprintf(stderr,
                     "sfxpack: warning: no Windows launcher is known to start %s: it is neither a program (.exe, "
                     ".com), a script (.bat, .cmd), a package (.msi) nor a document Windows opens\n",
                     options.run.c_str());
    const std::string configuration = BuildConfiguration(options);
    if (configuration.size() > CSFEFileExtractor::kMaxConfigText)
        throw PackError("the configuration is " + std::to_string(configuration.size()) + " bytes; at most " +
                        std::to_string(CSFEFileExtractor::kMaxConfigText) + " fit");
    // Read the configuration back the way the stub will, so that what it
    // decodes (and the password it derives) is what was asked for.
    LaunchConfig readBack;
    if (!ReadLaunchConfig(configuration, readBack) || readBack.run != ToBackslashes(options.run) ||
        readBack.title != options.title || readBack.args != options.args)
        throw PackError("the program name, title or arguments cannot be stored in the configuration as given");

    const sfxpack::FolderEntries contents = sfxpack::CollectEntries(options.folder, options.links, SourceDateEpoch());
    for (const std::string& link : contents.skipped)
        std::fprintf(stderr, "sfxpack: left out the link %s\n", link.c_str());
    const auto& entries = contents.entries;
    const std::string runName = fs::path(runPath).lexically_normal().generic_string();
    if (std::none_of(entries.begin(), entries.end(), [&](const sfxpack::ZipSource& e) { return e.name == runName; }))
        throw PackError("the program to run is not among the files packed from " + options.folder + ": " + options.run +
                        (options.links == sfxpack::LinkPolicy::kSkip ? " (--skip-links leaves links out)" : ""));
    const std::string temporary = options.output + ".partial";
    try {
        WriteLauncher(options, stub, configuration, readBack.password, entries, temporary);
        // What the launcher will read, read by the launcher's own reader
        // before anyone can ship it.
        std::ostringstream report, faults;
        if (VerifyArchive(temporary, report, faults) != 0)
            throw PackError("the written launcher does not verify, so it was not kept:\n" + faults.str());
        fs::permissions(temporary, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                        fs::perm_options::add, ec);
        fs::rename(temporary, options.output, ec);
        if (ec) throw PackError(sfxpack::FileProblem("cannot rename " + temporary + " to", options.output, ec));
    } catch (...) {
        fs::remove(temporary, ec);
        throw;
    }
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
    if (!options.args.empty()) xml += "<Args>" + XmlEscape(options.args) + "</Args>";
    if (options.silent) xml += "<Prog>0</Prog>";
    if (options.usePassword) xml += "<UsePW>1</UsePW>";
    if (options.hasPid) xml += "<pid>" + XmlEscape(options.pid) + "</pid>";
    if (options.cache) xml += "<Cache>1</Cache>";
    xml += "</QX_ZCD>";
    return xml;
}

bool PackLauncher(const PackOptions& options, std::string& error) {
    try {
        Pack(options);
        return true;
    } catch (const PackError& e) {
        error = e.what();
    } catch (const std::exception& e) {
        error = std::string("cannot write ") + options.output + ": " + e.what();
    }
    return false;
}
