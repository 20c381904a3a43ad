// zipextract ARCHIVE FOLDER [PASSWORD]: extracts every entry of ARCHIVE under
// FOLDER with the zip module, the way the launcher does (the password, when
// given, is set before every entry). Prints one line per entry:
//   entry=<index> <outcome> <name>
// where outcome is "ok", "declined" or "error<code>" (a CZipException code;
// error-1 for a file error), then "attributes=<hex> <name>" for what the
// file system reports afterwards. Exit code: the number of failed entries,
// or 100 when the archive cannot be opened.
#include <cstdio>
#include <string>

#include "platform/file.h"
#include "platform/system.h"
#include "zip/archive.h"

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: zipextract ARCHIVE FOLDER [PASSWORD]\n");
        return 100;
    }
    const std::string folder = argv[2];
    CZipArchive archive;
    try {
        archive.Open(argv[1]);
    } catch (const CZipException& e) {
        std::printf("open=error%d %s\n", e.m_nCode, e.GetDescription().c_str());
        return 100;
    } catch (const platform::FileException& e) {
        std::printf("open=error-1 %s\n", e.GetErrorMessage().c_str());
        return 100;
    }
    int failed = 0;
    for (int i = 0; i < archive.GetEntryCount(); ++i) {
        const auto index = static_cast<std::uint32_t>(i);
        CZipFileHeader header;
        archive.GetEntryInfo(header, index);
        std::string outcome;
        try {
            if (argc == 4) archive.SetArchivePassword(argv[3]);
            outcome = archive.ExtractEntry(index, folder) ? "ok" : "declined";
        } catch (const CZipException& e) {
            outcome = "error" + std::to_string(e.m_nCode);
        } catch (const platform::FileException&) {
            outcome = "error-1";
        }
        if (outcome != "ok") ++failed;
        std::printf("entry=%d %s %s\n", i, outcome.c_str(), header.GetName().c_str());
        if (outcome == "ok") {
            const std::string target = archive.TargetPathForEntry(header.GetName(), folder, true, nullptr);
            std::printf("attributes=%08X %s\n", static_cast<unsigned>(platform::GetFileAttributes(target)),
                        header.GetName().c_str());
        }
    }
    try {
        archive.Close();
    } catch (const CZipException& e) {
        std::printf("close=error%d\n", e.m_nCode);
        archive.Close(CZipArchive::afterException);
    }
    return failed;
}
