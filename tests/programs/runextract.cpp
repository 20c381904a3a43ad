// runextract LAUNCHER FOLDER THREADS: extracts the archive of the launcher
// file LAUNCHER into FOLDER exactly as a run does (its configuration and
// password, the run's extraction with THREADS workers), and starts nothing.
// Prints "threads=N" (the workers that extracted; 1: one entry after
// another) and "program_failed=0|1". Exit code 100 when the archive cannot
// be opened.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "launcher/extraction.h"
#include "payload/config.h"
#include "payload/extractor.h"
#include "zip/archive.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: runextract LAUNCHER FOLDER THREADS\n");
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
    std::printf("threads=%u\nprogram_failed=%d\n", outcome.threads, outcome.programFailed ? 1 : 0);
    return 0;
}
