#include "platform/file.h"

#include <gtest/gtest.h>

#include "platform/system.h"
#include "test_util/scratch.h"

namespace {

using platform::File;
using platform::FileException;

TEST(File, OpenFailuresCarryCauseCodeAndName) {
    test_util::ScratchDir dir;
    const std::string missing = dir.Path("missing.bin");
    struct Case {
        std::string path;
        unsigned flags;
        FileException::Cause cause;
        std::uint32_t os;
    } cases[] = {
        {missing, platform::kModeRead | platform::kModeNoTruncate, FileException::kFileNotFound, 2},
        {dir.Path("no\\such\\x"), platform::kModeRead, FileException::kBadPath, 3},
        {dir.path(), platform::kModeRead, FileException::kAccessDenied, 5},
    };
    for (const Case& c : cases) {
        try {
            File file(c.path, c.flags);
            ADD_FAILURE() << "opened " << c.path;
        } catch (const FileException& e) {
            EXPECT_EQ(e.cause(), c.cause) << c.path;
            EXPECT_EQ(e.osError(), c.os) << c.path;
            EXPECT_EQ(e.fileName(), c.path);
            EXPECT_NE(e.GetErrorMessage().find(c.path), std::string::npos);
        }
    }
}

TEST(File, CreateWriteSeekReadAndTruncate) {
    test_util::ScratchDir dir;
    const std::string path = dir.Path("data.bin");
    {
        File out(path, platform::kModeCreate | platform::kModeWrite | platform::kShareDenyWrite);
        out.Write("0123456789", 10);
        EXPECT_EQ(out.GetLength(), 10u);
        out.SetLength(4);
        EXPECT_EQ(out.GetLength(), 4u);
    }
    File in(path, platform::kModeRead | platform::kShareDenyWrite);
    char buf[16] = {};
    EXPECT_EQ(in.Seek(-2, File::kEnd), 2u);
    EXPECT_EQ(in.Read(buf, sizeof buf), 2u);
    EXPECT_EQ(std::string(buf, 2), "23");
    EXPECT_EQ(in.Read(buf, sizeof buf), 0u) << "end of file reads 0 bytes";
    EXPECT_THROW(in.Seek(-10, File::kBegin), FileException);
    EXPECT_EQ(in.GetFilePath(), path);

    // Without kModeNoTruncate a create empties the file.
    File again(path, platform::kModeCreate | platform::kModeWrite | platform::kModeNoTruncate);
    EXPECT_EQ(again.GetLength(), 4u);
    again.Close();
    File truncated(path, platform::kModeCreate | platform::kModeWrite);
    EXPECT_EQ(truncated.GetLength(), 0u);
}

}  // namespace
