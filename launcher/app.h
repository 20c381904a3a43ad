// The launcher's application object: reads the options, decides between a
// silent run and the progress dialog, runs once and ends with the launched
// program's exit code.
#pragma once

#include <string>

#include "platform/app.h"

// The first command-line argument (the program path included) that contains
// `option`, compared without regard to ASCII case, exactly as it was given;
// empty when none does.
std::string GetCommandLineOption(const std::string& option);

class CLauncherApp : public platform::Application {
public:
    bool InitInstance() override;
    int ExitInstance() override;

    std::string m_strTempBase;  // "/T:" folder without trailing '\'; empty: system temp path
    bool m_bSilent = false;     // no progress dialog
    int m_nExitCode = 0;        // the launched program's result; 0 when nothing ran
    std::string m_strLeftBehind;  // the temporary folder when it could not be deleted completely

    // Chooses the folder that temporary folders go under (the "/T:" folder,
    // or the system's; SetTempFolderBase). False, after a message that says
    // why and with the exit code 82, when there is none where programs can
    // be started.
    bool ChooseTempBase();

    // The application object of this process, or null.
    static CLauncherApp* Current();
};
