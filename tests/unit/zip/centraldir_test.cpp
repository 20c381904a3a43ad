// Finding and reading the central directory.
#include <gtest/gtest.h>

#include "fixtures.h"
#include "platform/system.h"
#include "test_util/scratch.h"

namespace {

using ziptest::Caught;
using ziptest::Fixture;
using ziptest::FixtureNative;

TEST(ZipCentralDir, BytesBeforeTheArchiveShiftEveryOffset) {
    REQUIRE_FIXTURE("infozip-deflate.zip");
    CZipArchive plain;
    plain.Open(Fixture("infozip-deflate.zip"));
    const int count = plain.GetEntryCount();
    ASSERT_GT(count, 5);
    test_util::ScratchDir dir;
    for (std::size_t prefix : {0u, 1u, 4096u, 32771u, 100000u}) {
        std::string stub = "MZ" + std::string(prefix, '\0');
        stub.resize(prefix);
        const std::string path = dir.Path("prefixed.exe");
        ziptest::WriteWithPrefix(dir.Native("prefixed.exe"), stub, FixtureNative("infozip-deflate.zip"));
        CZipArchive archive;
        archive.Open(path);
        EXPECT_EQ(archive.GetEntryCount(), count) << prefix;
        EXPECT_EQ(archive.GetCentralDir().m_nBytesBeforeArchive, prefix);
        const int hello = ziptest::IndexOf(archive, "hello.txt");
        ASSERT_GE(hello, 0);
        const std::string out = dir.Path("out" + std::to_string(prefix));
        EXPECT_EQ(ziptest::Extract(archive, static_cast<std::uint32_t>(hello), out), 1) << prefix;
        EXPECT_EQ(dir.Read("out" + std::to_string(prefix) + "\\hello.txt"), "hello, world\n");
    }
}

TEST(ZipCentralDir, OffsetsCountedFromTheFileStartGiveNoBytesBefore) {
    REQUIRE_FIXTURE("infozip-adjusted.exe");
    test_util::ScratchDir dir;
    CZipArchive archive;
    archive.Open(Fixture("infozip-adjusted.exe"));
    EXPECT_EQ(archive.GetCentralDir().m_nBytesBeforeArchive, 0u);
    const int hello = ziptest::IndexOf(archive, "hello.txt");
    ASSERT_GE(hello, 0);
    EXPECT_EQ(ziptest::Extract(archive, static_cast<std::uint32_t>(hello), dir.path()), 1);
    EXPECT_EQ(dir.Read("hello.txt"), "hello, world\n");
}

TEST(ZipCentralDir, EndRecordSearch) {
    const struct {
        const char* fixture;
        int code;      // 0: opens
        int entries;   // when it opens
        bool open;     // whether the archive counts as open after a failure
    } cases[] = {
        {"window-0.zip", 0, 1, true},  // the signature starts the last window
        {"window-1.zip", 0, 1, true},  // ... or straddles its start
        {"window-2.zip", 0, 1, true},
        {"window-3.zip", 0, 1, true},
        {"window-4.zip", 0, 1, true},  // ... or lies wholly in the window before
        {"comment-max.zip", 0, 1, true},
        {"comment-end-record.zip", 0, 0, true},  // the signature nearest the end wins
        {"empty.zip", 0, 0, true},
        {"comment-short-record.zip", 101, 0, false},
        {"end-volume.zip", 101, 0, false},
        {"end-past-record.zip", 101, 0, true},
        {"end-size-zero.zip", 101, 0, true},
        {"end-entries-zero.zip", 101, 0, true},
        {"central-signature.zip", 101, 0, true},
        {"duplicate-offset.zip", 101, 0, true},
        // Zip64: the end record a locator finds, or nothing the archive can stand on.
        {"zip64-python.zip", 0, 13, true},
        {"zip64-infozip.zip", 0, 13, true},
        {"zip64-locator-beyond.zip", 0, 1, true},     // the record right before the locator, as other readers take it
        {"zip64-locator-elsewhere.zip", 0, 1, true},
        {"zip64-locator-nowhere.zip", 101, 0, false},  // no Zip64 end record where it points nor before it
        {"zip64-directory-beyond.zip", 101, 0, false},
        {"zip64-entries-beyond.zip", 101, 0, false},   // more headers than the directory can hold
        {"zip64-central-short.zip", 101, 0, true},     // a Zip64 block without the sizes it must hold
    };
    for (const auto& c : cases) {
        ASSERT_FALSE(FixtureNative(c.fixture).empty()) << c.fixture;
        CZipArchive archive;
        const CZipException e = Caught([&] { archive.Open(Fixture(c.fixture)); });
        EXPECT_EQ(e.m_nCode, c.code) << c.fixture;
        if (c.code == 0) {
            EXPECT_EQ(archive.GetEntryCount(), c.entries) << c.fixture;
        } else {
            EXPECT_EQ(e.m_strFileName, Fixture(c.fixture));
            EXPECT_EQ(archive.IsClosed(), !c.open) << c.fixture;
        }
        archive.Close(CZipArchive::afterException);
        EXPECT_TRUE(archive.IsClosed()) << c.fixture;
        EXPECT_TRUE(archive.IsClosed(false)) << c.fixture;
    }
}

// The Zip64 end record gives the directory, wherever the archive starts in
// its file, and the Zip64 blocks give sizes and offsets beyond 4 GiB.
TEST(ZipCentralDir, Zip64RecordsAndTheBytesBeforeTheArchive) {
    const struct {
        const char* fixture;
        bool zip64;
        std::uint64_t bytesBefore;
        std::uint64_t firstOffset;  // of the first entry's local header, from the start of the archive
    } cases[] = {
        {"zip64-python.zip", true, 0, 0},
        {"zip64-python-prefixed.exe", true, 7002, 0},  // a stub before the archive
        {"zip64-beyond-4gib.zip", true, 0, 9ull << 29},  // offsets from the start of a sparse file
        {"infozip-adjusted.exe", false, 0, 4096},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fixture);
        REQUIRE_FIXTURE(c.fixture);
        CZipArchive archive;
        archive.Open(Fixture(c.fixture));
        EXPECT_EQ(archive.GetCentralDir().m_bZip64, c.zip64);
        EXPECT_EQ(archive.GetCentralDir().m_nBytesBeforeArchive, c.bytesBefore);
        CZipFileHeader header;
        ASSERT_TRUE(archive.GetEntryInfo(header, 0));
        EXPECT_EQ(header.m_uOffset, c.firstOffset);
        archive.Close();
    }
}

TEST(ZipCentralDir, NoEndRecord) {
    REQUIRE_FIXTURE("comment-max.zip");
    test_util::ScratchDir dir;
    // One byte more after the longest comment puts the signature out of reach.
    dir.Write("far.zip", ziptest::ReadNative(FixtureNative("comment-max.zip")) + "x");
    const struct {
        const char* name;
        std::string content;
    } cases[] = {
        {"empty.bin", ""},
        {"short.bin", "PK"},
        {"text.txt", std::string(100000, 'a')},
    };
    for (const auto& c : cases) dir.Write(c.name, c.content);
    for (const char* name : {"empty.bin", "short.bin", "text.txt", "far.zip"}) {
        CZipArchive archive;
        const CZipException e = Caught([&] { archive.Open(dir.Path(name)); });
        EXPECT_EQ(e.m_nCode, 116) << name;
        EXPECT_TRUE(archive.IsClosed()) << name;
        EXPECT_FALSE(archive.IsClosed(false)) << "the file stays open until closed: " << name;
        archive.Close();
        EXPECT_FALSE(archive.IsClosed(false)) << "a normal close passes over an archive never read";
        archive.Close(CZipArchive::afterException);
        EXPECT_TRUE(archive.IsClosed(false)) << name;
    }
}

TEST(ZipCentralDir, IndicesFollowTheDataNotTheDirectory) {
    REQUIRE_FIXTURE("reordered.zip");
    CZipArchive archive;
    archive.Open(Fixture("reordered.zip"));
    const char* expected[] = {"first.txt", "second.txt", "third.txt"};
    ASSERT_EQ(archive.GetEntryCount(), 3);
    std::uint32_t lastOffset = 0;
    for (std::uint32_t i = 0; i < 3; ++i) {
        CZipFileHeader header;
        ASSERT_TRUE(archive.GetEntryInfo(header, i));
        EXPECT_EQ(header.GetName(), expected[i]);
        if (i > 0) {
            EXPECT_GT(header.m_uOffset, lastOffset);
        }
        lastOffset = header.m_uOffset;
    }
}

TEST(ZipCentralDir, NamesInThisPlatformsForm) {
    REQUIRE_FIXTURE("names.zip");
    CZipArchive archive;
    archive.Open(Fixture("names.zip"));
    CZipFileHeader header;
    ASSERT_TRUE(archive.GetEntryInfo(header, 0));
    EXPECT_EQ(header.GetName(), "dir\\sub\\file.txt");
    ASSERT_TRUE(archive.GetEntryInfo(header, 1));
    EXPECT_EQ(header.GetName(), platform::OemToUtf8("dir\\\x81" "ber.txt")) << "MS-DOS names come in the OEM code page";
}

TEST(ZipCentralDir, EntryInfoOnlyForOpenArchivesAndValidIndices) {
    REQUIRE_FIXTURE("reordered.zip");
    CZipArchive archive;
    CZipFileHeader header;
    header.m_uCrc32 = 0xC0FFEE;
    EXPECT_FALSE(archive.GetEntryInfo(header, 0)) << "closed";
    archive.Open(Fixture("reordered.zip"));
    EXPECT_FALSE(archive.GetEntryInfo(header, 3)) << "index equal to the count";
    EXPECT_EQ(header.m_uCrc32, 0xC0FFEEu);
    EXPECT_TRUE(archive.GetEntryInfo(header, 2));

    // Opening again while open does nothing; a password set before goes.
    REQUIRE_FIXTURE("empty.zip");
    archive.Open(Fixture("empty.zip"));
    EXPECT_EQ(archive.GetEntryCount(), 3);
    archive.Close();
    EXPECT_FALSE(archive.GetEntryInfo(header, 0)) << "closed again";
    EXPECT_EQ(archive.GetEntryCount(), 0);
}

}  // namespace
