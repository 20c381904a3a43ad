// The configuration document: silent decision, values the run reads, derived password.
#include "payload/config.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "payload/extractor.h"
#include "test_util/scratch.h"

namespace {

std::string Config(const std::string& children) { return "<QX_ZCD>" + children + "</QX_ZCD>"; }

TEST(ConfigSilent, ProgForms) {
    const struct {
        const char* name;
        std::string text;
        bool silent;
    } cases[] = {
        {"0", Config("<Prog>0</Prog>"), true},
        {"1", Config("<Prog>1</Prog>"), false},
        {"2", Config("<Prog>2</Prog>"), false},
        {"-1", Config("<Prog>-1</Prog>"), false},
        {"missing", Config("<Run>a.exe</Run>"), false},
        {"spaces around 0", Config("<Prog> 0 </Prog>"), true},
        {"line break and tab before 0", Config("<Prog>\r\n\t0</Prog>"), true},
        {"signed 0", Config("<Prog>-0</Prog>"), true},
        {"not a number", Config("<Prog>x</Prog>"), true},
        {"number after text", Config("<Prog>x1</Prog>"), true},
        {"hex prefix reads as 0", Config("<Prog>0x1</Prog>"), true},
        {"empty element tag", Config("<Prog/>"), true},
        {"empty element", Config("<Prog></Prog>"), true},
        {"reference", Config("<Prog>&#49;</Prog>"), false},
        {"element with children has no text", Config("<Prog><v>1</v></Prog>"), true},
        {"first of two wins (1)", Config("<Prog>1</Prog><Prog>0</Prog>"), false},
        {"first of two wins (0)", Config("<Prog>0</Prog><Prog>1</Prog>"), true},
        {"after other keys", Config("<Run>a</Run><Title>t</Title><Prog>0</Prog>"), true},
        {"wrong-case key", Config("<prog>0</prog>"), false},
        {"longer key", Config("<Progress>0</Progress>"), false},
        {"deeper element", Config("<a><Prog>0</Prog></a>"), false},
        {"attribute", "<QX_ZCD Prog=\"0\"/>", false},
        {"wrong-case root", "<qx_zcd><Prog>0</Prog></qx_zcd>", false},
        {"other root", "<Other><Prog>0</Prog></Other>", false},
        {"stray end tag", Config("<Prog>0</Prog>") + "</x>", false},
        {"second root", Config("<Prog>0</Prog>") + "<b/>", false},
        {"empty text", "", false},
        {"declaration, comment and doctype around",
         "<?xml version=\"1.0\"?><!DOCTYPE QX_ZCD><!-- c -->" + Config("<Prog>0</Prog>") + "<!-- d -->\r\n", true},
    };
    for (const auto& c : cases) EXPECT_EQ(ConfigSelectsSilent(c.text), c.silent) << c.name << ": " << c.text;
}

const char kEmptyDigest[] = "d41d8cd98f00b204e9800998ecf8427e";

TEST(ConfigRead, Values) {
    const struct {
        const char* name;
        std::string text;
        bool ok;
        LaunchConfig expected;
    } cases[] = {
        {"all keys", Config("<Run>app.exe</Run><Title>My App</Title><Prog>0</Prog><UsePW>1</UsePW><pid>x</pid>"),
         true, {"app.exe", "My App", 1, true, "9dd4e461268c8034f5c8564e155c67a6", false, ""}},
        {"defaults", Config(""), true, {}},
        {"any order", Config("<pid>x</pid><UsePW>1</UsePW><Title>T</Title><Run>r</Run>"), true,
         {"r", "T", 1, true, "9dd4e461268c8034f5c8564e155c67a6", false, ""}},
        {"leading space kept", Config("<Run> app.exe</Run>"), true, {" app.exe", "", 0, false, "", false, ""}},
        {"subfolder", Config("<Run>bin\\app.exe</Run>"), true, {"bin\\app.exe", "", 0, false, "", false, ""}},
        {"reference decoded", Config("<Title>A &amp; B</Title>"), true, {"", "A & B", 0, false, "", false, ""}},
        {"first of two", Config("<Run>one</Run><Run>two</Run>"), true, {"one", "", 0, false, "", false, ""}},
        {"UsePW without pid", Config("<UsePW>1</UsePW>"), true, {"", "", 1, false, "", false, ""}},
        {"UsePW read like atoi", Config("<UsePW> 2x</UsePW>"), true, {"", "", 2, false, "", false, ""}},
        {"UsePW not a number", Config("<UsePW>yes</UsePW>"), true, {"", "", 0, false, "", false, ""}},
        {"pid without UsePW", Config("<pid>x</pid>"), true,
         {"", "", 0, true, "9dd4e461268c8034f5c8564e155c67a6", false, ""}},
        {"empty pid element tag", Config("<pid/>"), true, {"", "", 0, true, kEmptyDigest, false, ""}},
        {"empty pid element", Config("<pid></pid>"), true, {"", "", 0, true, kEmptyDigest, false, ""}},
        {"pid leading space", Config("<pid> x</pid>"), true,
         {"", "", 0, true, "f6ad5d21eaa32e5b71fa58df6050314c", false, ""}},
        {"pid trailing space", Config("<pid>x </pid>"), true,
         {"", "", 0, true, "45b32ea04698cee08d688a80f4a9c2ad", false, ""}},
        {"pid reference", Config("<pid>a&amp;b</pid>"), true,
         {"", "", 0, true, "b96e7bda9c9feee3259b177bd456b0a5", false, ""}},
        {"pid CDATA", Config("<pid><![CDATA[a&b]]></pid>"), true,
         {"", "", 0, true, "b96e7bda9c9feee3259b177bd456b0a5", false, ""}},
        // The deployer's quoting stays as written, untrimmed; references are decoded.
        {"Args as written", Config("<Args> /qn \"a b\" &quot;c&quot; </Args><Run>r</Run>"), true,
         {"r", "", 0, false, "", false, " /qn \"a b\" \"c\" "}},
        {"Cache on", Config("<Run>a</Run><Cache>1</Cache>"), true, {"a", "", 0, false, "", true, ""}},
        {"Cache read like atoi", Config("<Cache> 2x</Cache>"), true, {"", "", 0, false, "", true, ""}},
        {"Cache 0", Config("<Cache>0</Cache>"), true, {}},
        {"Cache not a number", Config("<Cache>yes</Cache>"), true, {}},
        {"Cache empty", Config("<Cache/>"), true, {}},
        {"wrong-case root", "<qx_zcd><Run>a</Run><pid>x</pid></qx_zcd>", false, {}},
        {"wrong-case key", Config("<cache>1</cache>"), true, {}},
        {"does not load", Config("<Run>a</Run><UsePW>1</UsePW>") + "</x>", false, {}},
        {"empty text", "", false, {}},
    };
    for (const auto& c : cases) {
        // Start from other values: a failed read must leave the defaults.
        LaunchConfig config{"stale", "stale", 7, true, "stale", true, "stale"};
        EXPECT_EQ(ReadLaunchConfig(c.text, config), c.ok) << c.name;
        EXPECT_EQ(config.run, c.expected.run) << c.name;
        EXPECT_EQ(config.title, c.expected.title) << c.name;
        EXPECT_EQ(config.usePassword, c.expected.usePassword) << c.name;
        EXPECT_EQ(config.hasPid, c.expected.hasPid) << c.name;
        EXPECT_EQ(config.password, c.expected.password) << c.name;
        EXPECT_EQ(config.args, c.expected.args) << c.name;
        EXPECT_EQ(config.cache, c.expected.cache) << c.name;
    }
}

// Whatever the pid text, the password is 32 lower-case hex characters.
TEST(ConfigRead, PasswordShape) {
    for (const std::string& pid : {std::string(), std::string(" "), std::string("\xe9t\xe9"), std::string("&lt;&#65;"),
                                   std::string(900, 'p')}) {
        LaunchConfig config;
        ASSERT_TRUE(ReadLaunchConfig(Config("<pid>" + pid + "</pid>"), config)) << pid;
        ASSERT_EQ(config.password.size(), 32u) << pid;
        EXPECT_EQ(config.password.find_first_not_of("0123456789abcdef"), std::string::npos) << config.password;
    }
}

TEST(ConfigInteger, ReadsLikeAtoi) {
    const struct {
        const char* text;
        int value;
    } cases[] = {
        {"", 0},          {"0", 0},        {"12", 12},        {" \t\r\n\v\f12", 12}, {"-7", -7},
        {"+5", 5},        {"5x", 5},       {"x5", 0},         {"- 5", 0},            {"--5", 0},
        {"0x10", 0},      {"007", 7},      {"1 2", 1},        {"2147483647", INT_MAX},
        {"2147483648", INT_MAX},           {"99999999999999999999", INT_MAX},
        {"-2147483648", INT_MIN},          {"-99999999999", INT_MIN},
    };
    for (const auto& c : cases) EXPECT_EQ(ConfigInteger(c.text), c.value) << '"' << c.text << '"';
}

// The start-up decision reads the configuration from the executable's payload.
TEST(ConfigSilent, ExtractorReadsItsOwnPayload) {
    test_util::ScratchDir dir;
    unsigned char marker[CSFEFileExtractor::kMarkerSize];
    CSFEFileExtractor::MarkerBytes(marker);
    for (const auto& [config, silent] : {std::pair<std::string, bool>{Config("<Prog>0</Prog>"), true},
                                         {Config("<Prog>1</Prog>"), false},
                                         {Config(""), false}}) {
        std::string image(CSFEFileExtractor::kScanStart + 10, 'S');
        image.append(reinterpret_cast<const char*>(marker), sizeof marker);
        const std::uint32_t length = static_cast<std::uint32_t>(config.size());
        for (int i = 0; i < 4; ++i) image += static_cast<char>(length >> (8 * i));
        image += config;
        image += "PK\x05\x06";

        CSFEFileExtractor extractor;
        extractor.m_strModulePath = dir.Write("stub.exe", image);
        EXPECT_EQ(extractor.IsSilentConfigured(), silent) << config;
    }
}

// The launcher and sfxpack verify ask this one question of every entry.
TEST(ConfigRunProgram, WhichEntryIsTheProgram) {
    const struct {
        const char* entry;
        const char* run;
        bool program;
    } cases[] = {
        {"app.exe", "app.exe", true},
        {"bin\\app.exe", "bin\\app.exe", true},
        {"bin\\app.exe", "bin/app.exe", true},   // a configuration written with '/'
        {"bin/app.exe", "bin\\app.exe", true},
        {"BIN\\App.EXE", "bin\\app.exe", true},  // case does not matter, as on Windows
        {"bin\\app.exe", "app.exe", false},
        {"app.exe", "bin\\app.exe", false},
        {"app.exe.txt", "app.exe", false},
        {"", "", false},                        // no program configured
        {"app.exe", "", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsRunProgram(c.entry, c.run), c.program) << c.entry << " / " << c.run;
}

}  // namespace
