#include "tools/sfxpack/inspect.h"

#include <cstdio>

int RunList(const std::vector<std::string>&) {
    std::fprintf(stderr, "sfxpack: list is not available in this build\n");
    return 2;
}

int RunExtract(const std::vector<std::string>&) {
    std::fprintf(stderr, "sfxpack: extract is not available in this build\n");
    return 2;
}
