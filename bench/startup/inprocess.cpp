// The in-process half of the start-up benchmark (bench_startup.py drives it).
//
//   bench_startup_inprocess round LAUNCHER BASE FIRST TAG
//     One round of the measurements that must share a process, in rotating
//     order (FIRST picks where the rotation starts), each in a fresh folder
//     BASE/TAG-STEP, each printed as
//     "RESULT name wall-seconds cpu-seconds":
//       floor-1, floor-2  inflate + CRC-32 of every entry from memory with
//                         zlib, writing nothing, on 1 and on 2 threads
//       extract-1/-2      the launcher's own ExtractArchive with 1 and 2
//                         threads into a fresh folder, the archive opened
//                         as the run opens it
//       delete            the launcher's deleter on each tree extracted
//       create            the tree's folders and empty files (time and mode
//                         set, as an extractor does), through the platform
//                         layer the launcher uses
//       write             the same with every file's bytes, from memory
//     The bytes for "write" are inflated before the round, untimed.
//   bench_startup_inprocess extract LAUNCHER FOLDER THREADS
//     ExtractArchive alone; prints its time and this process's peak
//     resident memory ("PEAK_KIB n", the kernel's VmHWM).
//
// CPU time is std::clock(): user and system time of every thread of this
// process.
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "bench/startup/zipwalk.h"
#include "cleanup/busyretry.h"
#include "cleanup/deletefiles.h"
#include "launcher/extraction.h"
#include "payload/config.h"
#include "payload/extractor.h"
#include "platform/file.h"
#include "platform/system.h"
#include "zip/archive.h"
#include "zip/exception.h"
#include "zip/fileops.h"

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kChunk = 65536;  // the launcher's transfer buffer

[[noreturn]] void Fail(const std::string& why) {
    std::fprintf(stderr, "bench_startup_inprocess: %s\n", why.c_str());
    std::exit(1);
}

struct Timer {
    std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
    std::clock_t cpu = std::clock();
    void Print(const char* name) const {
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
        std::printf("RESULT %s %.6f %.6f\n", name, seconds, static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC);
        std::fflush(stdout);
    }
};

// The launcher file in memory and its entries with where their data starts.
struct Archive {
    std::vector<unsigned char> bytes;
    std::vector<zipwalk::Entry> entries;
    std::vector<std::uint32_t> dataAt;
};

Archive Load(const fs::path& path) {
    Archive a;
    std::ifstream in(path, std::ios::binary);
    a.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    const std::size_t tail = std::min(a.bytes.size(), zipwalk::kTailSize);
    zipwalk::Directory directory;
    if (!zipwalk::FindDirectory(a.bytes.data() + a.bytes.size() - tail, tail, directory) ||
        std::size_t{directory.offset} + directory.size > a.bytes.size())
        Fail(path.string() + ": no ZIP directory");
    if (!zipwalk::ForEachEntry(a.bytes.data() + directory.offset, directory.size,
                               [&](const zipwalk::Entry& e) { a.entries.push_back(e); }))
        Fail(path.string() + ": malformed ZIP directory");
    for (const auto& e : a.entries) {
        const std::uint32_t at = e.localHeader + zipwalk::kLocalHeaderSize <= a.bytes.size()
                                     ? zipwalk::DataOffset(e, a.bytes.data() + e.localHeader)
                                     : 0;
        if (at == 0 || std::size_t{at} + e.packed > a.bytes.size()) Fail(e.name + ": no local header");
        if (e.method != 0 && e.method != 8) Fail(e.name + ": neither stored nor deflated");
        a.dataAt.push_back(at);
    }
    return a;
}

// Inflates (or, stored, takes) entry `i` in pieces of kChunk bytes, handing
// each to `sink`, and checks the CRC. `stream` is initialised for raw inflate.
template <typename Sink>
void Inflate(const Archive& a, std::size_t i, z_stream& stream, unsigned char* chunk, Sink sink) {
    const zipwalk::Entry& e = a.entries[i];
    const unsigned char* data = a.bytes.data() + a.dataAt[i];
    uLong crc = crc32(0L, Z_NULL, 0);
    std::uint32_t total = 0;
    if (e.method == 0) {
        for (std::uint32_t at = 0; at < e.size; at += kChunk) {
            const std::uint32_t n = std::min(kChunk, e.size - at);
            crc = crc32(crc, data + at, n);
            sink(data + at, n);
        }
        total = e.size;
    } else {
        inflateReset(&stream);
        stream.next_in = const_cast<unsigned char*>(data);
        stream.avail_in = e.packed;
        int status = Z_OK;
        while (status != Z_STREAM_END) {
            stream.next_out = chunk;
            stream.avail_out = kChunk;
            status = inflate(&stream, Z_NO_FLUSH);
            if (status != Z_OK && status != Z_STREAM_END) Fail(e.name + ": inflate failed");
            const std::uint32_t n = kChunk - stream.avail_out;
            if (n == 0 && status != Z_STREAM_END) Fail(e.name + ": inflate stalled");
            crc = crc32(crc, chunk, n);
            sink(chunk, n);
            total += n;
        }
    }
    if (crc != e.crc || total != e.size) Fail(e.name + ": CRC or size mismatch");
}

// Inflate + CRC of every entry, entries dealt to `threads` threads as they
// come free; nothing is written.
void Floor(const Archive& a, unsigned threads) {
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        z_stream stream{};
        if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) Fail("inflateInit2");
        std::vector<unsigned char> chunk(kChunk);
        for (std::size_t i; (i = next++) < a.entries.size();)
            Inflate(a, i, stream, chunk.data(), [](const unsigned char*, std::uint32_t) {});
        inflateEnd(&stream);
    };
    std::vector<std::thread> helpers;
    for (unsigned t = 1; t < threads; ++t) helpers.emplace_back(work);
    work();
    for (auto& helper : helpers) helper.join();
}

// Every entry's bytes, one after another, and where each starts.
struct Inflated {
    std::vector<unsigned char> bytes;
    std::vector<std::size_t> at;
};

Inflated InflateAll(const Archive& a) {
    Inflated out;
    std::size_t total = 0;
    for (const auto& e : a.entries) total += e.size;
    out.bytes.reserve(total);
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) Fail("inflateInit2");
    std::vector<unsigned char> chunk(kChunk);
    for (std::size_t i = 0; i < a.entries.size(); ++i) {
        out.at.push_back(out.bytes.size());
        Inflate(a, i, stream, chunk.data(),
                [&](const unsigned char* p, std::uint32_t n) { out.bytes.insert(out.bytes.end(), p, p + n); });
    }
    inflateEnd(&stream);
    return out;
}

std::string WindowsPath(const fs::path& folder, const std::string& name) {
    std::string path = platform::FromNativePath(folder.string());
    if (name.empty()) return path;
    std::string relative = name;
    std::replace(relative.begin(), relative.end(), '/', '\\');
    return path + "\\" + relative;
}

// Creates the tree's folders once each, then every file: created, written
// from `data` when given, closed, its time and mode set.
void CreateTree(const Archive& a, const fs::path& folder, const Inflated* data) {
    std::set<std::string> folders;
    for (const auto& e : a.entries) {
        const std::string name = e.IsFolder() ? e.name.substr(0, e.name.size() - 1) : e.name;
        for (std::size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1))
            folders.insert(name.substr(0, slash));
        if (e.IsFolder()) folders.insert(name);
    }
    for (const auto& name : folders)  // sorted: a parent before its children
        if (!zip::CreateFolder(WindowsPath(folder, name))) Fail("cannot create folder " + name);
    for (std::size_t i = 0; i < a.entries.size(); ++i) {
        const zipwalk::Entry& e = a.entries[i];
        if (e.IsFolder()) continue;
        const std::string path = WindowsPath(folder, e.name);
        platform::File file(path, platform::kModeCreate | platform::kModeWrite | platform::kShareDenyWrite);
        if (data != nullptr)
            for (std::uint32_t at = 0; at < e.size; at += kChunk)
                file.Write(data->bytes.data() + data->at[i] + at, std::min(kChunk, e.size - at));
        file.Close();
        zip::SetPathModTime(path, 1700000000);
        zip::SetPathUnixMode(path, 0644, false);
    }
}

// ExtractArchive as the run calls it: the archive opened on the launcher's
// own file, the configuration read from its payload, no windows.
void ExtractWithLauncher(const fs::path& launcher, const fs::path& folder, unsigned threads) {
    CSFEFileExtractor payload;
    payload.m_strModulePath = platform::FromNativePath(fs::absolute(launcher).string());
    LaunchConfig config;
    ReadLaunchConfig(payload.GetDataSegment(), config);
    CZipArchive archive;
    try {
        archive.Open(payload.m_strModulePath, CZipArchive::zipOpenReadOnly, 0);
    } catch (const CZipException& e) {
        Fail(launcher.string() + ": " + e.GetDescription());
    }
    if (ExtractArchive(archive, payload.m_strModulePath, config, WindowsPath(folder, ""), RunWindows(), threads)
            .programFailed)
        Fail("the configured program's entry failed");
}

// The run's deleter, set up as the run sets it up, then the folder itself.
void DeleteWithLauncher(const fs::path& folder) {
    CBusyRetry retry(CBusyRetry::kDefaultBudgetMs, false);
    CQXDeleteFiles deleter;
    deleter.TargetFolderContents(WindowsPath(folder, ""));
    deleter.m_pRetry = &retry;
    const int result = deleter.DeleteSource(false);
    platform::RemoveDirectory(WindowsPath(folder, ""));
    if (result != CQXDeleteFiles::kDeleted || fs::exists(folder)) Fail("the deleter left files behind");
}

void Check(const Archive& a, const fs::path& folder, const char* what) {
    std::uintmax_t files = 0, bytes = 0, expectedFiles = 0, expectedBytes = 0;
    for (const auto& item : fs::recursive_directory_iterator(folder))
        if (item.is_regular_file()) ++files, bytes += item.file_size();
    for (const auto& e : a.entries)
        if (!e.IsFolder()) ++expectedFiles, expectedBytes += e.size;
    if (files != expectedFiles || bytes != expectedBytes)
        Fail(std::string(what) + " left " + std::to_string(files) + " files, " + std::to_string(bytes) + " bytes");
}

// Each step writes into a fresh folder of its own, BASE/TAG-STEP: see
// bench_startup.py on why fresh names matter on ext4.
int Round(const fs::path& launcher, const fs::path& base, int first, const std::string& tag) {
    const Archive archive = Load(launcher);
    const Inflated inflated = InflateAll(archive);
    std::uintmax_t bytes = 0;
    for (const auto& e : archive.entries) bytes += e.size;
    std::printf("INFO entries %zu bytes %ju packed %zu\n", archive.entries.size(), bytes, archive.bytes.size());

    auto fresh = [&](const char* name) {
        const fs::path folder = base / (tag + "-" + name);
        if (!fs::create_directory(folder)) Fail(folder.string() + " exists already");
        return folder;
    };
    auto extract = [&](unsigned threads, const char* name) {
        const fs::path out = fresh(name);
        Timer timer;
        ExtractWithLauncher(launcher, out, threads);
        timer.Print(name);
        Check(archive, out, name);
        Timer deleting;
        DeleteWithLauncher(out);
        deleting.Print("delete");
    };
    auto create = [&](const Inflated* data, const char* name) {
        const fs::path out = fresh(name);
        Timer timer;
        CreateTree(archive, out, data);
        timer.Print(name);
        fs::remove_all(out);
    };
    const std::vector<std::function<void()>> steps = {
        [&] { Timer t; Floor(archive, 1); t.Print("floor-1"); },
        [&] { extract(1, "extract-1"); },
        [&] { create(nullptr, "create"); },
        [&] { Timer t; Floor(archive, 2); t.Print("floor-2"); },
        [&] { extract(2, "extract-2"); },
        [&] { create(&inflated, "write"); },
    };
    for (std::size_t k = 0; k < steps.size(); ++k) steps[(static_cast<std::size_t>(first) + k) % steps.size()]();
    return 0;
}

// This process's peak resident memory in KiB, from the kernel's accounting.
long PeakRssKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "round" && argc == 6) return Round(argv[2], argv[3], std::atoi(argv[4]), argv[5]);
    if (mode == "extract" && argc == 5) {
        const int threads = std::atoi(argv[4]);
        if (threads < 1) Fail("THREADS must be 1 or more");
        fs::create_directories(argv[3]);
        Timer timer;
        ExtractWithLauncher(argv[2], argv[3], static_cast<unsigned>(threads));
        timer.Print("extract");
        std::printf("PEAK_KIB %ld\n", PeakRssKiB());
        return 0;
    }
    std::fprintf(stderr,
                 "usage: bench_startup_inprocess round LAUNCHER BASE FIRST TAG\n"
                 "       bench_startup_inprocess extract LAUNCHER FOLDER THREADS\n");
    return 2;
}
