// Deletes generated trees of nested folders with CQXDeleteFiles on one and
// on two threads and with `rm -rf`, in the same run on the same disk, and
// prints the ratios. Two tree sizes show whether the deleter's time grows
// linearly with the file count.
//   bench_cleanup [FILES] [ROUNDS] (defaults 20000 and 3; each round makes
//   fresh trees, and the best round of each side counts)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "cleanup/deletefiles.h"
#include "platform/system.h"
#include "platform/thread.h"

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

double DeleteWithDeleter(const fs::path& root, unsigned threads) {
    const auto start = std::chrono::steady_clock::now();
    CQXDeleteFiles deleter;
    deleter.m_nThreads = threads;
    deleter.TargetFolderContents(platform::FromNativePath(root.string()));
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
    const int rounds = argc > 2 && std::atoi(argv[2]) > 0 ? std::atoi(argv[2]) : 3;
    const fs::path base = fs::temp_directory_path() / ("bench-cleanup-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(base);
    std::printf("processors: %u\n", platform::ProcessorCount());

    // Sides: the deleter on 1 thread, on 2 threads, and rm -rf.
    const char* names[3] = {"1 thread", "2 threads", "rm -rf"};
    double best[2][3];
    const int sizes[2] = {files / 4, files};
    for (int i = 0; i < 2; ++i) {
        for (double& b : best[i]) b = 1e300;
        for (int round = 0; round < rounds; ++round) {
            for (int side = 0; side < 3; ++side) MakeTree(base / std::to_string(side), sizes[i]);
            // Rotate the order so that no side always meets a warmer cache.
            for (int k = 0; k < 3; ++k) {
                const int side = (k + round + i) % 3;
                const fs::path root = base / std::to_string(side);
                const double took = side == 2 ? DeleteWithRm(root) : DeleteWithDeleter(root, side + 1u);
                if (took < best[i][side]) best[i][side] = took;
            }
        }
        std::printf("%6d files:", sizes[i]);
        for (int side = 0; side < 3; ++side) std::printf(" %s %.3f s%s", names[side], best[i][side], side < 2 ? "," : "\n");
        std::printf("        ratio to rm -rf: 1 thread %.2f, 2 threads %.2f; 2 threads / 1 thread %.2f\n",
                    best[i][0] / best[i][2], best[i][1] / best[i][2], best[i][1] / best[i][0]);
    }
    fs::remove_all(base);
    std::printf("ratio CQXDeleteFiles / rm -rf at %d files: 1 thread %.2f, 2 threads %.2f\n", files,
                best[1][0] / best[1][2], best[1][1] / best[1][2]);
    std::printf("ratio 2 threads / 1 thread at %d files: %.2f (below 1: faster on 2)\n", files, best[1][1] / best[1][0]);
    std::printf("growth from %d to %d files: 1 thread x%.2f, 2 threads x%.2f, rm -rf x%.2f (x4 is linear)\n", sizes[0],
                sizes[1], best[1][0] / best[0][0], best[1][1] / best[0][1], best[1][2] / best[0][2]);
    return 0;
}
