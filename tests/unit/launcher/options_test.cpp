#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/app.h"
#include "platform/system.h"
#include "test_util/scratch.h"

namespace {

struct ArgsGuard {
    explicit ArgsGuard(std::vector<std::string> args) : saved(platform::CommandLineArgs()) {
        platform::SetCommandLineArgs(std::move(args));
    }
    ~ArgsGuard() { platform::SetCommandLineArgs(saved); }
    std::vector<std::string> saved;
};

TEST(CommandLineOption, MatchesAnywhereInAnyCaseAndReturnsTheArgumentAsGiven) {
    struct Case {
        std::vector<std::string> args;
        const char* option;
        const char* expected;
    } cases[] = {
        {{"Z:\\app.exe", "/s"}, "/S", "/s"},
        {{"Z:\\app.exe", "-x/SILENT"}, "/S", "-x/SILENT"},
        {{"Z:\\app.exe", "a", "/t:Z:\\Work", "/T:second"}, "/T:", "/t:Z:\\Work"},
        {{"Z:\\app.exe", "nothing"}, "/S", ""},
        {{"Z:\\dir/s\\app.exe"}, "/S", "Z:\\dir/s\\app.exe"},  // the program path is searched too
    };
    for (const Case& c : cases) {
        ArgsGuard args(c.args);
        EXPECT_EQ(GetCommandLineOption(c.option), c.expected) << c.option << " in " << c.args.back();
    }
}

TEST(StartUp, TempBaseOption) {
    test_util::ScratchDir dir;
    struct Case {
        std::string argument;
        std::string expected;
    } cases[] = {
        {"/T:" + dir.path() + "\\\\", dir.path()},  // trailing separators removed
        {"/T:" + dir.path(), dir.path()},
        {"/T:", ""},                                 // nothing named: the system's temporary path
        {"/T:" + dir.Path("missing"), ""},          // a missing folder is ignored
    };
    for (const Case& c : cases) {
        ArgsGuard args({"Z:\\launcher.exe", "/S", c.argument});
        CLauncherApp app;
        testing::internal::CaptureStderr();  // the test program has no payload
        EXPECT_FALSE(app.InitInstance());
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(app.m_strTempBase, c.expected) << c.argument;
        EXPECT_TRUE(app.m_bSilent);
        EXPECT_EQ(app.ExitInstance(), 1392) << "a launcher without payload does not report success";
    }
}

TEST(StartUp, RelativeTempBaseBecomesAbsolute) {
    test_util::ScratchDir dir;
    ASSERT_TRUE(platform::CreateDirectory(dir.Path("sub")));
    const std::string previous = platform::GetCurrentDirectory();
    ASSERT_TRUE(platform::SetCurrentDirectory(dir.path()));
    {
        ArgsGuard args({"Z:\\launcher.exe", "/S", "/T:sub\\"});
        CLauncherApp app;
        testing::internal::CaptureStderr();
        app.InitInstance();
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(app.m_strTempBase, dir.Path("sub"));
    }
    platform::SetCurrentDirectory(previous);
}

}  // namespace
