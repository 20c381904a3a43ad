// The ZIP writer's host-independent fields: MS-DOS times from UTC, and which
// names are UTF-8; and its Zip64 records, written where (and only where) an
// archive needs them, read back by the launcher's reader.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/system.h"
#include "test_util/scratch.h"
#include "tools/sfxpack/utf8.h"
#include "tools/sfxpack/zipwriter.h"
#include "zip/archive.h"

namespace {

std::uint16_t Date(int year, int month, int day) { return static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day); }
std::uint16_t Time(int hour, int minute, int second) {
    return static_cast<std::uint16_t>((hour << 11) | (minute << 5) | (second / 2));
}

TEST(ZipWriter, DosTimesComeFromUtcWhateverTheHostsZone) {
    const struct {
        std::int64_t utc;
        std::uint16_t date, time;
    } cases[] = {
        {0, Date(1980, 1, 1), Time(0, 0, 0)},                   // before 1980: the first DOS second
        {315532800, Date(1980, 1, 1), Time(0, 0, 0)},
        {1000000000, Date(2001, 9, 9), Time(1, 46, 40)},
        {951825601, Date(2000, 2, 29), Time(12, 0, 0)},         // leap day; odd second rounds down
        {4107542399, Date(2100, 2, 28), Time(23, 59, 58)},      // 2100 is no leap year
        {4107542400, Date(2100, 3, 1), Time(0, 0, 0)},
        {4354819199, Date(2107, 12, 31), Time(23, 59, 58)},     // the last DOS second
        {9999999999, Date(2107, 12, 31), Time(23, 59, 58)},
    };
    for (const char* zone : {"UTC", "Asia/Tokyo", "America/St_Johns"}) {
        setenv("TZ", zone, 1);
        for (const auto& c : cases) {
            std::uint16_t date = 0, time = 0;
            sfxpack::DosDateTime(c.utc, date, time);
            EXPECT_EQ(date, c.date) << c.utc << " in " << zone;
            EXPECT_EQ(time, c.time) << c.utc << " in " << zone;
        }
    }
    unsetenv("TZ");
}

TEST(ZipWriter, Utf8IsCheckedBeforeANameIsMarkedAsIt) {
    const struct {
        const char* text;
        bool valid;
        std::u16string utf16;
    } cases[] = {
        {"plain", true, u"plain"},
        {"caf\xC3\xA9", true, u"caf\u00E9"},
        {"\xE6\x97\xA5\xE6\x9C\xAC", true, u"\u65E5\u672C"},
        {"\xF0\x9F\x98\x80", true, u"\U0001F600"},            // beyond the BMP: a surrogate pair
        {"caf\xE9", false, u""},                               // Latin-1
        {"\xC3", false, u""},                                  // cut short
        {"\xC0\xAF", false, u""},                              // overlong '/'
        {"\xED\xA0\x80", false, u""},                          // a surrogate
        {"\xF4\x90\x80\x80", false, u""},                      // beyond U+10FFFF
        {"\xE6\x97", false, u""},
    };
    for (const auto& c : cases) {
        std::u16string out;
        EXPECT_EQ(sfxpack::Utf8ToUtf16(c.text, out), c.valid) << c.text;
        if (c.valid) {
            EXPECT_EQ(out, c.utf16) << c.text;
        }
    }
}

// Writes `files` (name -> content) and `folders` empty folders (d00000/,
// ...) at `start` of the file `path` (native; before it a hole), and
// returns the archive's bytes from `start` on.
std::string WriteArchive(const test_util::ScratchDir& dir, const std::string& path, std::uint64_t start,
                         const std::vector<std::pair<std::string, std::string>>& files, int folders) {
    sfxpack::Progress progress(false, 0, 0);
    std::ofstream out(path, std::ios::binary);
    out.seekp(static_cast<std::streamoff>(start));
    sfxpack::ZipWriter writer(out, {6, ""}, progress);
    for (int i = 0; i < folders; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "d%05d/", i);
        writer.Add({name, {}, 040755, 1700000000});
    }
    for (const auto& [name, content] : files) {
        dir.Write("source\\" + name, content);
        writer.Add({name, dir.Native("source\\" + name), 0100644, 1700000000});
    }
    const std::uint64_t end = writer.Finish();
    out.close();
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(start));
    std::string bytes(end - start, '\0');
    in.read(&bytes[0], static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

bool HasZip64EndRecord(const std::string& archive) { return archive.find("PK\x06\x06") != std::string::npos; }

TEST(ZipWriter, Zip64RecordsOnlyWhereNeeded) {
    const std::uint64_t kBeyond4GiB = 9ull << 29;
    const std::vector<std::pair<std::string, std::string>> files = {{"a.txt", "alpha\n"},
                                                                    {"b.bin", std::string(70000, 'b')}};
    const struct {
        const char* what;
        std::uint64_t start;  // where the archive starts in its file
        int folders;
        bool zip64;
    } cases[] = {
        {"a small archive", 0, 0, false},
        {"65535 entries: the end record still counts them", 0, 65535 - 2, false},
        {"65536 entries", 0, 65536 - 2, true},
        {"offsets beyond 4 GiB", kBeyond4GiB, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test_util::ScratchDir dir;
        const std::string archive = WriteArchive(dir, dir.Native("out.zip"), c.start, files, c.folders);
        EXPECT_EQ(HasZip64EndRecord(archive), c.zip64);
        // No local header needs Zip64 (version 45): every size fits.
        EXPECT_EQ(archive.find(std::string("PK\x03\x04\x2D", 5)), std::string::npos);
        CZipArchive reader;
        reader.Open(dir.Path("out.zip"));
        ASSERT_EQ(reader.GetEntryCount(), c.folders + 2);
        EXPECT_EQ(reader.GetCentralDir().m_bZip64, c.zip64);
        EXPECT_EQ(reader.GetCentralDir().m_nBytesBeforeArchive, 0u);
        for (int i = c.folders; i < c.folders + 2; ++i) {
            CZipFileHeader header;
            ASSERT_TRUE(reader.GetEntryInfo(header, static_cast<std::uint32_t>(i)));
            EXPECT_GE(header.m_uOffset, c.start);
            EXPECT_TRUE(reader.ExtractEntry(static_cast<std::uint32_t>(i), dir.Path("out"))) << header.GetName();
        }
        reader.Close();
        for (const auto& [name, content] : files) EXPECT_EQ(dir.Read("out\\" + name), content) << name;
    }
}

}  // namespace
