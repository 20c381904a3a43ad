// A parent for end-to-end tests, as a script or a build tool starts a
// program: with an extra inheritable handle open, waiting for it, and
// reading its exit code.
//   parent [--inherit FILE] PROGRAM [ARG...]
// With --inherit, opens FILE (created) with an inheritable handle. Starts
// PROGRAM with the ARGs (in quotes where they hold a space), letting it
// inherit every inheritable handle, on this process's console and standard
// handles; waits for it; writes "exit=N" (its 32-bit exit code, unsigned)
// to standard output and ends with 0, or with 1 when it could not start it.
// Like a shell that waits for its job, it ignores Ctrl+C (SIGINT) itself.
#include <csignal>
#include <cstdio>
#include <string>

#include "platform/console.h"
#include "platform/file.h"
#include "platform/process.h"
#include "platform/strings.h"
#include "platform/system.h"

int main(int argc, char** argv) {
    std::signal(SIGINT, SIG_IGN);
    int first = 1;
    platform::File held;
    if (argc > 3 && std::string(argv[1]) == "--inherit") {
        held.Open(argv[2], platform::kModeCreate | platform::kModeWrite | platform::kShareDenyNone |
                               platform::kModeInheritable);
        first = 3;
    }
    if (argc <= first) return 2;
    std::string line;
    for (int i = first; i < argc; ++i) {
        const std::string arg = argv[i];
        line += (i > first ? " " : "") + (arg.find(' ') != std::string::npos ? "\"" + arg + "\"" : arg);
    }
    platform::Process child;
    std::uint32_t code = 0;
    if (!child.Create(line, "", platform::kShowNormal, platform::kProcessInheritAll) ||
        !child.WaitDispatchingMessages() || !child.GetExitCode(code)) {
        std::fprintf(stderr, "parent: %s: error %u\n", line.c_str(), platform::GetLastError());
        return 1;
    }
    platform::WriteStandardStream(platform::StandardStream::kOutput, platform::Format("exit=%u\n", code));
    return 0;
}
