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
        EXPECT_EQ(ziptest::Extract(archive, static_cast<std::uint16_t>(hello), out), 1) << prefix;
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
    EXPECT_EQ(ziptest::Extract(archive, static_cast<std::uint16_t>(hello), dir.path()), 1);
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
    for (std::uint16_t i = 0; i < 3; ++i) {
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
