#include "test_util/scratch.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>

#include "platform/system.h"

namespace test_util {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
    fs::path base(platform::ToNativePath(platform::GetTempPath()));
    std::random_device random;
    for (;;) {
        fs::path candidate = base / ("sfxtest-" + std::to_string(random()));
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            m_path = platform::FromNativePath(candidate.string());
            return;
        }
    }
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    fs::path root(platform::ToNativePath(m_path));
    // Make everything writable first so that read-only files go too.
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_symlink()) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(root, ec);
}

std::string ScratchDir::Native(const std::string& relative) const {
    return platform::ToNativePath(relative.empty() ? m_path : Path(relative));
}

std::string ScratchDir::Write(const std::string& relative, const std::string& content) const {
    fs::path native(Native(relative));
    fs::create_directories(native.parent_path());
    std::ofstream(native, std::ios::binary) << content;
    return Path(relative);
}

std::string ScratchDir::Read(const std::string& relative) const {
    std::ifstream in(Native(relative), std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

}  // namespace test_util
