#include "launcher/app.h"

#include "launcher/consoleprogress.h"
#include "launcher/dialog.h"
#include "launcher/exit_codes.h"
#include "launcher/run.h"
#include "payload/config.h"
#include "payload/extractor.h"
#include "platform/console.h"
#include "platform/strings.h"
#include "platform/system.h"

std::string GetCommandLineOption(const std::string& option) {
    const std::string wanted = platform::ToUpperAscii(option);
    for (const std::string& argument : platform::CommandLineArgs()) {
        if (platform::ToUpperAscii(argument).find(wanted) != std::string::npos) return argument;
    }
    return std::string();
}

CLauncherApp* CLauncherApp::Current() { return static_cast<CLauncherApp*>(platform::Application::Current()); }

bool CLauncherApp::InitInstance() {
    m_nExitCode = 0;

    std::string tempOption = GetCommandLineOption("/T:");
    if (!tempOption.empty()) {
        std::string folder = tempOption.substr(3);
        // Kept absolute: the run's folder must not move with the current folder,
        // and the cleanup accepts only paths with a drive or a server.
        if (platform::GetFileAttributes(folder) != platform::kInvalidAttributes)
            m_strTempBase = platform::TrimTrailingBackslashes(platform::FullPath(folder));
    }
    CSFEFileExtractor extractor;
    // A payload that asks for the cache needs no temporary folder when its
    // copy is there, and nothing is written then: not even the test a
    // temporary folder gets. The run chooses one if it needs one after all.
    LaunchConfig config;
    ReadLaunchConfig(extractor.GetDataSegment(), config);
    if (!config.UsesCache() && !ChooseTempBase()) return false;

    m_bSilent = !GetCommandLineOption("/S").empty();
    if (!m_bSilent) m_bSilent = extractor.IsSilentConfigured();

    // One extractor for the whole start-up: the payload is read once. A
    // console program never opens a window.
    if (platform::IsConsoleProgram()) {
        RunOnConsole(extractor, !m_bSilent);
    } else if (m_bSilent) {
        ExtractAndRun(extractor);
    } else {
        RunWithProgressDialog(extractor);
    }
    return false;
}

bool CLauncherApp::ChooseTempBase() {
    // A folder the user named is taken or refused, never replaced by another.
    std::string passedOver;
    const std::string base = platform::ChooseTempFolderBase(m_strTempBase, passedOver);
    if (base.empty()) {
        platform::AppMessageBox("There is no folder for the temporary files where programs can be started:\n" +
                                passedOver);
        m_nExitCode = kExitCannotCreateFolder;
        return false;
    }
    if (!passedOver.empty()) platform::DebugOutput("launcher: temporary folders passed over:\n" + passedOver);
    SetTempFolderBase(base);
    return true;
}

int CLauncherApp::ExitInstance() {
    // Not shown in a silent run, but never hidden: a debugger (or the
    // terminal of the posix launcher) sees what was left behind.
    if (!m_strLeftBehind.empty()) platform::DebugOutput("launcher: left behind: " + m_strLeftBehind);
    int framework = platform::Application::ExitInstance();
    return framework != 0 ? framework : m_nExitCode;
}
