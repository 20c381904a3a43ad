// Deletes generated trees of nested folders with CQXDeleteFiles and with
// `rm -rf`, in the same run on the same disk, and prints the ratio. Two tree
// sizes show whether the deleter's time grows linearly with the file count.
//   bench_cleanup [FILES] (default 20000)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "cleanup/deletefiles.h"
#include "platform/system.h"

namespace fs = std::filesystem;

namespace {

// FILES files, 100 per folder, folders two levels deep (10 sub-folders each).
void MakeTree(const fs::path& root, int files) {
    int made = 0;
    for (int a = 0; made < files; ++a) {
        for (int b = 0; b < 10 && made < files; ++b) {
            fs::path folder = root / ("dir" + std::to_string(a)) / ("sub" + std::to_string(b));
            fs::create_directories(folder);
            for (int f = 0; f < 100 && made < files; ++f, ++made)
                std::ofstream(folder / ("file" + std::to_string(f) + ".dat")) << "x";
        }
    }
}

double Seconds(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

double DeleteWithDeleter(const fs::path& root) {
    const auto start = std::chrono::steady_clock::now();
    CQXDeleteFiles deleter;
    deleter.m_strSource = platform::FromNativePath(root.string()) + "\\*.*";
    deleter.m_bRecurse = true;
    deleter.m_bContinueOnError = true;
    deleter.m_bIncludeHiddenSystem = true;
    const int result = deleter.DeleteSource(true);
    platform::RemoveDirectory(platform::FromNativePath(root.string()));
    const double took = Seconds(start);
    if (result != 0 || fs::exists(root)) {
        std::fprintf(stderr, "the deleter left files behind (result %d)\n", result);
        std::exit(1);
    }
    return took;
}

double DeleteWithRm(const fs::path& root) {
    const auto start = std::chrono::steady_clock::now();
    const std::string command = "rm -rf '" + root.string() + "'";
    if (std::system(command.c_str()) != 0 || fs::exists(root)) {
        std::fprintf(stderr, "rm -rf failed\n");
        std::exit(1);
    }
    return Seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
    const int files = argc > 1 ? std::atoi(argv[1]) : 20000;
    const fs::path base = fs::temp_directory_path() / ("bench-cleanup-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(base);

    double deleter[2], rm[2];
    const int sizes[2] = {files / 4, files};
    for (int i = 0; i < 2; ++i) {
        // Alternate the order so that neither side always meets a warmer cache.
        MakeTree(base / "a", sizes[i]);
        MakeTree(base / "b", sizes[i]);
        if (i == 0) {
            deleter[i] = DeleteWithDeleter(base / "a");
            rm[i] = DeleteWithRm(base / "b");
        } else {
            rm[i] = DeleteWithRm(base / "b");
            deleter[i] = DeleteWithDeleter(base / "a");
        }
        std::printf("%6d files: CQXDeleteFiles %.3f s, rm -rf %.3f s, ratio %.2f\n", sizes[i], deleter[i], rm[i],
                    deleter[i] / rm[i]);
    }
    fs::remove_all(base);
    std::printf("ratio CQXDeleteFiles / rm -rf at %d files: %.2f\n", files, deleter[1] / rm[1]);
    std::printf("growth from %d to %d files: CQXDeleteFiles x%.2f, rm -rf x%.2f (x4 is linear)\n", sizes[0], sizes[1],
                deleter[1] / deleter[0], rm[1] / rm[0]);
    return 0;
}
