// The owned buffer and the storage's exact reads.
#include <gtest/gtest.h>

#include <cstring>

#include "fixtures.h"
#include "platform/system.h"
#include "test_util/scratch.h"
#include "zip/autobuffer.h"
#include "zip/storage.h"

namespace {

TEST(ZipAutoBuffer, AllocateKeepsOrReplacesBytes) {
    CZipAutoBuffer buffer;
    EXPECT_EQ(buffer.data(), nullptr);
    buffer.Allocate(4, true);
    ASSERT_EQ(buffer.size(), 4u);
    EXPECT_EQ(std::memcmp(buffer.data(), "\0\0\0\0", 4), 0);
    std::memcpy(buffer.data(), "abcd", 4);
    buffer.Allocate(4);  // same size: the bytes stay
    EXPECT_EQ(std::memcmp(buffer.data(), "abcd", 4), 0);
    buffer.Allocate(4, true);  // same size, zero asked: cleared
    EXPECT_EQ(std::memcmp(buffer.data(), "\0\0\0\0", 4), 0);
    buffer.Allocate(0);
    EXPECT_EQ(buffer.size(), 0u);
    EXPECT_EQ(buffer.data(), nullptr);
}

TEST(ZipAutoBuffer, CopiesAreDeep) {
    CZipAutoBuffer source(3);
    std::memcpy(source.data(), "xyz", 3);
    CZipAutoBuffer copy(source);
    CZipAutoBuffer assigned;
    assigned = source;
    source.data()[0] = 'q';
    EXPECT_EQ(std::memcmp(copy.data(), "xyz", 3), 0);
    EXPECT_EQ(std::memcmp(assigned.data(), "xyz", 3), 0);
    CZipAutoBuffer& self = assigned;
    assigned = self;
    EXPECT_EQ(std::memcmp(assigned.data(), "xyz", 3), 0);
    CZipAutoBuffer empty;
    assigned = empty;
    EXPECT_EQ(assigned.size(), 0u);
    EXPECT_EQ(assigned.data(), nullptr);
}

TEST(ZipStorage, MissingFileThrowsTheFileErrorAndStaysClosed) {
    test_util::ScratchDir dir;
    CZipStorage storage;
    const std::string missing = dir.Path("missing.zip");
    try {
        storage.Open(missing, CZipStorage::kOpenReadOnly, 0);
        ADD_FAILURE() << "opened a missing file";
    } catch (const platform::FileException& e) {
        EXPECT_EQ(e.osError(), platform::kErrorFileNotFound);
        EXPECT_EQ(e.fileName(), missing);
    }
    EXPECT_EQ(storage.GetCurrentVolume(), -1);
    EXPECT_EQ(storage.m_pActiveFile, nullptr);
}

TEST(ZipStorage, ReadsExactlyOrThrowsNamingTheArchive) {
    test_util::ScratchDir dir;
    const std::string path = dir.Write("data.bin", "0123456789");
    CZipStorage storage;
    storage.Open(path, CZipStorage::kOpenReadOnly, 0);
    storage.UpdateVolumeMode(0);
    char buffer[16] = {};
    EXPECT_EQ(storage.Read(buffer, 0, true), 0u);
    EXPECT_EQ(storage.m_pActiveFile->GetPosition(), 0u) << "a zero count does not touch the file";
    EXPECT_EQ(storage.Read(buffer, 4, true), 4u);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    // 6 bytes are left: asking for 8 fails although some arrived.
    const CZipException e = ziptest::Caught([&] { storage.Read(buffer, 8, false); });
    EXPECT_EQ(e.m_nCode, 101);
    EXPECT_EQ(e.m_strFileName, path);
    EXPECT_EQ(storage.Close(false), path);
    EXPECT_EQ(storage.GetCurrentVolume(), -1);
    EXPECT_EQ(storage.m_pActiveFile, nullptr);
}

TEST(ZipStorage, OnlyVolumeZeroExists) {
    test_util::ScratchDir dir;
    const std::string path = dir.Write("data.bin", "0123456789");
    CZipStorage storage;
    storage.Open(path, CZipStorage::kOpenReadOnly, 0);
    EXPECT_EQ(ziptest::Caught([&] { storage.UpdateVolumeMode(2); }).m_nCode, 101);
    storage.UpdateVolumeMode(0);
    EXPECT_EQ(storage.GetVolumeMode(), CZipStorage::kSingleVolume);
    EXPECT_EQ(ziptest::Caught([&] { storage.ChangeVolume(0); }).m_nCode, 0);
    EXPECT_EQ(ziptest::Caught([&] { storage.ChangeVolume(1); }).m_nCode, 101);
    EXPECT_EQ(ziptest::Caught([&] { CZipStorage().Open(path, CZipStorage::kCreate, 0); }).m_nCode, 112);
}

}  // namespace
