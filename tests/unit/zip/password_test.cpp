// Traditional decryption: the password, the header check, the data.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "fixtures.h"
#include "test_util/scratch.h"

namespace {

namespace fs = std::filesystem;
using ziptest::Fixture;
using ziptest::FixtureNative;

const char* const kEncryptedFixtures[] = {"infozip-crypt.zip", "infozip-crypt-stored.zip", "infozip-stream-crypt.zip",
                                          "7z-crypt.zip"};

TEST(ZipPassword, MissingPasswordFailsEveryEncryptedEntryBeforeOutput) {
    for (const char* fixture : kEncryptedFixtures) {
        if (FixtureNative(fixture).empty()) continue;
        SCOPED_TRACE(fixture);
        test_util::ScratchDir dir;
        CZipArchive archive;
        archive.Open(Fixture(fixture));
        int encrypted = 0;
        for (int i = 0; i < archive.GetEntryCount(); ++i) {
            CZipFileHeader header;
            ASSERT_TRUE(archive.GetEntryInfo(header, static_cast<std::uint32_t>(i)));
            const int outcome = ziptest::Extract(archive, static_cast<std::uint32_t>(i), dir.path());
            if (header.IsEncrypted()) {
                ++encrypted;
                EXPECT_EQ(outcome, 110) << header.GetName();
                EXPECT_FALSE(fs::exists(dir.Native(header.GetName()))) << header.GetName();
            } else {
                EXPECT_EQ(outcome, 1) << header.GetName();
            }
        }
        EXPECT_GT(encrypted, 5);
    }
}

TEST(ZipPassword, WrongPasswordNeverYieldsTheData) {
    for (const char* fixture : kEncryptedFixtures) {
        if (FixtureNative(fixture).empty()) continue;
        SCOPED_TRACE(fixture);
        std::multiset<int> outcomes;
        CZipArchive probe;
        probe.Open(Fixture(fixture));
        const int count = probe.GetEntryCount();
        for (int i = 0; i < count; ++i) {
            CZipFileHeader header;
            ASSERT_TRUE(probe.GetEntryInfo(header, static_cast<std::uint32_t>(i)));
            // An empty entry has no data to give away: a wrong password that
            // passes the one-byte check (1 in 256, the fixtures are made
            // afresh each build) rightly extracts the empty file.
            if (!header.IsEncrypted() || header.m_uUncomprSize == 0) continue;
            // A fresh archive per entry: a wrong password that passes the
            // one-byte check ends in a data error, which keeps the entry open.
            test_util::ScratchDir dir;
            CZipArchive archive;
            archive.Open(Fixture(fixture));
            ASSERT_TRUE(archive.SetArchivePassword("wrong password"));
            const int outcome = ziptest::Extract(archive, static_cast<std::uint32_t>(i), dir.path());
            outcomes.insert(outcome);
            EXPECT_NE(outcome, 1) << header.GetName();
            if (outcome == 110) {
                EXPECT_FALSE(fs::exists(dir.Native(header.GetName()))) << header.GetName();
            }
            archive.Close(CZipArchive::afterException);
        }
        // One check byte in 256 passes by chance; not for every entry.
        EXPECT_GT(outcomes.count(110), 0u);
        for (int outcome : outcomes) EXPECT_TRUE(outcome == 110 || outcome == 102 || outcome >= 500) << outcome;
    }
}

// The header check compares with the high byte of the time when sizes
// follow in a data descriptor (Info-ZIP), else with that of the CRC (7-Zip).
TEST(ZipPassword, CheckByteComesFromTimeOrCrc) {
    const struct {
        const char* fixture;
        bool descriptor;
    } cases[] = {{"infozip-crypt.zip", true}, {"infozip-stream-crypt.zip", true}, {"7z-crypt.zip", false}};
    for (const auto& c : cases) {
        if (FixtureNative(c.fixture).empty()) continue;
        SCOPED_TRACE(c.fixture);
        test_util::ScratchDir dir;
        CZipArchive archive;
        archive.Open(Fixture(c.fixture));
        int telling = 0;  // entries where the two bytes differ, so only the right one passes
        for (int i = 0; i < archive.GetEntryCount(); ++i) {
            CZipFileHeader header;
            ASSERT_TRUE(archive.GetEntryInfo(header, static_cast<std::uint32_t>(i)));
            if (!header.IsEncrypted() || (header.m_uCrc32 >> 24) == (header.m_uModTime >> 8u)) continue;
            EXPECT_EQ(header.IsDataDescriptor(), c.descriptor) << header.GetName();
            ++telling;
            ASSERT_TRUE(archive.SetArchivePassword(ziptest::kPassword));
            EXPECT_EQ(ziptest::Extract(archive, static_cast<std::uint32_t>(i), dir.path()), 1) << header.GetName();
        }
        EXPECT_GT(telling, 0);
    }
}

TEST(ZipPassword, StoredEncryptedEntryLosesExactlyTheHeader) {
    REQUIRE_FIXTURE("infozip-crypt-stored.zip");
    test_util::ScratchDir dir;
    CZipArchive archive;
    archive.Open(Fixture("infozip-crypt-stored.zip"));
    ASSERT_TRUE(archive.SetArchivePassword(ziptest::kPassword));
    const int index = ziptest::IndexOf(archive, "bin\\random.bin");
    ASSERT_GE(index, 0);
    CZipFileHeader header;
    ASSERT_TRUE(archive.GetEntryInfo(header, static_cast<std::uint32_t>(index)));
    EXPECT_EQ(header.m_uMethod, 0);
    EXPECT_EQ(header.m_uComprSize, header.m_uUncomprSize + 12);
    EXPECT_EQ(ziptest::Extract(archive, static_cast<std::uint32_t>(index), dir.path()), 1);
    EXPECT_EQ(dir.Read("bin\\random.bin"), ziptest::ReadNative(FixtureNative("src/bin/random.bin")));
}

TEST(ZipPassword, SettingRules) {
    REQUIRE_FIXTURE("infozip-crypt.zip");
    test_util::ScratchDir dir;
    CZipArchive archive;
    EXPECT_TRUE(archive.SetArchivePassword(ziptest::kPassword));
    archive.Open(Fixture("infozip-crypt.zip"));
    const int hello = ziptest::IndexOf(archive, "hello.txt");
    const int folder = ziptest::IndexOf(archive, "emptydir\\");
    ASSERT_GE(hello, 0);
    ASSERT_GE(folder, 0);
    const auto helloIndex = static_cast<std::uint32_t>(hello);
    EXPECT_EQ(ziptest::Extract(archive, helloIndex, dir.path()), 110) << "a password set before Open is gone";

    EXPECT_TRUE(archive.SetArchivePassword(ziptest::kPassword));
    EXPECT_FALSE(archive.SetArchivePassword("s\xE9" "cret")) << "bytes of 0x80 and above";
    EXPECT_EQ(ziptest::Extract(archive, helloIndex, dir.path()), 110) << "the refused password cleared the old one";

    EXPECT_TRUE(archive.SetArchivePassword(ziptest::kPassword));
    EXPECT_TRUE(archive.SetArchivePassword(nullptr));
    EXPECT_EQ(ziptest::Extract(archive, helloIndex, dir.path()), 110) << "null clears";
    EXPECT_TRUE(archive.SetArchivePassword(""));
    EXPECT_EQ(ziptest::Extract(archive, helloIndex, dir.path()), 110) << "empty is no password";

    // Refused while an entry is open, and the password in force stays.
    EXPECT_TRUE(archive.SetArchivePassword(ziptest::kPassword));
    ASSERT_TRUE(archive.OpenEntry(helloIndex));
    EXPECT_FALSE(archive.SetArchivePassword("other"));
    EXPECT_FALSE(archive.SetArchivePassword(nullptr));
    char buffer[64];
    EXPECT_EQ(archive.ReadEntry(buffer, sizeof buffer), 13u);
    EXPECT_EQ(archive.CloseEntry(), 1);
    EXPECT_EQ(ziptest::Extract(archive, helloIndex, dir.path()), 1);
    EXPECT_EQ(dir.Read("hello.txt"), "hello, world\n");
}

}  // namespace
