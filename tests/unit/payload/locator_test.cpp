#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "payload/extractor.h"
#include "test_util/scratch.h"

namespace {

const std::string kMarker("\x0B\x0B\xAF\xAF\x0B\x0B", 6);

std::string LengthField(std::uint32_t n) {
    std::string field(4, '\0');
    for (int i = 0; i < 4; ++i) field[i] = static_cast<char>(n >> (8 * i));
    return field;
}

// A file of `offset` zero bytes followed by `tail`.
std::string At(std::size_t offset, const std::string& tail) { return std::string(offset, '\0') + tail; }

std::string Payload(const std::string& text) { return kMarker + LengthField(text.size()) + text; }

const std::size_t kStart = CSFEFileExtractor::kScanStart;
const std::size_t kLast = CSFEFileExtractor::kScanStart + CSFEFileExtractor::kScanSize - 6;

struct LocatorCase {
    const char* name;
    std::string file;
    std::string expected;
    bool notFoundMessage;
};

TEST(DataSegment, LocatorTable) {
    const std::string config = "<QX_ZCD><Run>a.exe</Run></QX_ZCD>";
    const std::string long_text(1500, 'x');
    const LocatorCase cases[] = {
        {"marker at the window's start", At(kStart, Payload(config) + "PK..."), config, false},
        {"marker at the window's last place", At(kLast, Payload(config)), config, false},
        {"marker one byte too late", At(kLast + 1, Payload(config)), "", true},
        {"marker starting before the window", At(kStart - 1, Payload(config)), "", true},
        {"first of two markers wins", At(kStart + 10, Payload("first") + At(100, Payload("second"))), "first", false},
        {"N = 0", At(kStart, Payload("") + "<QX_ZCD/>"), "", false},
        {"NUL inside the text", At(kStart, Payload(std::string("<a>\0<b>", 7))), "<a>", false},
        {"file shorter than N", At(kStart, kMarker + LengthField(100) + "<short>"), "<short>", false},
        {"N above 1023 is cut", At(kStart, kMarker + LengthField(1500) + long_text), long_text.substr(0, 1023), false},
        {"file ends inside the length field", At(kStart, kMarker + "\x05\x00"), "", false},
        {"file shorter than the window start", std::string(5000, 'a'), "", true},
    };
    for (const LocatorCase& c : cases) {
        test_util::ScratchDir dir;
        CSFEFileExtractor extractor;
        extractor.m_strModulePath = dir.Write("stub.exe", c.file);
        testing::internal::CaptureStderr();
        EXPECT_EQ(extractor.GetDataSegment(), c.expected) << c.name;
        std::string shown = testing::internal::GetCapturedStderr();
        EXPECT_EQ(shown.find("Data segment not found.") != std::string::npos, c.notFoundMessage) << c.name;
    }
}

TEST(DataSegment, IsReadOnceAndItsAbsenceShownOnce) {
    test_util::ScratchDir dir;
    CSFEFileExtractor extractor;
    extractor.m_strModulePath = dir.Write("stub.exe", std::string(kStart + 100, 'S'));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(extractor.IsSilentConfigured());  // start-up's look
    bool found = true;
    EXPECT_EQ(extractor.GetDataSegment(&found), "");  // the run's
    EXPECT_FALSE(found);
    const std::string shown = testing::internal::GetCapturedStderr();
    EXPECT_EQ(shown.find("Data segment not found."), shown.rfind("Data segment not found.")) << shown;
    EXPECT_NE(shown.find("Data segment not found."), std::string::npos);
}

TEST(DataSegment, UnreadableFileGivesEmptyTextWithoutMessage) {
    CSFEFileExtractor extractor;
    extractor.m_strModulePath = "Z:\\no\\such\\launcher.exe";
    testing::internal::CaptureStderr();
    EXPECT_EQ(extractor.GetDataSegment(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(DataSegment, FindMarkerNeedsAllSixBytes) {
    const std::string partial = "xx" + kMarker.substr(0, 5);
    EXPECT_EQ(FindMarker(reinterpret_cast<const unsigned char*>(partial.data()), partial.size()), -1);
    const std::string whole = "xx" + kMarker;
    EXPECT_EQ(FindMarker(reinterpret_cast<const unsigned char*>(whole.data()), whole.size()), 2);
    unsigned char bytes[6];
    CSFEFileExtractor::MarkerBytes(bytes);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), 6), kMarker);
}

}  // namespace
