// File records: time stamps, path shortening, filling and ordered insertion.
#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "cleanup/compactpath.h"
#include "cleanup/fileinfo.h"
#include "cleanup/fileinfoarray.h"
#include "platform/strings.h"
#include "platform/system.h"
#include "test_util/scratch.h"

namespace {

constexpr std::uint64_t FileTimeOfUnix(std::int64_t seconds) {
    return static_cast<std::uint64_t>(seconds * 10000000 + 116444736000000000ll);
}

TEST(ConvertFileTime, GivesUnixSecondsForDatesBetween1970And2037) {
    for (std::int64_t seconds : {std::int64_t{0}, std::int64_t{86400}, std::int64_t{1592224496} /* 2020-06-15 12:34:56 */, std::int64_t{2145916800 - 86400} /* 2037-12-31 */}) {
        EXPECT_EQ(ConvertFileTime(FileTimeOfUnix(seconds)), seconds) << seconds;
    }
}

TEST(ConvertFileTime, DatesAfter2037BecomeTheSameDayIn2037) {
    const std::int64_t seconds = 2539080000ll;  // 2050-06-15 12:00:00 UTC
    std::time_t at = static_cast<std::time_t>(seconds);
    std::tm local = *std::localtime(&at);
    local.tm_year = 2037 - 1900;
    local.tm_isdst = -1;
    const std::int64_t expected = static_cast<std::int64_t>(std::mktime(&local));
    EXPECT_EQ(ConvertFileTime(FileTimeOfUnix(seconds)), expected);
}

TEST(ConvertFileTime, UnconvertibleStampsGiveTheCurrentTime) {
    // Before 1970 (in local time) the conversion refuses; so does a stamp the system cannot read.
    for (std::uint64_t stamp : {FileTimeOfUnix(-157766400) /* 1965 */, std::uint64_t{0}, std::uint64_t{1} << 63}) {
        const std::int64_t before = static_cast<std::int64_t>(std::time(nullptr));
        const std::int64_t result = ConvertFileTime(stamp);
        const std::int64_t after = static_cast<std::int64_t>(std::time(nullptr));
        EXPECT_GE(result, before) << stamp;
        EXPECT_LE(result, after) << stamp;
    }
}

struct CompactCase {
    const char* path;
    int maxLength;
    const char* expected;
};

class CompactPathTest : public ::testing::TestWithParam<CompactCase> {};

TEST_P(CompactPathTest, KeepsDriveOrServerAndName) {
    const CompactCase& c = GetParam();
    EXPECT_EQ(CompactPathForDisplay(c.path, c.maxLength), c.expected) << c.path << " / " << c.maxLength;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CompactPathTest,
    ::testing::Values(
        CompactCase{"C:\\Program Files\\Sub\\Deep\\file.txt", 34, "C:\\Program Files\\Sub\\Deep\\file.txt"},
        CompactCase{"C:\\Program Files\\Sub\\Deep\\file.txt", 33, "C:\\Program Files\\Sub\\...\\file.txt"},
        CompactCase{"C:\\Program Files\\Sub\\Deep\\file.txt", 30, "C:\\Program Files\\...\\file.txt"},
        CompactCase{"C:\\Program Files\\Sub\\Deep\\file.txt", 20, "C:\\...\\file.txt"},
        // The shortest form even when it does not fit.
        CompactCase{"C:\\Program Files\\Sub\\Deep\\file.txt", 5, "C:\\...\\file.txt"},
        CompactCase{"\\\\server\\share\\dir\\sub\\file.txt", 31, "\\\\server\\share\\dir\\sub\\file.txt"},
        CompactCase{"\\\\server\\share\\dir\\sub\\file.txt", 30, "\\\\server\\share\\...\\file.txt"},
        CompactCase{"\\\\server\\share\\dir\\sub\\file.txt", 25, "\\\\server\\...\\file.txt"},
        // Nothing to drop: unchanged.
        CompactCase{"\\\\averyveryverylongservername", 10, "\\\\averyveryverylongservername"},
        CompactCase{"C:\\averyveryverylongfilename.txt", 10, "C:\\averyveryverylongfilename.txt"}));

TEST(CompactPath, NeverSplitsADoubleByteCharacter) {
    ASSERT_TRUE(platform::SetLeadByteCodePage(932));
    // The name's first character ends in the byte of '\'.
    const std::string name = "\x95\x5C.txt";
    const std::string result = CompactPathForDisplay("C:\\folder\\sub\\" + name, 12);
    platform::SetLeadByteCodePage(0);
    EXPECT_EQ(result, "C:\\...\\" + name);
}

TEST(CFileInfo, StartsEmptyAndIsFilledFromAPath) {
    CFileInfo empty;
    EXPECT_EQ(empty.m_strPath, "");
    EXPECT_EQ(empty.m_dwAttributes, 0xFFFFFFFFu);
    EXPECT_EQ(empty.m_nSize, 0u);
    EXPECT_EQ(empty.m_timeCreation, 0);
    EXPECT_EQ(empty.m_timeLastAccess, 0);
    EXPECT_EQ(empty.m_timeLastWrite, 0);

    test_util::ScratchDir dir;
    const std::string path = dir.Write("sub\\data.bin", "123");
    ASSERT_TRUE(platform::SetFileTimes(path, 0, FileTimeOfUnix(1500000000), FileTimeOfUnix(1600000000)));
    CFileInfo record;
    record.FillFromPath(path);
    EXPECT_EQ(record.m_strPath, path);
    EXPECT_EQ(record.m_dwAttributes, platform::kAttrArchive);
    EXPECT_EQ(record.m_nSize, 3u);
    EXPECT_EQ(record.m_timeLastAccess, 1500000000);
    EXPECT_EQ(record.m_timeLastWrite, 1600000000);

    // Nothing found: the record stays as it was.
    record.FillFromPath(dir.Path("sub\\missing.bin"));
    EXPECT_EQ(record.m_strPath, path);
}

struct InsertCase {
    int order;
    std::vector<std::pair<const char*, std::uint64_t>> records;  // path, size, in insertion order
    std::vector<std::size_t> indexes;                              // what each insertion returned
    std::vector<const char*> result;                               // paths in the end
};

class InsertRecordTest : public ::testing::TestWithParam<InsertCase> {};

TEST_P(InsertRecordTest, PlacesRecordsAsTheOrderCodeSays) {
    const InsertCase& c = GetParam();
    CFileInfoArray array;
    std::vector<std::size_t> indexes;
    for (const auto& [path, size] : c.records) {
        CFileInfo record;
        record.m_strPath = path;
        record.m_nSize = size;
        indexes.push_back(array.InsertRecord(record, c.order));
    }
    EXPECT_EQ(indexes, c.indexes);
    std::vector<const char*> result;
    for (std::size_t i = 0; i < array.GetSize(); ++i) result.push_back(array[i].m_strPath.c_str());
    ASSERT_EQ(result.size(), c.result.size());
    for (std::size_t i = 0; i < result.size(); ++i) EXPECT_STREQ(result[i], c.result[i]) << i;
}

constexpr std::uint64_t kGiB = 1ull << 30;

INSTANTIATE_TEST_SUITE_P(
    Cases, InsertRecordTest,
    ::testing::Values(
        // Sizes are full 64-bit values: 5 GiB sorts after 4 GiB; equals go in front.
        InsertCase{CFileInfoArray::ORDER_SIZE_ASCENDING,
                   {{"five", 5 * kGiB}, {"four", 4 * kGiB}, {"one", 1}, {"four again", 4 * kGiB}},
                   {0, 0, 0, 1},
                   {"one", "four again", "four", "five"}},
        InsertCase{CFileInfoArray::ORDER_SIZE_DESCENDING,
                   {{"one", 1}, {"five", 5 * kGiB}, {"three", 3}, {"three again", 3}},
                   {0, 0, 1, 1},
                   {"five", "three again", "three", "one"}},
        // Paths compare byte by byte: upper case before lower case.
        InsertCase{CFileInfoArray::ORDER_PATH_ASCENDING,
                   {{"b", 0}, {"a", 0}, {"c", 0}, {"B", 0}, {"a", 1}},
                   {0, 0, 2, 0, 1},
                   {"B", "a", "a", "b", "c"}},
        InsertCase{CFileInfoArray::ORDER_PATH_DESCENDING,
                   {{"b", 0}, {"a", 0}, {"c", 0}, {"B", 0}},
                   {0, 1, 0, 3},
                   {"c", "b", "a", "B"}},
        InsertCase{CFileInfoArray::ORDER_APPEND, {{"b", 2}, {"a", 1}, {"c", 3}}, {0, 1, 2}, {"b", "a", "c"}},
        InsertCase{1, {{"b", 2}, {"a", 1}}, {0, 1}, {"b", "a"}},
        InsertCase{9, {{"b", 2}, {"a", 1}}, {0, 1}, {"b", "a"}}));

}  // namespace
