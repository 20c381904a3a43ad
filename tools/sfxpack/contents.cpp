#include "tools/sfxpack/contents.h"

#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>
#include <vector>

#include "payload/config.h"
#include "payload/extractor.h"
#include "platform/file.h"
#include "platform/strings.h"
#include "platform/system.h"
#include "tools/sfxpack/files.h"
#include "zip/archive.h"
#include "zip/entrypath.h"

namespace {

// The configuration text of a launcher's payload, found the way the stub
// finds it: the first marker in the scan window, a length, the text (cut at
// its first NUL and at the stub's limit). False when there is no marker.
bool ReadPayloadText(const std::string& nativePath, std::string& text) {
    std::ifstream in(nativePath, std::ios::binary);
    if (!in) return false;
    std::vector<unsigned char> window(CSFEFileExtractor::kScanSize, 0);
    in.seekg(CSFEFileExtractor::kScanStart);
    in.read(reinterpret_cast<char*>(window.data()), static_cast<std::streamsize>(window.size()));
    const long at = FindMarker(window.data(), static_cast<std::size_t>(in.gcount()));
    if (at < 0) return false;
    in.clear();
    in.seekg(static_cast<std::streamoff>(CSFEFileExtractor::kScanStart) + at + CSFEFileExtractor::kMarkerSize);
    unsigned char field[4] = {};
    in.read(reinterpret_cast<char*>(field), 4);
    text.clear();
    if (in.gcount() != 4) return true;  // no length: no text
    std::uint32_t length = static_cast<std::uint32_t>(field[0]) | (static_cast<std::uint32_t>(field[1]) << 8) |
                           (static_cast<std::uint32_t>(field[2]) << 16) | (static_cast<std::uint32_t>(field[3]) << 24);
    if (length > CSFEFileExtractor::kMaxConfigText) length = CSFEFileExtractor::kMaxConfigText;
    std::string bytes(length, '\0');
    in.read(&bytes[0], length);
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    text = bytes.substr(0, bytes.find('\0'));
    return true;
}

struct Launcher {
    bool hasPayload = false;
    bool configured = false;
    LaunchConfig config;
};

Launcher ReadLauncher(const std::string& nativePath) {
    Launcher launcher;
    std::string text;
    launcher.hasPayload = ReadPayloadText(nativePath, text);
    if (launcher.hasPayload) launcher.configured = ReadLaunchConfig(text, launcher.config);
    return launcher;
}

// What went wrong in an archive step, as a user reads it: a file error names
// the file and the system's reason.
std::string ProblemText(const CZipCaughtError& error) {
    return error.m_nCode == CZipCaughtError::kFileError ? sfxpack::FileProblem(error.m_file) : error.Describe();
}

// Opens the archive; on failure prints why and returns false.
bool OpenArchive(CZipArchive& archive, const std::string& file, std::ostream& err) {
    CZipCaughtError error;
    if (archive.TryOpen(platform::FromNativePath(file), &error)) return true;
    if (error.m_nCode == CZipCaughtError::kFileError)
        err << "sfxpack: cannot read " << ProblemText(error) << "\n";
    else
        err << "sfxpack: " << file << ": " << ProblemText(error) << "\n";
    return false;
}

std::string TimeText(std::int64_t time) {
    const std::time_t t = static_cast<std::time_t>(time);
    const std::tm* local = time == -1 ? nullptr : std::localtime(&t);
    if (local == nullptr) return "(no valid date) ";
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", local);
    return text;
}

const char* MethodName(int method) {
    switch (method) {
        case 0: return "Stored";
        case 8: return "Deflated";
        default: return "Other";
    }
}

}  // namespace

int ListArchive(const std::string& file, std::ostream& out, std::ostream& err) {
    const Launcher launcher = ReadLauncher(file);
    CZipArchive archive;
    if (!OpenArchive(archive, file, err)) return 1;
    if (launcher.hasPayload) {
        out << "Launcher configuration" << (launcher.configured ? "" : " (unreadable)") << ":\n";
        out << "  Run:    " << launcher.config.run << "\n";
        out << "  Title:  " << launcher.config.title << "\n";
        if (!launcher.config.args.empty()) out << "  Args:   " << launcher.config.args << "\n";
        out << "  UsePW:  " << launcher.config.usePassword
            << (launcher.config.usePassword != 0 ? " (entries are decrypted with the password derived from pid)" : "")
            << "\n";
        out << "  pid:    " << (launcher.config.hasPid ? "present" : "absent") << "\n";
        out << "  Cache:  " << (launcher.config.cache ? "1 (started from the user's cache once extracted)" : "0")
            << "\n";
    }
    out << "Bytes before the archive: " << archive.GetCentralDir().m_nBytesBeforeArchive << "\n";
    out << "      Size     Packed Method   Modified         E Name\n";
    std::uint64_t size = 0, packed = 0;
    const int count = archive.GetEntryCount();
    for (int i = 0; i < count; ++i) {
        CZipFileHeader header;
        if (!archive.GetEntryInfo(header, static_cast<std::uint32_t>(i))) continue;
        char line[96];
        std::snprintf(line, sizeof line, "%10llu %10llu %-8s %s %c ",
                      static_cast<unsigned long long>(header.m_uUncomprSize),
                      static_cast<unsigned long long>(header.m_uComprSize), MethodName(header.m_uMethod),
                      TimeText(header.GetModTime()).c_str(), header.IsEncrypted() ? '*' : ' ');
        out << line << header.GetName() << "\n";
        size += header.m_uUncomprSize;
        packed += header.m_uComprSize;
    }
    out << platform::Format("%10llu %10llu          %d entr%s\n", static_cast<unsigned long long>(size),
                            static_cast<unsigned long long>(packed), count, count == 1 ? "y" : "ies");
    archive.Close();
    return 0;
}

int ExtractArchive(const std::string& file, const std::string& folder, std::ostream& out, std::ostream& err) {
    const Launcher launcher = ReadLauncher(file);
    const bool usePassword = launcher.config.usePassword != 0;
    const std::string target = platform::FromNativePath(folder);
    CZipArchive archive;
    if (!OpenArchive(archive, file, err)) return 1;
    int failed = 0;
    const int count = archive.GetEntryCount();
    for (int i = 0; i < count; ++i) {
        const auto index = static_cast<std::uint32_t>(i);
        CZipFileHeader header;
        archive.GetEntryInfo(header, index);
        const std::string refusal = zip::EntryNameProblem(header.GetName());
        CZipCaughtError error;
        ZipEntryOutcome outcome = ZipEntryOutcome::kFailed;
        if (refusal.empty()) {
            if (usePassword) archive.SetArchivePassword(launcher.config.password.c_str());
            outcome = archive.ExtractEntryOutcome(index, target, &error);
        }
        if (outcome == ZipEntryOutcome::kExtracted) {
            out << "  " << header.GetName() << "\n";
            continue;
        }
        ++failed;
        const std::string problem =
            !refusal.empty() ? "refused, for " + refusal : error.IsSet() ? ProblemText(error) : "not extracted";
        err << "sfxpack: " << header.GetName() << ": " << problem << "\n";
        if (outcome == ZipEntryOutcome::kBlocksLater) {
            // The entry stays open in the archive and would keep the later
            // ones from coming out: start afresh.
            archive.Close(CZipArchive::afterException);
            if (!OpenArchive(archive, file, err)) return 1;
        }
    }
    archive.Close();
    if (failed != 0) {
        err << "sfxpack: " << failed << " of " << count << " entries not extracted\n";
        return 1;
    }
    return 0;
}

int VerifyArchive(const std::string& file, std::ostream& out, std::ostream& err) {
    const Launcher launcher = ReadLauncher(file);
    int faults = 0;
    auto fault = [&](const std::string& what, const std::string& problem) {
        ++faults;
        err << "sfxpack: " << file << ": " << what << ": " << problem << "\n";
    };
    if (launcher.hasPayload && !launcher.configured) fault("configuration", "cannot be read");
    CZipArchive archive;
    if (!OpenArchive(archive, file, err)) return 1;
    const bool usePassword = launcher.config.usePassword != 0;
    bool runFound = false;
    std::uint64_t bytes = 0;
    std::vector<unsigned char> buffer(CZipArchive::kBufferSize);
    const int count = archive.GetEntryCount();
    for (int i = 0; i < count; ++i) {
        const auto index = static_cast<std::uint32_t>(i);
        CZipFileHeader header;
        archive.GetEntryInfo(header, index);
        const std::string name = header.GetName();
        if (IsRunProgram(name, launcher.config.run)) runFound = true;
        const std::string refusal = zip::EntryNameProblem(name);
        if (!refusal.empty()) {
            fault(name, "the launcher refuses this name, for " + refusal);
            continue;
        }
        if (header.IsFolder()) continue;
        bool complete = true;
        CZipCaughtError error;
        zip::PassOverErrors([&] {
            if (usePassword) archive.SetArchivePassword(launcher.config.password.c_str());
            complete = archive.OpenEntry(index);
            while (complete && archive.ReadEntry(buffer.data(), static_cast<std::uint32_t>(buffer.size())) != 0) {
            }
            complete = complete && archive.CloseEntry() == 1;
        }, &error);
        if (!error.IsSet() && complete) {
            bytes += header.m_uUncomprSize;
            continue;
        }
        fault(name, error.IsSet() ? ProblemText(error) : "the data ends early");
        // Start afresh after a fault inside an entry, as extract does.
        archive.Close(CZipArchive::afterException);
        if (!OpenArchive(archive, file, err)) return 1;
    }
    archive.Close(CZipArchive::afterException);
    if (launcher.hasPayload && !launcher.config.run.empty() && !runFound)
        fault(launcher.config.run, "the program to run is not in the archive");
    out << count << " entr" << (count == 1 ? "y" : "ies") << ", " << bytes << " bytes checked"
        << (usePassword ? " with the password derived from pid" : "") << ": "
        << (faults == 0 ? "OK" : std::to_string(faults) + " fault" + (faults == 1 ? "" : "s")) << "\n";
    return faults == 0 ? 0 : 1;
}

int RunList(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        std::cerr << "usage: sfxpack list FILE\n";
        return 2;
    }
    return ListArchive(args[0], std::cout, std::cerr);
}

int RunVerify(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        std::cerr << "usage: sfxpack verify FILE\n";
        return 2;
    }
    return VerifyArchive(args[0], std::cout, std::cerr);
}

int RunExtract(const std::vector<std::string>& args) {
    if (args.size() != 2) {
        std::cerr << "usage: sfxpack extract FILE FOLDER\n";
        return 2;
    }
    return ExtractArchive(args[0], args[1], std::cout, std::cerr);
}
