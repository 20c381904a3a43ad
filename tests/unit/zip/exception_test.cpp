#include "zip/exception.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>

#include "fixtures.h"
#include "platform/system.h"

namespace {

// Sets the last system error and errno for one description, and puts
// them back afterwards.
class ErrorState {
public:
    ErrorState(std::uint32_t lastError, int err) : m_saved(errno) {
        platform::SetLastError(lastError);
        errno = err;
    }
    ~ErrorState() {
        platform::SetLastError(0);
        errno = m_saved;
    }

private:
    int m_saved;
};

TEST(ZipException, FixedDescriptions) {
    const struct {
        int code;
        const char* text;
    } cases[] = {
        {1, "Not super-user"},
        {13, "Permission denied"},
        {30, "Read-only file system"},
        {101, "Damaged or not a zip file"},
        {102, "Crc mismatched"},
        {105, "Action aborted"},
        {106, "Action aborted safely"},
        {108, "Limit of the maximum volumes reached (999)"},
        {110, "Incorrect password set for the file being decrypted"},
        {115, "Cannot create the file for the specified platform"},
        {116, "The central directory was not found in the archive (or you were trying to open not the last disk "
              "of a multi-disk archive)"},
        {500, "Zlib Library error (end of stream)"},
        {504, "Zlib library error (data error)"},
        {505, "Not enough memory"},
        {507, "Zlib library error (version error)"},
    };
    ErrorState state(platform::kErrorAccessDenied, 0);  // fixed texts ignore the system
    for (const auto& c : cases) {
        EXPECT_EQ(CZipException(c.code).GetDescription(), c.text) << c.code;
        EXPECT_EQ(CZipException::DescribeCode(c.code, true), c.text) << c.code;
    }
}

TEST(ZipException, DescriptionsThatAskTheSystem) {
    const std::string denied = platform::SystemErrorText(platform::kErrorAccessDenied);
    ASSERT_FALSE(denied.empty());
    const struct {
        int code;
        std::uint32_t lastError;
        int err;
        std::string text;
    } cases[] = {
        {113, platform::kErrorAccessDenied, 0, "Error while removing a file (" + denied + ")"},
        {114, platform::kErrorAccessDenied, 0, "Error while renaming a file (" + denied + ")"},
        {100, platform::kErrorAccessDenied, 0, denied},
        {501, platform::kErrorAccessDenied, 0, denied},
        {0, platform::kErrorAccessDenied, 0, denied},
        {12345, platform::kErrorAccessDenied, 0, denied},
        // No system error: errno's table text, or "Unknown error".
        {501, 0, 0, "Unknown error"},
        {0, 0, 0, "Unknown error"},
        {100, 0, 13, "Permission denied"},
        {502, 0, 13, "Permission denied"},
        {502, 0, 502, "Unknown error"},
        {502, platform::kErrorAccessDenied, 0, denied},
        // errno naming a code that describes itself by the system again.
        {113, 0, 113, "Error while removing a file (Unknown error)"},
        {100, 0, 502, "Unknown error"},
    };
    for (const auto& c : cases) {
        ErrorState state(c.lastError, c.err);
        EXPECT_EQ(CZipException(c.code).GetDescription(), c.text) << c.code << " " << c.lastError << " " << c.err;
    }
    ErrorState state(platform::kErrorAccessDenied, 0);
    EXPECT_EQ(CZipException::DescribeCode(501, true), "Unknown error");
}

TEST(ZipException, GetErrorMessageCopiesWhatFits) {
    const CZipException e(101, "Z:\\a.zip");
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    unsigned help = 77;
    ASSERT_TRUE(e.GetErrorMessage(buffer, 10, &help));
    EXPECT_STREQ(buffer, "Damaged o");
    EXPECT_EQ(buffer[10], 'x');
    EXPECT_EQ(help, 77u);
    ASSERT_TRUE(e.GetErrorMessage(buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "Damaged or not a zip file");
    EXPECT_FALSE(e.GetErrorMessage(nullptr, 10));
    EXPECT_FALSE(e.GetErrorMessage(buffer, 0));

    // An empty description (a system error the system has no text for) gives nothing.
    ErrorState state(0xDEAD, 0);
    buffer[0] = 'x';
    EXPECT_FALSE(CZipException(100).GetErrorMessage(buffer, sizeof buffer));
    EXPECT_EQ(buffer[0], 'x');
}

TEST(ZipException, CodeFromZlib) {
    const struct {
        int zlib;
        int code;
    } cases[] = {
        {Z_STREAM_END, 500}, {Z_NEED_DICT, 501}, {Z_ERRNO, 502}, {Z_STREAM_ERROR, 503}, {Z_DATA_ERROR, 504},
        {Z_MEM_ERROR, 505}, {Z_BUF_ERROR, 506}, {Z_VERSION_ERROR, 507}, {Z_OK, 100}, {42, 100},
    };
    for (const auto& c : cases) EXPECT_EQ(CZipException::CodeFromZlib(c.zlib), c.code) << c.zlib;
}

TEST(ZipException, ThrownByValueWithFileName) {
    const CZipException named = ziptest::Caught([] { ThrowZipException(102, "Z:\\x\\a.zip"); });
    EXPECT_EQ(named.m_nCode, 102);
    EXPECT_EQ(named.m_strFileName, "Z:\\x\\a.zip");
    const CZipException unnamed = ziptest::Caught([] { ThrowZipException(115, nullptr); });
    EXPECT_EQ(unnamed.m_nCode, 115);
    EXPECT_TRUE(unnamed.m_strFileName.empty());
}

}  // namespace
