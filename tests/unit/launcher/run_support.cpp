#include "run_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "launcher/app.h"
#include "payload/extractor.h"
#include "payload/stubid.h"
#include "platform/system.h"
#include "tools/sfxpack/pack.h"

namespace runtest {

namespace {

class TestApp : public CLauncherApp {
public:
    bool InitInstance() override { return false; }
};

}  // namespace

std::string PackSilentLauncher(test_util::ScratchDir& dir, int exitCode, bool cache, const std::string& name) {
    const std::string script = dir.Write("app\\app", "#!/bin/sh\nexit " + std::to_string(exitCode) + "\n");
    if (!platform::SetUnixMode(script, 0755)) return "";
    const auto identification = stubid::Identification();
    dir.Write("stub", "a stub without a marker " + std::string(identification.data(), identification.size()));
    PackOptions options;
    options.stub = dir.Native("stub");
    options.folder = dir.Native("app");
    options.run = "app";
    options.silent = true;
    options.cache = cache;
    options.output = dir.Native(name);
    std::string error;
    if (!PackLauncher(options, error)) {
        ADD_FAILURE() << error;
        return "";
    }
    return options.output;
}

RunResult RunLauncher(const std::string& launcher, const std::string& base, const RunWindows& windows) {
    SetTempFolderBase(base);
    TestApp app;
    app.m_strTempBase = base;
    CSFEFileExtractor payload;
    payload.m_strModulePath = platform::FromNativePath(launcher);
    EXPECT_EQ(ExtractAndRun(payload, windows), 0);
    app.PumpMessage();  // the run's quit message
    SetTempFolderBase("");
    return {app.m_nExitCode, app.m_strLeftBehind};
}

std::vector<std::string> Names(const std::string& nativeFolder) {
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    if (!fs::exists(nativeFolder)) return names;
    for (const auto& entry : fs::directory_iterator(nativeFolder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace runtest
