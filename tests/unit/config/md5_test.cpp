#include "payload/md5.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "test_util/scratch.h"

namespace {

std::string Digest(const std::string& text) { return Md5Digest().DigestText(text.data(), text.size()); }

// A message whose bytes run through every value, so that no byte is special.
std::string Pattern(std::size_t length) {
    std::string text(length, '\0');
    for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<char>((i * 7 + i / 256) & 0xff);
    return text;
}

TEST(Md5Digest, Rfc1321Suite) {
    const struct {
        const char* message;
        const char* digest;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"1234567890123456789012345678901234567890"
         "1234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& c : cases) EXPECT_EQ(Digest(c.message), c.digest) << '"' << c.message << '"';
}

// Lengths around the padding boundaries (55/56 and 63/64 bytes mod 64), each
// checked against the system's md5sum.
TEST(Md5Digest, MatchesIndependentTool) {
    test_util::ScratchDir dir;
    for (std::size_t length : {1u, 55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 128u, 1000u, 70000u}) {
        const std::string message = Pattern(length);
        dir.Write("m.bin", message);
        const std::string command = "md5sum '" + dir.Native("m.bin") + "'";
        FILE* pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        char line[33] = {};
        const std::size_t got = std::fread(line, 1, 32, pipe);
        ASSERT_EQ(pclose(pipe), 0) << command;
        ASSERT_EQ(got, 32u);
        EXPECT_EQ(Digest(message), std::string(line, 32)) << "length " << length;
    }
}

// Feeding the message in pieces gives the digest of the whole, wherever it is cut.
TEST(Md5Digest, PiecewiseUpdateEqualsWhole) {
    const std::string message = Pattern(200);
    const std::string whole = Digest(message);
    for (std::size_t cut = 0; cut <= message.size(); ++cut) {
        Md5Digest md5;
        md5.Update(message.data(), cut);
        md5.Update(message.data() + cut, message.size() - cut);
        EXPECT_EQ(md5.HexDigest(), whole) << "cut at " << cut;
    }
    Md5Digest bytewise;
    for (char c : message) bytewise.Update(&c, 1);
    EXPECT_EQ(bytewise.HexDigest(), whole);
}

TEST(Md5Digest, ObjectIsReusableAfterHexDigest) {
    Md5Digest md5;
    const std::string first = md5.DigestText("x", 1);
    EXPECT_EQ(md5.DigestText("x", 1), first);
    EXPECT_EQ(md5.DigestText("", 0), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(Md5Digest, NullPointerGivesEmptyTextButEmptyMessageHasADigest) {
    Md5Digest md5;
    EXPECT_EQ(md5.DigestText(nullptr, 0), "");
    EXPECT_EQ(md5.DigestText("", 0), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(Md5Digest, FinishWritesRawDigestBytes) {
    Md5Digest md5;
    md5.Update("abc", 3);
    unsigned char digest[16];
    md5.Finish(digest);
    const unsigned char expected[16] = {0x90, 0x01, 0x50, 0x98, 0x3c, 0xd2, 0x4f, 0xb0,
                                        0xd6, 0x96, 0x3f, 0x7d, 0x28, 0xe1, 0x7f, 0x72};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(digest[i], expected[i]) << "byte " << i;
}

}  // namespace
