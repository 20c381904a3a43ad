// Shared helpers of the zip tests: where the archives are, extracting them,
// and comparing folder trees.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/strings.h"
#include "zip/archive.h"

namespace ziptest {

constexpr const char* kPassword = "secret";

// Switches the posix backend's lead-byte test to a double-byte code page
// for the life of the object.
class CodePage {
public:
    explicit CodePage(unsigned codePage) { m_ok = platform::SetLeadByteCodePage(codePage); }
    ~CodePage() { platform::SetLeadByteCodePage(0); }
    CodePage(const CodePage&) = delete;
    CodePage& operator=(const CodePage&) = delete;
    bool ok() const { return m_ok; }

private:
    bool m_ok;
};

// Native path of a fixture made by make_fixtures.py, or empty when it was
// not made (its tool is missing).
std::string FixtureNative(const std::string& name);
// The same as a Windows path (Z:\... on posix).
std::string Fixture(const std::string& name);

#define REQUIRE_FIXTURE(name)                                                         \
    do {                                                                              \
        if (::ziptest::FixtureNative(name).empty()) GTEST_SKIP() << name << " was not made"; \
    } while (0)

constexpr int kFileError = -1;

// What `action` threw: the CZipException itself, or one with code 0 when
// it threw nothing (kFileError for a platform::FileException).
template <class Action>
CZipException Caught(Action action) {
    try {
        action();
    } catch (const CZipException& e) {
        return e;
    } catch (const platform::FileException& e) {
        return CZipException(kFileError, e.fileName());
    }
    return CZipException(0);
}

// ExtractEntry's outcome as one number: 1 true, 0 false, a CZipException
// code, or kFileError for a platform::FileException.
int Extract(CZipArchive& archive, std::uint32_t index, const std::string& folder);
// Opens `archive`, sets `password` (when not null) before every entry and
// extracts every entry into `folder`; returns each entry's outcome.
std::vector<int> ExtractAll(const std::string& archive, const std::string& folder, const char* password = nullptr);
// The index of the entry named `name` ('\' separators), or -1.
int IndexOf(const CZipArchive& archive, const std::string& name);

// One file or folder of a tree.
struct Node {
    bool folder = false;
    std::string content;
    std::int64_t mtime = 0;  // seconds since 1970, files only
    unsigned mode = 0;       // permission bits
    bool operator==(const Node& other) const {
        return folder == other.folder && content == other.content && mtime == other.mtime && mode == other.mode;
    }
};
// Everything under `root` (native), keyed by relative path with '/'.
std::map<std::string, Node> Snapshot(const std::filesystem::path& root);

// Runs Info-ZIP unzip on `archive` (native) into `folder` (native). False
// when unzip is missing or fails.
bool RunUnzip(const std::string& archive, const std::string& folder, const char* password = nullptr);

// Writes `prefix` followed by the bytes of `archive` (both native) to `out`.
void WriteWithPrefix(const std::string& out, const std::string& prefix, const std::string& archive);
std::string ReadNative(const std::string& path);

}  // namespace ziptest
