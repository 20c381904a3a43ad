// Fuzz target: arbitrary bytes opened as an archive (after a stand-in stub
// half of the time) and every entry extracted, without and with a password,
// with a progress callback that may stop entries. Nothing may crash or
// leak, and nothing may appear outside the folder extracted into. Then the
// launcher's extraction, one entry after another and on two workers: both
// must leave the same files with the same contents, modes and times.
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <string>
#include <system_error>

#include "launcher/extraction.h"
#include "platform/file.h"
#include "platform/system.h"
#include "zip/archive.h"

namespace {

namespace fs = std::filesystem;

// root/archive.bin and root/a/b/target: extraction goes into target, so an
// escape of up to three levels lands where the check below looks.
struct Root {
    fs::path root, levels[3], target, archive;
    fs::path one, two;  // the launcher's extraction, with 1 and with 2 workers

    Root() {
        std::random_device random;
        root = fs::temp_directory_path() / ("zipfuzz-" + std::to_string(random()));
        levels[0] = root;
        levels[1] = root / "a";
        levels[2] = root / "a" / "b";
        target = levels[2] / "target";
        archive = root / "archive.bin";
        one = root / "one";
        two = root / "two";
        fs::create_directories(target);
        for (const fs::path& folder : {one, two}) fs::create_directories(folder);
    }
    ~Root() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    static void Empty(const fs::path& folder) {
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec)) {
            if (!it->is_symlink()) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        }
        fs::remove_all(folder, ec);
        fs::create_directories(folder, ec);
    }

    void Clean() const {
        for (const fs::path& folder : {target, one, two}) Empty(folder);
    }

    void CheckNothingEscaped() const {
        const std::set<std::string> expected[3] = {{"a", "archive.bin", "one", "two"}, {"b"}, {"target"}};
        for (int i = 0; i < 3; ++i) {
            std::set<std::string> found;
            for (const auto& item : fs::directory_iterator(levels[i])) found.insert(item.path().filename().string());
            if (found != expected[i]) std::abort();
        }
    }
};

// Stops an entry at a chosen step, and any entry that grows beyond 4 MiB.
class Stopper : public CZipActionCallback {
public:
    explicit Stopper(int stopAt) : m_stopAt(stopAt) {}
    bool OnProgress(std::int32_t) override { return ++m_steps != m_stopAt && m_nDone <= (4u << 20); }
    void Begin(const std::string& name, const std::string& path) override {
        CZipActionCallback::Begin(name, path);
        m_steps = 0;
    }

private:
    int m_stopAt;
    int m_steps = 0;
};

std::uint32_t Hash(const std::uint8_t* data, std::size_t size) {
    std::uint32_t h = 2166136261u;
    for (std::size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 16777619u;
    return h;
}

void ExtractAll(const std::string& archivePath, const std::string& target, const char* password, int stopAt) {
    CZipArchive archive;
    Stopper stopper(stopAt);
    try {
        archive.Open(archivePath);
        archive.RegisterCallback(&stopper, cbExtract);
        CZipFileHeader header;
        for (int i = 0; i < archive.GetEntryCount(); ++i) {
            const auto index = static_cast<std::uint32_t>(i);
            archive.GetEntryInfo(header, index);
            header.IsFolder();
            header.GetModTime();
            try {
                if (password != nullptr) archive.SetArchivePassword(password);
                archive.ExtractEntry(index, target);
            } catch (const CZipException&) {
            } catch (const platform::FileException&) {
            }
        }
        archive.Close();
    } catch (const CZipException&) {
    } catch (const platform::FileException&) {
    }
    try {
        archive.Close(CZipArchive::afterException);
    } catch (...) {
        std::abort();  // closing after an exception never throws
    }
}

// Everything under `root`: relative name -> kind, size, content hash, mode,
// and the time, unless it is later than `since`: a file whose data failed
// keeps the time it was written, which no two runs share.
std::map<std::string, std::string> Tree(const fs::path& root, fs::file_time_type since) {
    std::map<std::string, std::string> tree;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        const fs::path& path = it->path();
        std::string line = it->is_directory() ? "folder" : "file";
        const fs::file_status status = fs::symlink_status(path, ec);
        line += " mode " + std::to_string(static_cast<unsigned>(status.permissions()));
        if (!it->is_directory()) {
            std::ifstream in(path, std::ios::binary);
            const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            const fs::file_time_type time = fs::last_write_time(path, ec);
            line += " size " + std::to_string(content.size()) + " hash " +
                    std::to_string(Hash(reinterpret_cast<const std::uint8_t*>(content.data()), content.size())) +
                    " time " + (time < since ? std::to_string(time.time_since_epoch().count()) : "now");
        }
        tree[fs::relative(path, root).string()] = line;
    }
    return tree;
}

// The launcher's extraction of the archive into `folder` with `threads`;
// false when the archive does not open or would write too much to try.
bool LauncherExtraction(const std::string& archivePath, const fs::path& folder, unsigned threads, bool& programFailed) {
    CZipArchive archive;
    try {
        archive.Open(archivePath);
    } catch (...) {
        archive.Close(CZipArchive::afterException);
        return false;
    }
    std::uint64_t total = 0;
    int files = 0;
    CZipFileHeader header;
    for (int i = 0; i < archive.GetEntryCount(); ++i) {
        if (!archive.GetEntryInfo(header, static_cast<std::uint32_t>(i))) continue;
        total += header.m_uUncomprSize;
        if (!header.IsFolder()) ++files;
    }
    std::string run;
    if (archive.GetEntryCount() != 0 && archive.GetEntryInfo(header, 0)) run = header.GetName();
    // Fewer than two files take the one-by-one path whatever the workers.
    if (total > (16u << 20) || files < 2) {
        archive.Close(CZipArchive::afterException);
        return false;
    }
    LaunchConfig config;
    config.run = run;  // whether the first entry counts as failed must agree too
    config.usePassword = 1;
    config.password = "secret";
    programFailed = ExtractArchive(archive, archivePath, config, platform::FromNativePath(folder.string()),
                                   RunWindows(), threads).programFailed;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Root root;
    const std::uint32_t hash = Hash(data, size);
    {
        std::ofstream out(root.archive, std::ios::binary | std::ios::trunc);
        if (hash & 1) out << "MZ" << std::string(1000, '\0');  // a stub before the archive
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const std::string archivePath = platform::FromNativePath(root.archive.string());
    const std::string target = platform::FromNativePath(root.target.string());
    const int stopAt = static_cast<int>((hash >> 1) % 6);  // 0: never
    ExtractAll(archivePath, target, nullptr, stopAt);
    ExtractAll(archivePath, target, "secret", stopAt);
    bool failedOne = false, failedTwo = false;
    const fs::file_time_type since = fs::file_time_type::clock::now() - std::chrono::seconds(2);
    // One input in eight: extracting every input twice more would make the
    // bounded run in CI take minutes.
    if (((hash >> 4) & 7) == 0 && LauncherExtraction(archivePath, root.one, 1, failedOne) && LauncherExtraction(archivePath, root.two, 2, failedTwo)) {
        if (failedOne != failedTwo || Tree(root.one, since) != Tree(root.two, since)) std::abort();
    }
    root.CheckNothingEscaped();
    root.Clean();
    return 0;
}
