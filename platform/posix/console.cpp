// The console on posix: every program is a console program, its terminal
// its console.
#include <unistd.h>

#include <cerrno>

#include "platform/console.h"

namespace platform {

bool IsConsoleProgram() { return true; }

bool StandardErrorIsConsole() { return ::isatty(STDERR_FILENO) == 1; }

void WriteStandardStream(StandardStream stream, const std::string& text) {
    const int fd = stream == StandardStream::kOutput ? STDOUT_FILENO : STDERR_FILENO;
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        done += static_cast<std::size_t>(written);
    }
}

std::string ReadStandardInput() {
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return text;
        text.append(buffer, static_cast<std::size_t>(got));
    }
}

bool ConsoleInterrupted() { return false; }

}  // namespace platform
