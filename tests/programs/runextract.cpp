// runextract LAUNCHER FOLDER THREADS [REPORT]: extracts the archive of the
// launcher file LAUNCHER into FOLDER exactly as a run does (its
// configuration and password, the run's extraction with THREADS workers),
// and starts nothing. Prints (to the file REPORT when given) "threads=N" (the workers whose extraction stands; 1: one entry
// after another), "stepped_back=0|1" (workers started, but the archive came
// out one entry after another), "not_emptied=0|1" and "program_failed=0|1".
// Exit code 100 when the archive cannot be opened.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "launcher/extraction.h"
#include "payload/config.h"
#include "payload/extractor.h"
#include "platform/file.h"
#include "platform/strings.h"
#include "zip/archive.h"

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: runextract LAUNCHER FOLDER THREADS [REPORT]\n");
        return 100;
    }
    CSFEFileExtractor payload;
    payload.m_strModulePath = argv[1];
    LaunchConfig config;
    ReadLaunchConfig(payload.GetDataSegment(), config);
    CZipArchive archive;
    try {
        archive.Open(payload.m_strModulePath, CZipArchive::zipOpenReadOnly, 0);
    } catch (...) {
        std::printf("open=failed\n");
        return 100;
    }
    const ExtractionOutcome outcome = ExtractArchive(archive, payload.m_strModulePath, config, argv[2], RunWindows(),
                                                     static_cast<unsigned>(std::atoi(argv[3])));
    const std::string report = platform::Format("threads=%u\nstepped_back=%d\nnot_emptied=%d\nprogram_failed=%d\n",
                                                outcome.threads, outcome.steppedBack ? 1 : 0,
                                                outcome.notEmptied ? 1 : 0, outcome.programFailed ? 1 : 0);
    if (argc == 5) {
        platform::File out(argv[4], platform::kModeCreate | platform::kModeWrite);
        out.Write(report.data(), static_cast<std::uint32_t>(report.size()));
    } else {
        std::fputs(report.c_str(), stdout);
    }
    return 0;
}
