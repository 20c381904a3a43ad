// Drives the deleter, the directory search and LaunchProgram from the
// command line, for the end-to-end tests that run the Windows build under
// Wine. One command per run; results go to standard output as lines.
//   cleanup_driver list PATTERN
//       "entry=NAME|ATTRIBUTES(hex)|SIZE" per entry
//   cleanup_driver delete SOURCE RECURSE CONTINUE HIDDEN [LOCKED...]
//       holds each LOCKED file open without sharing, runs the deleter (on
//       SFX_DELETE_THREADS threads when that is set); "result=N",
//       "failed=PATHS", "text=TEXT" per status text
//   cleanup_driver delete-timed FOLDER THREADS
//       the launcher's cleanup of what FOLDER holds on THREADS threads, no
//       status texts; "result=N", "seconds=S" (the deleter's own time,
//       without Wine's start)
//   cleanup_driver launch WAIT FOLDER PROGRAM [ARG...]
//       each ARG quoted as the launcher quotes its own; "result=N". WAIT is
//       1, or 0 or 0:GATE (GATE: a file created after the call returned)
//   cleanup_driver launch-padded FOLDER PROGRAM REPORT LENGTH
//       arguments REPORT, 0 and a run of x making the command line LENGTH
//       characters long (longer than a console command line may be)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "cleanup/deletefiles.h"
#include "launcher/launch.h"
#include "platform/deleteblock.h"
#include "platform/dirsearch.h"
#include "platform/system.h"

namespace {

class Recorder : public CQXDeleteFiles {
public:
    std::vector<std::string> texts;
    void OnStatusMessage(std::string text) override { texts.push_back(std::move(text)); }
};

int List(const std::string& pattern) {
    platform::DirSearch search;
    platform::FindData entry;
    for (bool found = search.First(pattern, entry); found; found = search.Next(entry)) {
        const unsigned long long size = (static_cast<unsigned long long>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
        std::printf("entry=%s|%x|%llu\n", entry.cFileName.c_str(), entry.dwFileAttributes, size);
    }
    std::printf("error=%u\n", platform::GetLastError());
    return 0;
}

int Delete(char** argv, int argc) {
    std::vector<std::unique_ptr<platform::DeleteBlock>> blocks;
    for (int i = 6; i < argc; ++i) {
        blocks.push_back(std::make_unique<platform::DeleteBlock>(argv[i]));
        if (!blocks.back()->active()) {
            std::printf("cannot hold %s\n", argv[i]);
            return 2;
        }
    }
    Recorder deleter;
    deleter.m_strSource = argv[2];
    deleter.m_bRecurse = std::atoi(argv[3]) != 0;
    deleter.m_bContinueOnError = std::atoi(argv[4]) != 0;
    deleter.m_bIncludeHiddenSystem = std::atoi(argv[5]) != 0;
    if (const char* threads = std::getenv("SFX_DELETE_THREADS")) deleter.m_nThreads = static_cast<unsigned>(std::atoi(threads));
    const int result = deleter.DeleteSource(true);
    std::printf("result=%d\n", result);
    std::printf("failed=%s\n", deleter.m_strFailedFiles.c_str());
    for (const std::string& text : deleter.texts) std::printf("text=%s\n", text.c_str());
    return 0;
}

int DeleteTimed(char** argv) {
    CQXDeleteFiles deleter;
    deleter.TargetFolderContents(argv[2]);
    deleter.m_nThreads = static_cast<unsigned>(std::atoi(argv[3]));
    const auto start = std::chrono::steady_clock::now();
    const int result = deleter.DeleteSource(true);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("result=%d\nseconds=%.3f\n", result, seconds);
    return 0;
}

int Launch(char** argv, int argc) {
    const std::string wait = argv[2];
    std::string arguments;
    for (int i = 5; i < argc; ++i) arguments += std::string("\"") + argv[i] + "\" ";
    while (!arguments.empty() && arguments.back() == ' ') arguments.pop_back();
    const std::uint32_t result = LaunchProgram(argv[4], arguments, argv[3], wait == "1", 0);
    std::printf("result=%u\n", result);
    std::fflush(stdout);
    if (wait.compare(0, 2, "0:") == 0) std::ofstream(wait.substr(2)) << "open";
    return 0;
}

int LaunchPadded(char** argv) {
    const std::string program = argv[3];
    std::string arguments = std::string("\"") + argv[4] + "\" \"0\" \"\"";
    const std::size_t length = static_cast<std::size_t>(std::atol(argv[5]));
    const std::size_t base = LaunchCommandLine(program, arguments).size();
    if (length < base) return 2;
    arguments.insert(arguments.size() - 1, std::string(length - base, 'x'));
    std::printf("length=%zu\n", LaunchCommandLine(program, arguments).size());
    std::printf("result=%u\n", LaunchProgram(program, arguments, argv[2], true, 0));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "list" && argc == 3) return List(argv[2]);
    if (command == "delete" && argc >= 6) return Delete(argv, argc);
    if (command == "delete-timed" && argc == 4) return DeleteTimed(argv);
    if (command == "launch" && argc >= 5) return Launch(argv, argc);
    if (command == "launch-padded" && argc == 6) return LaunchPadded(argv);
    std::fprintf(stderr, "usage: see the top of cleanup_driver.cpp\n");
    return 2;
}
