// Extraction on worker threads gives what one entry after another gives:
// the same files, contents, times and modes, and the same verdict on the
// configured program, for every test archive, the damaged ones included.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "fixtures.h"
#include "launcher/extraction.h"
#include "platform/posix/instrument.h"
#include "platform/system.h"
#include "test_util/scratch.h"
#include "zip/archive.h"

namespace {

namespace fs = std::filesystem;

struct Result {
    std::map<std::string, ziptest::Node> tree;
    ExtractionOutcome outcome;
};

Result Extract(const std::string& fixture, const LaunchConfig& config, unsigned threads,
               const RunWindows& windows = RunWindows()) {
    test_util::ScratchDir dir;
    CZipArchive archive;
    archive.Open(ziptest::Fixture(fixture));
    Result result;
    result.outcome = ExtractArchive(archive, ziptest::Fixture(fixture), config, dir.path(), windows, threads);
    result.tree = ziptest::Snapshot(dir.Native());
    // A file whose data failed keeps the time it was written: no two runs
    // share it. "Now" is read the way the tree's times are, from a file.
    test_util::ScratchDir clock;
    clock.Write("now", "");
    const std::int64_t recent = ziptest::Snapshot(clock.Native()).at("now").mtime - 120;
    for (auto& [name, node] : result.tree)
        if (node.mtime >= recent) node.mtime = 0;
    return result;
}

// One line per node, for a failure message.
std::string Describe(const std::map<std::string, ziptest::Node>& tree) {
    std::string text;
    for (const auto& [name, node] : tree)
        text += "  " + name + (node.folder ? "/" : "") + " " + std::to_string(node.content.size()) + " bytes, mtime " +
                std::to_string(node.mtime) + ", mode " + std::to_string(node.mode) + "\n";
    return text;
}

// The names of the archive's file entries ('\' separators).
std::vector<std::string> FileNames(const std::string& fixture) {
    CZipArchive archive;
    archive.Open(ziptest::Fixture(fixture));
    std::vector<std::string> names;
    for (int i = 0; i < archive.GetEntryCount(); ++i) {
        CZipFileHeader info;
        if (archive.GetEntryInfo(info, static_cast<std::uint32_t>(i)) && !info.IsFolder()) names.push_back(info.GetName());
    }
    archive.Close(CZipArchive::afterException);
    return names;
}

// Whether only the one-by-one order can say what comes out of the archive:
// an entry whose data fails (later files do not come out) or a file name
// that two entries share (the later one wins). Told by the archive itself,
// one entry after another.
bool OrderDecides(const std::string& fixture, const LaunchConfig& config) {
    test_util::ScratchDir dir;
    CZipArchive archive;
    archive.m_bReplaceExisting = false;
    archive.Open(ziptest::Fixture(fixture));
    bool decides = false;
    for (int i = 0; i < archive.GetEntryCount(); ++i) {
        if (config.usePassword != 0) archive.SetArchivePassword(config.password.c_str());
        const ZipEntryOutcome outcome = archive.ExtractEntryOutcome(static_cast<std::uint32_t>(i), dir.path());
        decides = decides || outcome == ZipEntryOutcome::kBlocksLater || outcome == ZipEntryOutcome::kNameTaken;
    }
    archive.Close(CZipArchive::afterException);
    return decides;
}

TEST(ParallelExtraction, GivesWhatOneEntryAfterAnotherGives) {
    int compared = 0;
    for (const auto& file : fs::directory_iterator(ZIP_FIXTURES)) {
        const std::string fixture = file.path().filename().string();
        if (!file.is_regular_file() || (file.path().extension() != ".zip" && file.path().extension() != ".exe")) continue;
        CZipArchive probe;
        try {
            probe.Open(ziptest::Fixture(fixture));  // only archives that open get this far in a run
        } catch (...) {
            continue;
        }
        probe.Close(CZipArchive::afterException);
        const std::vector<std::string> names = FileNames(fixture);
        // The program first or last in the archive: a failure before it
        // keeps it from coming out in order, and only then.
        std::vector<std::string> runs = {""};
        if (!names.empty()) runs = {names.front(), names.back()};
        // The encrypted archives with their password, the others without.
        const char* password = fixture.find("crypt") != std::string::npos ? ziptest::kPassword : nullptr;
        for (const std::string& run : runs) {
            {
                SCOPED_TRACE(fixture + " run=" + run);
                LaunchConfig config;
                config.run = run;
                if (password != nullptr) {
                    config.usePassword = 1;
                    config.password = password;
                }
                const Result sequential = Extract(fixture, config, 1);
                const bool orderDecides = OrderDecides(fixture, config);
                for (unsigned threads : {2u, 4u}) {
                    const Result parallel = Extract(fixture, config, threads);
                    const ExtractionOutcome& outcome = parallel.outcome;
                    EXPECT_EQ(outcome.programFailed, sequential.outcome.programFailed) << threads;
                    EXPECT_EQ(outcome.complete, sequential.outcome.complete) << threads;
                    EXPECT_TRUE(parallel.tree == sequential.tree) << threads << " threads, " << outcome.threads << " used\n"
                                                                  << Describe(sequential.tree) << "versus\n" << Describe(parallel.tree);
                    // The workers really extracted, unless only the order could decide.
                    const unsigned workers = std::min<unsigned>(threads, static_cast<unsigned>(names.size()));
                    EXPECT_EQ(outcome.threads, workers > 1 && !orderDecides ? workers : 1u) << threads;
                    EXPECT_EQ(outcome.steppedBack, workers > 1 && orderDecides) << threads;
                    EXPECT_FALSE(outcome.notEmptied);
                }
                ++compared;
            }
        }
    }
    EXPECT_GT(compared, 20);
}

// The workers really work when the archive lets them, and step back when
// only the one-by-one order can say what comes out.
TEST(ParallelExtraction, WorkersStepBackWhereOrderDecides) {
    const struct {
        const char* fixture;
        bool parallel;
    } cases[] = {
        {"many.zip", true},
        {"infozip-deflate.zip", true},
        {"bad-crc.zip", false},         // later files must not come out
        {"truncated.zip", false},
        {"meeting-names.zip", false},   // the later of two entries of one name wins
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fixture);
        REQUIRE_FIXTURE(c.fixture);
        const ExtractionOutcome outcome = Extract(c.fixture, LaunchConfig(), 2).outcome;
        EXPECT_EQ(outcome.threads, c.parallel ? 2u : 1u);
        EXPECT_EQ(outcome.steppedBack, !c.parallel);
    }
}

// Only an extraction that left nothing out may become the cache's copy.
TEST(ParallelExtraction, CompleteOnlyWhenEveryEntryCameOut) {
    const struct {
        const char* fixture;
        const char* password;
        bool complete;
    } cases[] = {
        {"many.zip", nullptr, true},
        {"infozip-deflate.zip", nullptr, true},
        {"infozip-crypt.zip", ziptest::kPassword, true},
        {"infozip-crypt.zip", "wrong", false},
        {"bad-crc.zip", nullptr, false},
        {"truncated.zip", nullptr, false},
        {"hostile.zip", nullptr, false},  // names that would leave the folder are passed over
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fixture) + (c.password != nullptr ? std::string(" ") + c.password : ""));
        REQUIRE_FIXTURE(c.fixture);
        LaunchConfig config;
        if (c.password != nullptr) {
            config.usePassword = 1;
            config.password = c.password;
        }
        for (unsigned threads : {1u, 2u}) EXPECT_EQ(Extract(c.fixture, config, threads).outcome.complete, c.complete) << threads;
        bool cancel = true;
        RunWindows cancelled;
        cancelled.cancel = &cancel;
        for (unsigned threads : {1u, 2u}) EXPECT_FALSE(Extract(c.fixture, config, threads, cancelled).outcome.complete);
    }
}

// When the workers step back but the folder cannot be emptied for the
// second attempt, nothing is extracted on top of what stayed.
TEST(ParallelExtraction, NothingOnTopOfAFolderThatWouldNotEmpty) {
    REQUIRE_FIXTURE("bad-crc.zip");
    // A worker writes damaged.bin before its CRC fails; then it will not go.
    platform::instrument::InjectFailure(platform::instrument::Call::kDeleteFile, "damaged.bin",
                                        platform::kErrorInvalidName, 1);
    const Result result = Extract("bad-crc.zip", LaunchConfig(), 2);
    platform::instrument::ClearFailures();
    EXPECT_TRUE(result.outcome.steppedBack);
    EXPECT_TRUE(result.outcome.notEmptied);
    EXPECT_FALSE(result.outcome.complete);
    EXPECT_EQ(result.outcome.threads, 1u);
    // Only what stayed: no folder entry made again, nothing of the one-by-one pass.
    std::vector<std::string> names;
    for (const auto& [name, node] : result.tree) names.push_back(name);
    EXPECT_EQ(names, std::vector<std::string>{"damaged.bin"}) << Describe(result.tree);
}

}  // namespace
