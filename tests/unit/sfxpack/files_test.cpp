// sfxpack's files: a stream over the platform's file that reads, writes and
// seeks the way the ZIP writer and the checksum use it, and failures that
// name the file and end with the system's text.
#include <gtest/gtest.h>

#include <string>

#include "platform/system.h"
#include "test_util/scratch.h"
#include "tools/sfxpack/files.h"

namespace {

using sfxpack::FileStream;

std::string Text(std::uint32_t code) {
    std::string text = platform::SystemErrorText(code);
    return text.substr(0, text.find_last_not_of("\r\n") + 1);
}

// What is left to read, up to a bound (a stream that lost its place may
// never end).
std::string ReadRest(std::istream& in) {
    std::string text(1024, '\0');
    in.read(&text[0], static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    in.clear();
    return text;
}

TEST(FileStream, WritesSeeksAndReadsBackLikeAFile) {
    test_util::ScratchDir dir;
    const std::string path = dir.Native("out.bin");
    FileStream file(path, FileStream::kCreate);
    const std::string big(200000, 'b');  // beyond the stream's buffer
    file << "header----" << big << "tail";
    EXPECT_EQ(file.tellp(), std::streamoff(10 + big.size() + 4));
    file.seekp(6);  // patch a field, as the writer does with sizes
    file << "1234";
    EXPECT_EQ(file.tellp(), std::streamoff(10));
    file.seekp(0, std::ios::end);
    file << "!";
    file.seekg(0);
    char head[10];
    file.read(head, sizeof head);
    EXPECT_EQ(std::string(head, sizeof head), "header1234");
    file << "B";  // a write right after a read lands where the read stopped
    file.SetLength(12);
    file.seekg(0);
    EXPECT_EQ(ReadRest(file), "header1234Bb");
    file.Close();

    FileStream again(path, FileStream::kRead);
    EXPECT_EQ(ReadRest(again), "header1234Bb");
}

TEST(FileStream, FailuresNameTheFileAndTheSystemsReason) {
    test_util::ScratchDir dir;
    dir.Write("folder\\file.txt", "x");
    const struct {
        std::string path;
        FileStream::Mode mode;
        std::string message;
    } cases[] = {
        {dir.Native("missing\\out.bin"), FileStream::kCreate,
         "cannot create " + dir.Native("missing\\out.bin") + ": " + Text(platform::kErrorPathNotFound)},
        {dir.Native("none.txt"), FileStream::kRead,
         "cannot read " + dir.Native("none.txt") + ": " + Text(platform::kErrorFileNotFound)},
        {dir.Native("folder"), FileStream::kRead,
         "cannot read " + dir.Native("folder") + ": " + Text(platform::kErrorAccessDenied)},
    };
    for (const auto& c : cases) {
        try {
            FileStream file(c.path, c.mode);
            ADD_FAILURE() << c.path << " opened";
        } catch (const sfxpack::PackError& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }
    try {
        sfxpack::ReadWholeFile(dir.Native("none.txt"), "the icon");
        ADD_FAILURE() << "a missing file was read";
    } catch (const sfxpack::PackError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "cannot read the icon " + dir.Native("none.txt") + ": " + Text(platform::kErrorFileNotFound));
    }
}

TEST(FileStream, AFullDiskReachesTheWriterAsItsReason) {
    FileStream full("/dev/full", FileStream::kCreate);
    try {
        full << std::string(1 << 17, 'x');  // more than the buffer holds: the stream must write
        full.Close();
        ADD_FAILURE() << "/dev/full took the bytes";
    } catch (const sfxpack::PackError& e) {
        EXPECT_EQ(std::string(e.what()), "cannot write /dev/full: " + Text(platform::kErrorDiskFull));
    }
}

}  // namespace
