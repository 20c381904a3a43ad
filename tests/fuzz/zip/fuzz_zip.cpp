// Fuzz target: arbitrary bytes opened as an archive (after a stand-in stub
// half of the time) and every entry extracted, without and with a password,
// with a progress callback that may stop entries. Nothing may crash or
// leak, and nothing may appear outside the folder extracted into.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <system_error>

#include "platform/file.h"
#include "platform/system.h"
#include "zip/archive.h"

namespace {

namespace fs = std::filesystem;

// root/archive.bin and root/a/b/target: extraction goes into target, so an
// escape of up to three levels lands where the check below looks.
struct Root {
    fs::path root, levels[3], target, archive;

    Root() {
        std::random_device random;
        root = fs::temp_directory_path() / ("zipfuzz-" + std::to_string(random()));
        levels[0] = root;
        levels[1] = root / "a";
        levels[2] = root / "a" / "b";
        target = levels[2] / "target";
        archive = root / "archive.bin";
        fs::create_directories(target);
    }
    ~Root() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    void Clean() const {
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(target, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec)) {
            if (!it->is_symlink()) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        }
        fs::remove_all(target, ec);
        fs::create_directories(target, ec);
    }

    void CheckNothingEscaped() const {
        const std::set<std::string> expected[3] = {{"a", "archive.bin"}, {"b"}, {"target"}};
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
            const auto index = static_cast<std::uint16_t>(i);
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
    root.CheckNothingEscaped();
    root.Clean();
    return 0;
}
