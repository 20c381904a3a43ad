// The kind of the configured program, by its name: how a launcher starts
// it, and whether sfxpack warns.
#include "payload/runkind.h"

#include <gtest/gtest.h>

namespace {

TEST(RunKind, ByTheExtensionInAnyCase) {
    const struct {
        const char* name;
        RunKind kind;
    } cases[] = {
        {"app.exe", RunKind::kProgram},
        {"bin\\Setup.EXE", RunKind::kProgram},
        {"tool.com", RunKind::kProgram},
        {"run.bat", RunKind::kProgram},
        {"sub/run.Cmd", RunKind::kProgram},
        {"setup.msi", RunKind::kPackage},
        {"SETUP.MSI", RunKind::kPackage},
        {"fix.msp", RunKind::kDocument},
        {"readme.txt", RunKind::kDocument},
        {"install.vbs", RunKind::kDocument},
        {"index.html", RunKind::kDocument},
        {"run.sh", RunKind::kUnknown},
        {"program", RunKind::kUnknown},  // no extension
        {"v1.2\\program", RunKind::kUnknown},  // a dot in a folder's name is no extension
        {"app.exe.config", RunKind::kUnknown},
        {"setup.msix", RunKind::kUnknown},
    };
    for (const auto& c : cases) EXPECT_EQ(RunKindOf(c.name), c.kind) << c.name;
}

}  // namespace
