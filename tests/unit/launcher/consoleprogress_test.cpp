// The console's progress line: when it appears, what it shows, and that it
// leaves a clean line behind.
#include "launcher/consoleprogress.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The line with its clock and its console in the test's hands.
class CTestedLine : public CConsoleProgress {
public:
    explicit CTestedLine(const std::string& caption = "tool", bool show = true) : CConsoleProgress(caption, show) {}

    std::uint64_t m_nNow = 1000;
    bool m_bConsole = true;
    std::string m_strWritten;

protected:
    std::uint64_t Now() const override { return m_nNow; }
    bool CanDraw() const override { return m_bConsole; }
    void Write(const std::string& text) override { m_strWritten += text; }
};

TEST(ConsoleProgress, AppearsOnlyOnceTheExtractionHasTakenHalfASecond) {
    CTestedLine line;
    line.SetRange(1000);
    line.OnProgress(100);
    line.m_nNow += CConsoleProgress::kQuietMs - 1;
    line.OnProgress(100);
    EXPECT_EQ(line.m_strWritten, "") << "a quick extraction shows nothing";
    line.m_nNow += 1;
    line.OnProgress(100);
    EXPECT_EQ(line.m_strWritten, "\rtool: extracting [######..............]  30%");
}

TEST(ConsoleProgress, IsRewrittenInPlaceWhenThePercentageChangesAndClearedAtTheEnd) {
    CTestedLine line;
    line.SetRange(200);
    line.m_nNow += CConsoleProgress::kQuietMs;
    line.SetPosition(1);  // 0%
    line.SetPosition(2);  // 1%
    line.SetPosition(3);  // still 1%: not drawn again
    line.SetPosition(200);
    const std::string drawn = "\rtool: extracting [....................]   0%"
                              "\rtool: extracting [....................]   1%"
                              "\rtool: extracting [####################] 100%";
    EXPECT_EQ(line.m_strWritten, drawn);
    line.Clear();
    EXPECT_EQ(line.m_strWritten, drawn + "\r" + std::string(44, ' ') + "\r");
    line.Clear();
    EXPECT_EQ(line.m_strWritten, drawn + "\r" + std::string(44, ' ') + "\r") << "cleared once";
}

TEST(ConsoleProgress, StartingOverShowsTheBytesFromNothingAgain) {
    CTestedLine line;
    line.SetRange(100);
    line.m_nNow += CConsoleProgress::kQuietMs;
    line.SetPosition(60);
    line.SetPosition(0);  // the workers' bytes are dropped; one entry after another follows
    line.OnProgress(10);
    EXPECT_EQ(line.m_strWritten, "\rtool: extracting [############........]  60%"
                                 "\rtool: extracting [....................]   0%"
                                 "\rtool: extracting [##..................]  10%");
}

TEST(ConsoleProgress, NothingWhereNoLineIsWantedOrPossible) {
    struct Case {
        const char* what;
        bool show;
        bool console;
        std::uint64_t total;
    } cases[] = {
        {"a silent run", false, true, 100},
        {"standard error is a file or a pipe", true, false, 100},
    };
    for (const Case& c : cases) {
        CTestedLine line("tool", c.show);
        line.m_bConsole = c.console;
        line.SetRange(c.total);
        line.m_nNow += 10 * CConsoleProgress::kQuietMs;
        line.OnProgress(50);
        line.Clear();
        EXPECT_EQ(line.m_strWritten, "") << c.what;
        EXPECT_TRUE(!line.m_bCancel) << c.what;
    }
}

TEST(ConsoleProgress, AnArchiveWithoutBytesShowsItsEnd) {
    CTestedLine line;
    line.SetRange(0);
    line.m_nNow += CConsoleProgress::kQuietMs;
    line.SetPosition(0);
    EXPECT_EQ(line.m_strWritten, "\rtool: extracting [####################] 100%");
}

TEST(ConsoleProgress, ALongNameIsCutToFitTheLine) {
    // Characters, not bytes: a name in another script is cut between characters.
    const std::string name = "Установка приложения версии 2024 года";  // 37 characters
    CTestedLine line(name);
    line.SetRange(1);
    line.m_nNow += CConsoleProgress::kQuietMs;
    line.OnProgress(1);
    EXPECT_EQ(line.m_strWritten, "\rУстановка приложения версии 2...: extracting [####################] 100%");
    line.m_strWritten.clear();
    line.Clear();
    EXPECT_EQ(line.m_strWritten, "\r" + std::string(32 + 40, ' ') + "\r") << "as many spaces as characters";
}

}  // namespace
