#include "platform/posix/cmdline.h"

#include <cstddef>

namespace platform::detail {

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& line) {
    std::vector<std::string> args;
    std::size_t i = 0;
    const std::size_t n = line.size();
    if (n == 0) return args;

    // The program token.
    std::string program;
    if (line[0] == '"') {
        std::size_t close = line.find('"', 1);
        program = line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
        i = close == std::string::npos ? n : close + 1;
    } else {
        while (i < n && !IsBlank(line[i])) program += line[i++];
    }
    args.push_back(program);

    for (;;) {
        while (i < n && IsBlank(line[i])) ++i;
        if (i >= n) break;
        std::string arg;
        bool quoted = false;
        while (i < n && (quoted || !IsBlank(line[i]))) {
            if (line[i] == '\\') {
                std::size_t slashes = 0;
                while (i < n && line[i] == '\\') {
                    ++slashes;
                    ++i;
                }
                if (i < n && line[i] == '"') {
                    arg.append(slashes / 2, '\\');
                    if (slashes % 2 == 1) {
                        arg += '"';
                        ++i;
                    }
                } else {
                    arg.append(slashes, '\\');
                }
            } else if (line[i] == '"') {
                if (quoted && i + 1 < n && line[i + 1] == '"') {
                    arg += '"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                arg += line[i++];
            }
        }
        args.push_back(arg);
    }
    return args;
}

}  // namespace platform::detail
