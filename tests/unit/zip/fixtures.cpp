#include "fixtures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/file.h"
#include "platform/system.h"

namespace fs = std::filesystem;

namespace ziptest {

std::string FixtureNative(const std::string& name) {
    const fs::path path = fs::path(ZIP_FIXTURES) / name;
    return fs::exists(path) ? path.string() : std::string();
}

std::string Fixture(const std::string& name) {
    return platform::FromNativePath((fs::path(ZIP_FIXTURES) / name).string());
}

int Extract(CZipArchive& archive, std::uint32_t index, const std::string& folder) {
    try {
        return archive.ExtractEntry(index, folder) ? 1 : 0;
    } catch (const CZipException& e) {
        return e.m_nCode;
    } catch (const platform::FileException&) {
        return kFileError;
    }
}

std::vector<int> ExtractAll(const std::string& path, const std::string& folder, const char* password) {
    CZipArchive archive;
    archive.Open(path);
    std::vector<int> outcomes;
    for (int i = 0; i < archive.GetEntryCount(); ++i) {
        if (password != nullptr) archive.SetArchivePassword(password);
        outcomes.push_back(Extract(archive, static_cast<std::uint32_t>(i), folder));
    }
    archive.Close(CZipArchive::afterException);
    return outcomes;
}

int IndexOf(const CZipArchive& archive, const std::string& name) {
    CZipFileHeader header;
    for (int i = 0; i < archive.GetEntryCount(); ++i) {
        if (archive.GetEntryInfo(header, static_cast<std::uint32_t>(i)) && header.GetName() == name) return i;
    }
    return -1;
}

std::string ReadNative(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

namespace {

// Seconds since 1970. The file clock's epoch is the library's own choice
// (libstdc++ counts from 2174), a whole number of seconds from the system's.
std::int64_t UnixSeconds(fs::file_time_type time) {
    using namespace std::chrono;
    static const seconds offset =
        round<seconds>(fs::file_time_type::clock::now().time_since_epoch() - system_clock::now().time_since_epoch());
    return floor<seconds>(time.time_since_epoch() - offset).count();
}

}  // namespace

std::map<std::string, Node> Snapshot(const fs::path& root) {
    std::map<std::string, Node> tree;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        Node node;
        node.folder = item.is_directory();
        node.mode = static_cast<unsigned>(item.status().permissions()) & 0777;
        if (!node.folder) {
            node.content = ReadNative(item.path().string());
            node.mtime = UnixSeconds(fs::last_write_time(item.path()));
        }
        tree[fs::relative(item.path(), root).generic_string()] = node;
    }
    return tree;
}

bool RunUnzip(const std::string& archive, const std::string& folder, const char* password) {
    std::string command = "unzip -qo ";
    if (password != nullptr) command += std::string("-P '") + password + "' ";
    command += "'" + archive + "' -d '" + folder + "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

void WriteWithPrefix(const std::string& out, const std::string& prefix, const std::string& archive) {
    std::ofstream file(out, std::ios::binary);
    file << prefix << ReadNative(archive);
}

}  // namespace ziptest
