// Extracts one generated archive of about 200 MB (thousands of small text
// files and a few large binary ones, deflated by Info-ZIP zip) with the zip
// module, with `unzip -qo` and with `7z x -y`, each into a fresh folder, in
// the same run and in rotating order, and prints the median times and their
// ratios. Then extracts an archive holding one entry of 4.5 GiB (beyond
// 4 GiB: Zip64) and a tiny one, each in a child process, and prints their
// peak resident memory: it must not grow with the entry.
//   bench_extract [ROUNDS] (default 3)
// Needs zip, unzip and 7z on the PATH and about 6 GB of free space in the
// temporary folder.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/system.h"
#include "zip/archive.h"

namespace fs = std::filesystem;

namespace {

struct Random {
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    std::uint64_t Next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
};

void Run(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
}

std::string Quote(const fs::path& path) { return "'" + path.string() + "'"; }

// 4000 text files of about 30 KB in 40 folders, and 4 binary files of 40 MB
// that deflate cannot shrink.
void MakeSource(const fs::path& root) {
    static const char* const words[] = {"archive", "launcher", "folder", "entry", "deflate", "stream",
                                        "window",  "payload",  "header", "record", "central", "local"};
    Random random;
    for (int folder = 0; folder < 40; ++folder) {
        const fs::path dir = root / "text" / ("part" + std::to_string(folder));
        fs::create_directories(dir);
        for (int file = 0; file < 100; ++file) {
            std::string text;
            while (text.size() < 30000) {
                text += words[random.Next() % 12];
                text += (random.Next() % 9 == 0) ? '\n' : ' ';
            }
            std::ofstream(dir / ("doc" + std::to_string(file) + ".txt"), std::ios::binary) << text;
        }
    }
    fs::create_directories(root / "bin");
    std::vector<std::uint64_t> block(1 << 17);
    for (int file = 0; file < 4; ++file) {
        std::ofstream out(root / "bin" / ("data" + std::to_string(file) + ".bin"), std::ios::binary);
        for (int i = 0; i < 40; ++i) {
            for (auto& word : block) word = random.Next();
            out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size() * 8));
        }
    }
}

double Seconds(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

// The launcher's way: every entry with its folders, a 64 KiB transfer buffer.
bool ExtractWithModule(const fs::path& archivePath, const fs::path& folder) {
    CZipArchive archive;
    archive.Open(platform::FromNativePath(archivePath.string()));
    const std::string target = platform::FromNativePath(folder.string());
    bool all = true;
    for (int i = 0; i < archive.GetEntryCount(); ++i)
        all = archive.ExtractEntry(static_cast<std::uint32_t>(i), target, true, nullptr, 65536) && all;
    archive.Close();
    return all;
}

struct Tool {
    const char* name;
    std::vector<double> times;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::uintmax_t TreeBytes(const fs::path& root, std::uintmax_t& files) {
    std::uintmax_t bytes = 0;
    files = 0;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        if (item.is_regular_file()) {
            bytes += item.file_size();
            ++files;
        }
    }
    return bytes;
}

// Peak resident set of this process in KiB, from the kernel's accounting.
long PeakRssKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
    }
    return -1;
}

long ChildPeakRss(const fs::path& self, const fs::path& archive, const fs::path& folder, const fs::path& report) {
    Run(Quote(self) + " --peak-rss " + Quote(archive) + " " + Quote(folder) + " > " + Quote(report));
    std::ifstream in(report);
    long kib = -1;
    in >> kib;
    return kib;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--peak-rss") {
        // Child: extract, then report the peak resident memory.
        bool ok = false;
        try {
            ok = ExtractWithModule(argv[2], argv[3]);
        } catch (const CZipException& e) {
            std::fprintf(stderr, "%s: %s\n", argv[2], e.GetDescription().c_str());
        }
        std::printf("%ld\n", ok ? PeakRssKiB() : -1L);
        return ok ? 0 : 1;
    }
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const fs::path self = fs::canonical("/proc/self/exe");
    const fs::path base =
        fs::temp_directory_path() / ("bench-extract-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(base);

    std::printf("making the source tree and the archive ...\n");
    MakeSource(base / "src");
    Run("cd " + Quote(base / "src") + " && zip -q -r ../bench.zip .");
    std::uintmax_t sourceFiles = 0;
    const std::uintmax_t sourceBytes = TreeBytes(base / "src", sourceFiles);
    fs::remove_all(base / "src");
    const fs::path archive = base / "bench.zip";
    std::printf("archive: %.1f MB, %ju files, %.1f MB extracted\n", fs::file_size(archive) / 1e6, sourceFiles,
                sourceBytes / 1e6);
    {
        // Warm the cache so that the first tool does not pay for reading it.
        std::ifstream in(archive, std::ios::binary);
        std::vector<char> chunk(1 << 20);
        while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()))) {
        }
    }

    Tool tools[3] = {{"zip module", {}}, {"unzip -qo", {}}, {"7z x -y", {}}};
    for (int round = 0; round < rounds; ++round) {
        for (int k = 0; k < 3; ++k) {
            const int t = (round + k) % 3;  // rotate the order between rounds
            const fs::path out = base / "out";
            const auto start = std::chrono::steady_clock::now();
            if (t == 0) {
                if (!ExtractWithModule(archive, out)) {
                    std::fprintf(stderr, "the zip module failed an entry\n");
                    return 1;
                }
            } else if (t == 1) {
                Run("unzip -qo " + Quote(archive) + " -d " + Quote(out));
            } else {
                Run("7z x -y -bd " + Quote(archive) + " -o" + Quote(out) + " > /dev/null");
            }
            tools[t].times.push_back(Seconds(start));
            std::uintmax_t files = 0;
            const std::uintmax_t bytes = TreeBytes(out, files);
            if (bytes != sourceBytes || files != sourceFiles) {
                std::fprintf(stderr, "%s extracted %ju bytes in %ju files\n", tools[t].name, bytes, files);
                return 1;
            }
            fs::remove_all(out);
        }
    }
    std::printf("\nextraction, median of %d rounds:\n", rounds);
    for (const Tool& tool : tools) std::printf("  %-12s %7.3f s\n", tool.name, Median(tool.times));
    const double ours = Median(tools[0].times);
    std::printf("  ratio zip module / unzip: %.2f\n", ours / Median(tools[1].times));
    std::printf("  ratio zip module / 7z:    %.2f\n", ours / Median(tools[2].times));
    fs::remove(archive);

    std::printf("\nmaking an archive with one 4.5 GiB entry ...\n");
    // Read from a pipe, zip gives the entry Zip64 sizes and data descriptor.
    Run("cd " + Quote(base) + " && head -c 4831838208 /dev/zero | zip -q big.zip -");
    Run("cd " + Quote(base) + " && printf 'tiny\\n' > tiny.txt && zip -q tiny.zip tiny.txt");
    const long big = ChildPeakRss(self, base / "big.zip", base / "out-big", base / "rss-big.txt");
    std::uintmax_t files = 0;
    const std::uintmax_t bigBytes = TreeBytes(base / "out-big", files);
    fs::remove_all(base / "out-big");
    const long tiny = ChildPeakRss(self, base / "tiny.zip", base / "out-tiny", base / "rss-tiny.txt");
    std::printf("peak resident memory while extracting (child processes):\n");
    std::printf("  4.5 GiB entry (%ju bytes written): %ld KiB\n", bigBytes, big);
    std::printf("  tiny archive:                        %ld KiB\n", tiny);
    std::printf("  ratio 4.5 GiB / tiny: %.2f\n", tiny > 0 ? static_cast<double>(big) / tiny : 0.0);
    fs::remove_all(base);
    return 0;
}
