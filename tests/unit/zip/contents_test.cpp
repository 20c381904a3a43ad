// sfxpack list and extract: launchers made by the packer, plain archives,
// and input that is no archive.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "fixtures.h"
#include "payload/config.h"
#include "payload/stubid.h"
#include "test_util/scratch.h"
#include "tools/sfxpack/contents.h"
#include "tools/sfxpack/pack.h"

namespace {

namespace fs = std::filesystem;
using ziptest::FixtureNative;

// A launcher made by the packer from `dir`/app with a stand-in stub.
std::string MakeLauncher(const test_util::ScratchDir& dir, bool usePassword) {
    dir.Write("app\\bin\\app.exe", "program\n");
    dir.Write("app\\data\\values.txt", std::string(100000, 'v'));
    const auto identification = stubid::Identification();
    dir.Write("stub.exe", "MZ" + std::string(5000, '\x90') + std::string(identification.data(), identification.size()));
    PackOptions options;
    options.stub = dir.Native("stub.exe");
    options.run = "bin\\app.exe";
    options.title = "Inspected";
    options.hasTitle = true;
    options.pid = "product-42";
    options.hasPid = true;
    options.usePassword = usePassword;
    options.output = dir.Native("launcher.exe");
    options.folder = dir.Native("app");
    std::string error;
    EXPECT_TRUE(PackLauncher(options, error)) << error;
    return options.output;
}

TEST(SfxpackContents, ListsALaunchersConfigurationAndEntries) {
    for (bool usePassword : {false, true}) {
        test_util::ScratchDir dir;
        const std::string launcher = MakeLauncher(dir, usePassword);
        std::ostringstream out, err;
        ASSERT_EQ(ListArchive(launcher, out, err), 0) << err.str();
        const std::string text = out.str();
        EXPECT_NE(text.find("Run:    bin\\app.exe"), std::string::npos) << text;
        EXPECT_NE(text.find("Title:  Inspected"), std::string::npos) << text;
        EXPECT_NE(text.find(usePassword ? "UsePW:  1" : "UsePW:  0"), std::string::npos) << text;
        EXPECT_NE(text.find(usePassword ? "* data\\values.txt" : "  data\\values.txt"), std::string::npos) << text;
        EXPECT_NE(text.find("Bytes before the archive: 0\n"), std::string::npos) << text;
    }
}

TEST(SfxpackContents, ExtractsALauncherWithItsDerivedPassword) {
    for (bool usePassword : {false, true}) {
        test_util::ScratchDir dir;
        const std::string launcher = MakeLauncher(dir, usePassword);
        std::ostringstream out, err;
        ASSERT_EQ(ExtractArchive(launcher, dir.Native("out"), out, err), 0) << err.str();
        EXPECT_EQ(dir.Read("out\\bin\\app.exe"), "program\n");
        EXPECT_EQ(dir.Read("out\\data\\values.txt"), std::string(100000, 'v'));
    }
}

TEST(SfxpackContents, ExtractsPlainArchives) {
    REQUIRE_FIXTURE("infozip-deflate.zip");
    test_util::ScratchDir dir;
    std::ostringstream out, err;
    ASSERT_EQ(ExtractArchive(FixtureNative("infozip-deflate.zip"), dir.Native("out"), out, err), 0) << err.str();
    const auto ours = ziptest::Snapshot(dir.Native("out"));
    const auto source = ziptest::Snapshot(FixtureNative("src"));
    ASSERT_EQ(ours.size(), source.size());
    for (const auto& [name, node] : source) EXPECT_EQ(ours.at(name).content, node.content) << name;
}

TEST(SfxpackContents, BadInputGivesTheArchiveErrorAndFails) {
    test_util::ScratchDir dir;
    dir.Write("text.txt", "no archive here\n");
    const struct {
        std::string file;
        std::string message;
    } cases[] = {
        {dir.Native("text.txt"), "The central directory was not found in the archive"},
        {dir.Native("missing.zip"), "cannot read " + dir.Native("missing.zip") + ": The system cannot find the file"},
        {FixtureNative("end-volume.zip"), "Damaged or not a zip file"},
    };
    for (const auto& c : cases) {
        std::ostringstream out, err;
        EXPECT_EQ(ListArchive(c.file, out, err), 1) << c.file;
        EXPECT_NE(err.str().find(c.message), std::string::npos) << err.str();
        std::ostringstream out2, err2;
        EXPECT_EQ(ExtractArchive(c.file, dir.Native("out"), out2, err2), 1) << c.file;
        EXPECT_NE(err2.str().find(c.message), std::string::npos) << err2.str();
    }
    EXPECT_FALSE(fs::exists(dir.Native("out")));
}

TEST(SfxpackContents, AFailedEntryDoesNotStopTheOthers) {
    REQUIRE_FIXTURE("bad-crc.zip");
    test_util::ScratchDir dir;
    std::ostringstream out, err;
    EXPECT_EQ(ExtractArchive(FixtureNative("bad-crc.zip"), dir.Native("out"), out, err), 1);
    EXPECT_NE(err.str().find("damaged.bin: Crc mismatched"), std::string::npos) << err.str();
    EXPECT_EQ(dir.Read("out\\later.txt"), "after the damaged entry\n");
    EXPECT_TRUE(fs::is_directory(dir.Native("out\\laterdir")));
}

// verify names the program as the launcher does: a configuration that
// names it with '/' (as other packers write it) is no fault.
TEST(SfxpackContents, VerifyFindsTheProgramWhateverItsSeparators) {
    test_util::ScratchDir dir;
    const std::string launcher = MakeLauncher(dir, false);
    std::string bytes = ziptest::ReadNative(launcher);
    const std::string backslashes = "<Run>bin\\app.exe</Run>";
    const std::size_t at = bytes.find(backslashes);
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at, backslashes.size(), "<Run>bin/app.exe</Run>");
    dir.Write("slashes.exe", bytes);
    std::ostringstream out, err;
    EXPECT_EQ(VerifyArchive(dir.Native("slashes.exe"), out, err), 0) << err.str();
    EXPECT_EQ(err.str(), "");
}

}  // namespace
