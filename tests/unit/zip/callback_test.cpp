// The progress callback: the calls extraction makes, and stopping an entry.
#include <gtest/gtest.h>

#include <filesystem>

#include "fixtures.h"
#include "test_util/scratch.h"
#include "zip/pathcomponent.h"

namespace {

namespace fs = std::filesystem;
using ziptest::Fixture;
using ziptest::FixtureNative;

class Recorder : public CZipActionCallback {
public:
    explicit Recorder(int stopAtStep = 0) : m_stopAt(stopAtStep) {}

    bool OnProgress(std::int32_t amount) override {
        events.push_back("Step " + std::to_string(amount));
        return ++m_steps != m_stopAt;
    }
    void Begin(const std::string& fileInArchive, const std::string& externalPath) override {
        CZipActionCallback::Begin(fileInArchive, externalPath);
        events.push_back("Begin " + fileInArchive);
    }
    void SetEntryTotal(std::uint64_t total) override {
        CZipActionCallback::SetEntryTotal(total);
        events.push_back("Total " + std::to_string(total));
    }
    void End() override { events.push_back("End"); }

    std::vector<std::string> events;

private:
    int m_stopAt;
    int m_steps = 0;
};

TEST(ZipCallback, CallsDuringExtraction) {
    REQUIRE_FIXTURE("pieces.zip");
    const struct {
        const char* name;
        std::vector<std::string> events;
    } cases[] = {
        {"empty.txt", {"Begin empty.txt", "Total 0", "End"}},
        {"exact.bin", {"Begin exact.bin", "Total 65536", "Step 65536", "End"}},
        {"several.bin",
         {"Begin several.bin", "Total 200000", "Step 65536", "Step 65536", "Step 65536", "Step 3392", "End"}},
        {"folder\\", {"Begin folder\\", "Total 0", "End"}},
    };
    test_util::ScratchDir dir;
    CZipArchive archive;
    archive.Open(Fixture("pieces.zip"));
    Recorder recorder;
    archive.RegisterCallback(&recorder, cbExtract);
    for (const auto& c : cases) {
        recorder.events.clear();
        const int index = ziptest::IndexOf(archive, c.name);
        ASSERT_GE(index, 0) << c.name;
        EXPECT_EQ(ziptest::Extract(archive, static_cast<std::uint32_t>(index), dir.path()), 1) << c.name;
        EXPECT_EQ(recorder.events, c.events) << c.name;
        EXPECT_EQ(recorder.m_nType, cbExtract);
        EXPECT_EQ(recorder.m_strFileInArchive, c.name);
        EXPECT_EQ(recorder.m_strExternalPath, zip::TrimTrailingSeparators(dir.Path(c.name)));
        EXPECT_EQ(recorder.m_nDone, recorder.m_nTotal) << c.name;
    }
    EXPECT_EQ(fs::file_size(dir.Native("empty.txt")), 0u);
    EXPECT_EQ(fs::file_size(dir.Native("exact.bin")), 65536u);
    recorder.events.clear();
    archive.Close();
    EXPECT_TRUE(recorder.events.empty()) << "a callback for extraction hears nothing of Close";
}

TEST(ZipCallback, StoppingAnEntry) {
    const struct {
        const char* fixture;
        const char* name;
        int stopAt;
        int code;               // 105 data remained, 106 all data was out
        std::uintmax_t size;    // of the file left on disk
        const char* next;       // an entry that still extracts afterwards
    } cases[] = {
        {"pieces.zip", "exact.bin", 1, 106, 65536, "tail.txt"},
        {"pieces.zip", "several.bin", 1, 105, 65536, "tail.txt"},
        {"pieces.zip", "several.bin", 3, 105, 3 * 65536, "tail.txt"},
        {"pieces.zip", "several.bin", 4, 106, 200000, "tail.txt"},
        // Entries with a data descriptor: a stop before the end leaves no
        // descriptor to check, and the archive reads on.
        {"pieces-stream.zip", "several.bin", 2, 105, 2 * 65536, "later.txt"},
        {"pieces-stream.zip", "several.bin", 4, 106, 200000, "later.txt"},
        // The last piece of an entry whose data ended early: not safe after all.
        {"short-output.zip", "damaged.bin", 1, 105, 0, "later.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fixture) + " " + c.name + " at " + std::to_string(c.stopAt));
        ASSERT_FALSE(FixtureNative(c.fixture).empty());
        test_util::ScratchDir dir;
        CZipArchive archive;
        archive.Open(Fixture(c.fixture));
        Recorder recorder(c.stopAt);
        archive.RegisterCallback(&recorder, cbExtract);
        const int index = ziptest::IndexOf(archive, c.name);
        ASSERT_GE(index, 0);
        const CZipException e = ziptest::Caught([&] { archive.ExtractEntry(static_cast<std::uint32_t>(index), dir.path()); });
        EXPECT_EQ(e.m_nCode, c.code);
        EXPECT_EQ(e.m_strFileName, dir.Path(c.name)) << "the abort names the file being written";
        EXPECT_EQ(recorder.events.back(), "End");
        EXPECT_EQ(recorder.events.size(), static_cast<std::size_t>(c.stopAt) + 3);
        ASSERT_TRUE(fs::exists(dir.Native(c.name))) << "the partial file stays";
        if (c.size != 0) {
            EXPECT_EQ(fs::file_size(dir.Native(c.name)), c.size);
        }
        const int next = ziptest::IndexOf(archive, c.next);
        ASSERT_GE(next, 0);
        EXPECT_EQ(ziptest::Extract(archive, static_cast<std::uint32_t>(next), dir.path()), 1);
        EXPECT_TRUE(fs::exists(dir.Native(c.next)));
    }
}

TEST(ZipCallback, Registration) {
    REQUIRE_FIXTURE("pieces.zip");
    test_util::ScratchDir dir;
    CZipArchive archive;
    archive.Open(Fixture("pieces.zip"));
    Recorder extract, other;
    archive.RegisterCallback(&extract, cbExtract | cbSave);
    archive.RegisterCallback(&other, cbTest);
    EXPECT_EQ(archive.RegisteredCallback(cbExtract), &extract);
    EXPECT_EQ(archive.RegisteredCallback(cbSave), &extract);
    EXPECT_EQ(archive.RegisteredCallback(cbTest), &other);
    EXPECT_EQ(archive.RegisteredCallback(cbAdd), nullptr);
    archive.RegisterCallback(nullptr, cbExtract);
    EXPECT_EQ(archive.RegisteredCallback(cbExtract), nullptr);
    EXPECT_EQ(archive.RegisteredCallback(cbSave), &extract);
    const int index = ziptest::IndexOf(archive, "exact.bin");
    ASSERT_GE(index, 0);
    EXPECT_EQ(ziptest::Extract(archive, static_cast<std::uint32_t>(index), dir.path()), 1);
    EXPECT_TRUE(extract.events.empty());
    EXPECT_TRUE(other.events.empty());
    EXPECT_EQ(fs::file_size(dir.Native("exact.bin")), 65536u);
}

}  // namespace
