// A program for end-to-end tests: writes what it sees to the file named by
// SFX_REPORT, or to a file named after its own folder inside SFX_REPORT_DIR
// (so that launchers running at once never share a report), or to standard
// output; then ends with the code in SFX_EXIT_CODE.
//   SFX_SLEEP_MS=n   wait n milliseconds before reporting
//   SFX_QUIET=1      report nothing, just end (for timing runs)
//   SFX_CRASH=1      crash instead of ending normally
//   SFX_WAIT_FOR=F   after reporting, wait until the file F (a Windows path)
//                    exists, so that a test decides when the program ends
//   SFX_BEAT=F       while waiting at the gate, rewrite the file F with a
//                    growing count every 50 ms: a test sees when it stops
//   SFX_SIGNALS=1    count the signals SIGINT, SIGTERM, SIGHUP and SIGQUIT
//                    while waiting at the gate; after the first, wait a
//                    little longer for more, report "signals=N" and end
//   SFX_READ_LINE=1  read one line from standard input and report it as
//                    "stdin=" (a program that reads its terminal)
//   SFX_ECHO=1       after reporting, copy standard input to its end to
//                    standard output as it is, and to standard error
//                    backwards, byte for byte (a filter, on either stream)
//   SFX_HANDLES=1    report every file, folder, pipe and console the
//                    program holds open ("handle=" lines): what it inherited
//   SFX_HOLD=REL:MS  before ending, start a copy of this program that keeps
//                    the file REL (beside it) open, unshared, and itself
//                    running in this folder, for MS milliseconds after this
//                    one has ended, outside the launcher's process tree (a
//                    breakaway on Windows): a file still busy at cleanup
//                    time, as a virus scanner keeps it
//   SFX_GRANDCHILD=MS  after reporting, start a copy of this program and end
//                    without waiting for it; the copy waits MS milliseconds,
//                    then reports what it sees then (its own block, its
//                    "argv=" lines say --late) and ends
// Report lines: "cmdline=", "argv=" (one per argument), "cwd=", "exe=",
// "access=" (who may open the working folder), "handle=", "dir=REL" and
// "file=REL|SIZE|CRC32" for everything beside the program. The files are
// listed and read through the platform layer, as the launcher writes them:
// paths of any length, and names such as "con" as the files they are.
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/console.h"
#include "platform/dirsearch.h"
#include "platform/file.h"
#include "platform/process.h"
#include "platform/strings.h"
#include "platform/system.h"

namespace fs = std::filesystem;

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

unsigned long FileCrc(const std::string& path, std::uint64_t& size) {
    unsigned long crc = crc32(0L, Z_NULL, 0);
    size = 0;
    platform::File file;
    if (!file.TryOpen(path, platform::kModeRead | platform::kShareDenyNone)) return crc;
    std::vector<unsigned char> buffer(65536);
    std::uint32_t got;
    while ((got = file.Read(buffer.data(), static_cast<std::uint32_t>(buffer.size()))) > 0) {
        crc = crc32(crc, buffer.data(), static_cast<uInt>(got));
        size += got;
    }
    return crc;
}

// Adds a line for everything inside `folder`, named relative to the walk's start.
void ListTree(const std::string& folder, const std::string& relative, std::vector<std::string>& lines) {
    platform::DirSearch search;
    platform::FindData entry;
    for (bool found = search.First(folder + "\\*", entry); found; found = search.Next(entry)) {
        if (entry.cFileName == "." || entry.cFileName == "..") continue;
        const std::string name = relative.empty() ? entry.cFileName : relative + "\\" + entry.cFileName;
        const std::string path = folder + "\\" + entry.cFileName;
        if (entry.dwFileAttributes & platform::kAttrDirectory) {
            lines.push_back("dir=" + name);
            // Links are listed, not followed.
            if (!(entry.dwFileAttributes & platform::kAttrReparsePoint)) ListTree(path, name, lines);
        } else {
            std::uint64_t size = 0;
            const unsigned long crc = FileCrc(path, size);
            lines.push_back(
                platform::Format("file=%s|%llu|%08lx", name.c_str(), static_cast<unsigned long long>(size), crc));
        }
    }
}

// The holder that SFX_HOLD starts: report --hold FILE MS READY.
int Hold(const std::string& path, int milliseconds, const std::string& ready) {
    platform::File held(path, platform::kModeRead | platform::kShareDenyWrite);
    platform::File(ready, platform::kModeCreate | platform::kModeWrite);
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    return 0;
}

// Starts the holder for `hold` (SFX_HOLD's REL:MS) and returns once it holds the file.
void StartHolder(const std::string& exe, const std::string& folder, const std::string& hold) {
    const std::size_t colon = hold.rfind(':');
    const std::string file = folder + "\\" + hold.substr(0, colon);
    const std::string ready = folder + "\\hold.ready";
    platform::Process holder;
    const std::string line = "\"" + exe + "\" --hold \"" + file + "\" " + hold.substr(colon + 1) + " \"" + ready + "\"";
    if (!holder.Create(line, folder, platform::kShowNormal, platform::kProcessLeaveTree)) return;
    const fs::path native = fs::u8path(platform::ToNativePath(ready));
    std::error_code ignored;
    for (int i = 0; i < 1000 && !fs::exists(native, ignored); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

// Everything the report says about this run of the program.
std::string Describe(int argc, char** argv, const std::string& exe) {
    std::string out = "begin\n";
    out += "cmdline=" + platform::RawCommandLine() + "\n";
    for (int i = 0; i < argc; ++i) out += std::string("argv=") + argv[i] + "\n";
    out += "cwd=" + platform::GetCurrentDirectory() + "\n";
    out += "exe=" + exe + "\n";
    out += "access=" + platform::DescribeAccess(platform::GetCurrentDirectory()) + "\n";
    if (Env("SFX_READ_LINE") == "1") {
        char line[256] = {};
        if (std::fgets(line, sizeof line, stdin) != nullptr) line[std::strcspn(line, "\r\n")] = '\0';
        out += std::string("stdin=") + line + "\n";
    }
    if (Env("SFX_HANDLES") == "1")
        for (const std::string& name : platform::OpenFileNames()) out += "handle=" + name + "\n";

    std::string folder = exe.substr(0, platform::FindLastBackslash(exe));
    std::vector<std::string> lines;
    ListTree(folder, "", lines);
    std::sort(lines.begin(), lines.end());
    for (const std::string& line : lines) out += line + "\n";
    return out;
}

// Appends `text` to the report file (SFX_REPORT, or SFX_REPORT_DIR's file
// for this folder), or writes it to standard output.
void Append(const std::string& text, const std::string& folder) {
    std::string report = Env("SFX_REPORT");
    if (report.empty() && !Env("SFX_REPORT_DIR").empty())
        report = Env("SFX_REPORT_DIR") + "\\" + platform::FileNameOf(folder) + ".txt";
    if (!report.empty()) {
        platform::File file(report, platform::kModeCreate | platform::kModeNoTruncate | platform::kModeWrite |
                                        platform::kShareDenyNone);
        file.Seek(0, platform::File::kEnd);
        file.Write(text.data(), static_cast<std::uint32_t>(text.size()));
    } else {
        std::fputs(text.c_str(), stdout);
        std::fflush(stdout);
    }
}

std::atomic<int> g_signals{0};
extern "C" void CountSignal(int signal) {
    std::signal(signal, CountSignal);  // some runtimes reset the handler to the default
    ++g_signals;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "--hold") return Hold(argv[2], std::atoi(argv[3]), argv[4]);
    if (Env("SFX_QUIET") == "1") return std::atoi(Env("SFX_EXIT_CODE").c_str());
    const bool late = argc == 3 && std::string(argv[1]) == "--late";
    int sleepMs = late ? std::atoi(argv[2]) : std::atoi(Env("SFX_SLEEP_MS").c_str());
    if (sleepMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs));

    // A program with its own main() hands its arguments to the platform itself.
    if (platform::CommandLineArgs().empty()) platform::SetCommandLineArgs(std::vector<std::string>(argv, argv + argc));
    std::string exe;
    platform::GetModuleFileName(exe);
    const std::string folder = exe.substr(0, platform::FindLastBackslash(exe));
    Append(Describe(argc, argv, exe) + "end\n", folder);
    if (late) return 0;

    if (Env("SFX_ECHO") == "1") {
        std::string input = platform::ReadStandardInput();
        platform::WriteStandardStream(platform::StandardStream::kOutput, input);
        std::reverse(input.begin(), input.end());
        platform::WriteStandardStream(platform::StandardStream::kError, input);
    }

    if (!Env("SFX_GRANDCHILD").empty()) {
        platform::Process grandchild;
        grandchild.Create("\"" + exe + "\" --late " + Env("SFX_GRANDCHILD"), folder, platform::kShowNormal);
    }

    const bool countSignals = Env("SFX_SIGNALS") == "1";
    if (countSignals) {
        const int counted[] = {SIGINT, SIGTERM,
#ifdef SIGHUP  // posix only
                               SIGHUP, SIGQUIT
#endif
        };
        for (int signal : counted) std::signal(signal, CountSignal);
    }
    std::string gate = Env("SFX_WAIT_FOR");
    if (!gate.empty()) {
        // Bounded, so that a test that never opens the gate cannot leave this running.
        const fs::path native = fs::u8path(platform::ToNativePath(gate));
        const std::string beat = Env("SFX_BEAT");
        std::error_code ignored;
        for (int i = 0; i < 12000 && !fs::exists(native, ignored) && g_signals == 0; ++i) {
            if (!beat.empty() && i % 5 == 0) {
                platform::File file(beat, platform::kModeCreate | platform::kModeWrite | platform::kShareDenyNone);
                const std::string count = std::to_string(i);
                file.Write(count.data(), static_cast<std::uint32_t>(count.size()));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    if (countSignals && g_signals > 0) {
        // A signal passed on twice would arrive within this.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        Append("begin\nsignals=" + std::to_string(g_signals.load()) + "\nend\n", folder);
    }

    if (!Env("SFX_HOLD").empty()) StartHolder(exe, folder, Env("SFX_HOLD"));

    if (Env("SFX_CRASH") == "1") {
        volatile int* nowhere = nullptr;
        *nowhere = 1;
    }
    return std::atoi(Env("SFX_EXIT_CODE").c_str());
}
