// Damaged archives: which entries fail, how, and what state they leave.
#include <gtest/gtest.h>

#include <filesystem>

#include "fixtures.h"
#include "test_util/scratch.h"

namespace {

namespace fs = std::filesystem;
using ziptest::Fixture;
using ziptest::FixtureNative;

// Extracts every entry of `fixture` in order into a fresh folder and checks
// each outcome and whether a file or folder of the entry's name was made.
void ExpectOutcomes(const char* fixture, const std::vector<std::pair<const char*, int>>& expected,
                    const std::vector<bool>& made) {
    SCOPED_TRACE(fixture);
    ASSERT_FALSE(FixtureNative(fixture).empty());
    test_util::ScratchDir dir;
    CZipArchive archive;
    archive.Open(Fixture(fixture));
    ASSERT_EQ(archive.GetEntryCount(), static_cast<int>(expected.size()));
    for (std::size_t i = 0; i < expected.size(); ++i) {
        CZipFileHeader header;
        ASSERT_TRUE(archive.GetEntryInfo(header, static_cast<std::uint32_t>(i)));
        ASSERT_EQ(header.GetName(), expected[i].first);
        EXPECT_EQ(ziptest::Extract(archive, static_cast<std::uint32_t>(i), dir.path()), expected[i].second)
            << expected[i].first;
        EXPECT_EQ(fs::exists(dir.Native(expected[i].first)), made[i]) << expected[i].first;
    }
    archive.Close(CZipArchive::afterException);
}

TEST(ZipDamage, LocalHeadersThatDisagreeFailTheirEntryOnly) {
    ExpectOutcomes("local-damage.zip",
                   {{"signature.txt", 101},
                    {"flags.txt", 101},
                    {"method.txt", 101},
                    {"namelen.txt", 101},
                    {"crc.txt", 101},
                    {"samelen.txt", 1},  // a different local name of the same length passes
                    {"ok.txt", 1},
                    {"volume.txt", 101}},  // starts on a volume this archive does not have
                   {false, false, false, false, false, true, true, false});
}

TEST(ZipDamage, SizesNoDataCanHaveFailBeforeAnyOutput) {
    ExpectOutcomes("size-damage.zip",
                   {{"stored-short.txt", 101}, {"stored-long.txt", 101}, {"crypt-short.txt", 101}, {"ok.txt", 1}},
                   {false, false, false, true});
}

TEST(ZipDamage, Zip64ValuesThatCannotBeFailTheirEntryOnly) {
    // A local Zip64 block without the compressed size; a local header beyond
    // the file (an index is the place of the entry's data: it comes last).
    ExpectOutcomes("zip64-entry-damage.zip",
                   {{"local-short.txt", 101}, {"good1.txt", 1}, {"good2.txt", 1}, {"offset-beyond.txt", 101}},
                   {false, true, true, false});
}

TEST(ZipDamage, UnsupportedMethodFailsBeforeAnyFileIsMade) {
    ExpectOutcomes("method12.zip", {{"damaged.bin", 101}, {"later.txt", 1}, {"laterdir\\", 1}}, {false, true, true});
}

TEST(ZipDamage, DataShorterThanDeclaredFailsWithoutException) {
    ExpectOutcomes("short-output.zip", {{"damaged.bin", 0}, {"later.txt", 1}, {"laterdir\\", 1}}, {true, true, true});
}

TEST(ZipDamage, DataDescriptorWithAndWithoutSignature) {
    for (const char* fixture : {"descriptor-signature.zip", "descriptor-plain.zip"}) {
        ASSERT_FALSE(FixtureNative(fixture).empty()) << fixture;
        test_util::ScratchDir dir;
        CZipArchive archive;
        archive.Open(Fixture(fixture));
        CZipFileHeader header;
        ASSERT_TRUE(archive.GetEntryInfo(header, 0));
        EXPECT_TRUE(header.IsDataDescriptor()) << fixture;
        EXPECT_EQ(ziptest::Extract(archive, 0, dir.path()), 1) << fixture;
        EXPECT_EQ(fs::file_size(dir.Native("desc.txt")), header.m_uUncomprSize) << fixture;
    }
}

// After an error in an entry's data the entry stays open: later files are
// passed over (folders are still made), a normal close checks it again, and
// a close after the exception discards it.
TEST(ZipDamage, DataErrorsLeaveTheEntryOpenUntilClose) {
    const struct {
        const char* fixture;
        int code;
        int closeCode;  // what Close(0) throws afterwards
    } cases[] = {
        {"bad-crc.zip", 102, 102},
        {"truncated.zip", 506, 0},          // the output stopped short: nothing to check
        {"bad-data.zip", 504, 0},
        {"surplus-output.zip", 101, 102},   // the stream holds more than the header declares
        {"descriptor-mismatch.zip", 101, 101},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fixture);
        ASSERT_FALSE(FixtureNative(c.fixture).empty());
        test_util::ScratchDir dir;
        CZipArchive archive;
        archive.Open(Fixture(c.fixture));
        const int first = c.fixture == std::string("descriptor-mismatch.zip") ? ziptest::IndexOf(archive, "desc.txt")
                                                                              : ziptest::IndexOf(archive, "damaged.bin");
        ASSERT_EQ(first, 0);
        const CZipException e = ziptest::Caught([&] { archive.ExtractEntry(0, dir.path()); });
        EXPECT_EQ(e.m_nCode, c.code);
        EXPECT_EQ(e.m_strFileName, Fixture(c.fixture));
        const int later = ziptest::IndexOf(archive, "later.txt");
        ASSERT_GT(later, 0);
        EXPECT_EQ(ziptest::Extract(archive, static_cast<std::uint32_t>(later), dir.path()), 0);
        EXPECT_FALSE(fs::exists(dir.Native("later.txt")));
        const int folder = ziptest::IndexOf(archive, "laterdir\\");
        if (folder > 0) {
            EXPECT_EQ(ziptest::Extract(archive, static_cast<std::uint32_t>(folder), dir.path()), 1);
            EXPECT_TRUE(fs::is_directory(dir.Native("laterdir")));
        }
        EXPECT_FALSE(archive.SetArchivePassword("x")) << "an entry is still open";
        EXPECT_EQ(ziptest::Caught([&] { archive.Close(); }).m_nCode, c.closeCode);
        if (c.closeCode != 0) {
            EXPECT_FALSE(archive.IsClosed());
            archive.Close(CZipArchive::afterException);
        }
        EXPECT_TRUE(archive.IsClosed());
        EXPECT_TRUE(archive.IsClosed(false));

        // Open again, the archive reads as before.
        archive.Open(Fixture(c.fixture));
        EXPECT_EQ(ziptest::Extract(archive, static_cast<std::uint32_t>(later), dir.path()), 1);
        EXPECT_TRUE(fs::exists(dir.Native("later.txt")));
    }
}

// The outcome of each entry says what its failure means for the entries
// after it, and keeps the error it caught.
TEST(ZipDamage, OutcomesTellWhatAFailureMeansForLaterEntries) {
    using O = ZipEntryOutcome;
    const struct {
        const char* fixture;
        bool replaceExisting;
        std::vector<std::pair<O, int>> outcomes;  // with the caught error's code
    } cases[] = {
        // A data error blocks the later file; the folder still comes out.
        {"bad-crc.zip", true, {{O::kBlocksLater, 102}, {O::kFailed, 0}, {O::kExtracted, 0}}},
        {"truncated.zip", true, {{O::kBlocksLater, 506}, {O::kFailed, 0}, {O::kExtracted, 0}}},
        {"descriptor-mismatch.zip", true, {{O::kBlocksLater, 101}, {O::kFailed, 0}}},
        // Failures before any data, or a short output, leave the later entries be.
        {"method12.zip", true, {{O::kFailed, 101}, {O::kExtracted, 0}, {O::kExtracted, 0}}},
        {"short-output.zip", true, {{O::kFailed, 0}, {O::kExtracted, 0}, {O::kExtracted, 0}}},
        {"size-damage.zip", true, {{O::kFailed, 101}, {O::kFailed, 101}, {O::kFailed, 101}, {O::kExtracted, 0}}},
        // A name taken by an earlier entry: replaced, or declined with nothing written.
        // Sizes the file cannot hold: the data ends early.
        {"zip64-sizes-beyond.zip", true, {{O::kBlocksLater, 101}, {O::kFailed, 0}}},
        {"meeting-names.zip", true,
         {{O::kExtracted, 0}, {O::kExtracted, 0}, {O::kExtracted, 0}, {O::kExtracted, 0}, {O::kExtracted, 0},
          {O::kExtracted, 0}, {O::kBlocksLater, CZipCaughtError::kFileError}, {O::kFailed, 0}}},
        {"meeting-names.zip", false,
         {{O::kExtracted, 0}, {O::kExtracted, 0}, {O::kNameTaken, 0}, {O::kExtracted, 0}, {O::kExtracted, 0},
          {O::kExtracted, 0}, {O::kBlocksLater, CZipCaughtError::kFileError}, {O::kFailed, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fixture) + (c.replaceExisting ? "" : ", names not replaced"));
        REQUIRE_FIXTURE(c.fixture);
        test_util::ScratchDir dir;
        CZipArchive archive;
        archive.m_bReplaceExisting = c.replaceExisting;
        archive.Open(Fixture(c.fixture));
        std::vector<std::pair<O, int>> got;
        for (int i = 0; i < archive.GetEntryCount(); ++i) {
            CZipCaughtError error;
            const O outcome = archive.ExtractEntryOutcome(static_cast<std::uint32_t>(i), dir.path(), &error);
            got.emplace_back(outcome, error.m_nCode);
        }
        EXPECT_EQ(got, c.outcomes);
        archive.Close(CZipArchive::afterException);
    }
}

}  // namespace
