// Rewriting a stub's resources: icon, version and manifest in PE32 and PE32+
// images made here, the sizes, directory and checksum that follow the grown
// section, and clear errors (never a crash) for damaged stubs and icons.
// Real stubs, read back by wrestool, 7-Zip and osslsigncode, are checked by
// tests/e2e/stub/test_sfxpack_resources.py.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <string>

#include "tools/sfxpack/peresources.h"

namespace {

using sfxpack::Bytes;
using sfxpack::PackError;
using sfxpack::ResourceId;
using sfxpack::ResourceOptions;
using sfxpack::ResourceTree;

constexpr std::uint32_t kPeOffset = 0x80;
constexpr std::uint32_t kOptional = kPeOffset + 24;
constexpr std::uint32_t kResourceRva = 0x2000;
constexpr std::uint32_t kResourceRaw = 0x400;
constexpr std::uint16_t kEnglish = 0x0409;
const char kManifest[] = "<assembly><requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/></assembly>";

std::uint32_t Get32(const Bytes& b, std::size_t at) {
    return b.at(at) | (b.at(at + 1) << 8) | (b.at(at + 2) << 16) | (static_cast<std::uint32_t>(b.at(at + 3)) << 24);
}
std::uint16_t Get16(const Bytes& b, std::size_t at) { return static_cast<std::uint16_t>(b.at(at) | (b.at(at + 1) << 8)); }

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

ResourceId Id(std::uint16_t id) { return ResourceId{{}, id}; }

Bytes Group(std::uint16_t iconId) {
    Bytes g;
    sfxpack::Append16(g, 0);
    sfxpack::Append16(g, 1);
    sfxpack::Append16(g, 1);
    for (unsigned char b : {16, 16, 0, 0}) g.push_back(b);
    sfxpack::Append16(g, 1);
    sfxpack::Append16(g, 32);
    sfxpack::Append32(g, 8);
    sfxpack::Append16(g, iconId);
    return g;
}

// The stub's resources: group 128 showing icon 1, another group showing icon
// 7, a dialog with a name, and the manifest.
ResourceTree StubResources() {
    ResourceTree tree;
    tree[Id(3)][Id(1)][kEnglish].data = Text("old icon");
    tree[Id(3)][Id(7)][kEnglish].data = Text("other icon");
    tree[Id(14)][Id(128)][kEnglish].data = Group(1);
    tree[Id(14)][Id(200)][kEnglish].data = Group(7);
    tree[Id(5)][ResourceId{u"MAIN", 0}][kEnglish].data = Text("dialog bytes");
    tree[Id(24)][Id(1)][kEnglish].data = Text(kManifest);
    return tree;
}

std::size_t DirectoryCountAt(bool pe64) { return kOptional + (pe64 ? 108 : 92); }
std::size_t ResourceDirectoryAt(bool pe64) { return DirectoryCountAt(pe64) + 4 + 2 * 8; }
std::size_t SectionTableAt(bool pe64) { return kOptional + (pe64 ? 240 : 224); }

// A PE image with a code section and the resource section last.
Bytes MakeStub(bool pe64, const ResourceTree& resources = StubResources()) {
    const Bytes rsrc = sfxpack::BuildResources(resources, kResourceRva);
    const std::uint32_t rawSize = static_cast<std::uint32_t>((rsrc.size() + 0x1FF) / 0x200 * 0x200);
    Bytes b(kResourceRaw + rawSize, 0);
    b[0] = 'M', b[1] = 'Z';
    sfxpack::Put32(b, 0x3C, kPeOffset);
    sfxpack::Put32(b, kPeOffset, 0x00004550);
    sfxpack::Put16(b, kPeOffset + 4, pe64 ? 0x8664 : 0x14C);
    sfxpack::Put16(b, kPeOffset + 6, 2);
    sfxpack::Put16(b, kPeOffset + 20, pe64 ? 240 : 224);
    sfxpack::Put16(b, kOptional, pe64 ? 0x20B : 0x10B);
    sfxpack::Put32(b, kOptional + 8, rawSize);
    sfxpack::Put32(b, kOptional + 32, 0x1000);
    sfxpack::Put32(b, kOptional + 36, 0x200);
    sfxpack::Put32(b, kOptional + 56, 0x3000);
    sfxpack::Put32(b, kOptional + 60, 0x200);
    sfxpack::Put32(b, DirectoryCountAt(pe64), 16);
    sfxpack::Put32(b, ResourceDirectoryAt(pe64), kResourceRva);
    sfxpack::Put32(b, ResourceDirectoryAt(pe64) + 4, static_cast<std::uint32_t>(rsrc.size()));
    const std::size_t text = SectionTableAt(pe64), res = text + 40;
    for (std::size_t i = 0; i < 5; ++i) b[text + i] = static_cast<unsigned char>(".text"[i]);
    sfxpack::Put32(b, text + 8, 0x100);
    sfxpack::Put32(b, text + 12, 0x1000);
    sfxpack::Put32(b, text + 16, 0x200);
    sfxpack::Put32(b, text + 20, 0x200);
    for (std::size_t i = 0; i < 5; ++i) b[res + i] = static_cast<unsigned char>(".rsrc"[i]);
    sfxpack::Put32(b, res + 8, static_cast<std::uint32_t>(rsrc.size()));
    sfxpack::Put32(b, res + 12, kResourceRva);
    sfxpack::Put32(b, res + 16, rawSize);
    sfxpack::Put32(b, res + 20, kResourceRaw);
    std::copy(rsrc.begin(), rsrc.end(), b.begin() + kResourceRaw);
    return b;
}

// An .ico file: one directory entry per image, images after the directory.
struct IcoImage {
    int size;
    Bytes data;
};
Bytes MakeIco(const std::vector<IcoImage>& images) {
    Bytes ico;
    sfxpack::Append16(ico, 0);
    sfxpack::Append16(ico, 1);
    sfxpack::Append16(ico, static_cast<std::uint32_t>(images.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
    for (const IcoImage& image : images) {
        ico.push_back(static_cast<unsigned char>(image.size == 256 ? 0 : image.size));
        ico.push_back(static_cast<unsigned char>(image.size == 256 ? 0 : image.size));
        ico.push_back(0);
        ico.push_back(0);
        sfxpack::Append16(ico, 1);
        sfxpack::Append16(ico, 32);
        sfxpack::Append32(ico, static_cast<std::uint32_t>(image.data.size()));
        sfxpack::Append32(ico, offset);
        offset += static_cast<std::uint32_t>(image.data.size());
    }
    for (const IcoImage& image : images) ico.insert(ico.end(), image.data.begin(), image.data.end());
    return ico;
}
Bytes Bitmap(int size, unsigned char fill) {
    Bytes b;
    sfxpack::Append32(b, 40);
    sfxpack::Append32(b, static_cast<std::uint32_t>(size));
    sfxpack::Append32(b, static_cast<std::uint32_t>(size * 2));
    sfxpack::Append16(b, 1);
    sfxpack::Append16(b, 32);
    b.resize(40 + static_cast<std::size_t>(size * size * 4 + size * 4), fill);
    return b;
}
Bytes Png(std::size_t size) {
    Bytes b = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    for (std::size_t i = 0; b.size() < size; ++i) b.push_back(static_cast<unsigned char>(i * 7));
    return b;
}
std::vector<IcoImage> ThreeImages() { return {{16, Bitmap(16, 0x11)}, {32, Bitmap(32, 0x22)}, {256, Png(20000)}}; }

ResourceOptions AllOptions() {
    ResourceOptions o;
    o.icon = "app.ico";
    o.productName = "Demo Product";
    o.productVersion = "1.2.3.4";
    o.company = "ACME";
    o.description = "A demo";
    o.copyright = "\xC2\xA9 2024 ACME";
    o.admin = true;
    return o;
}

// The section of `image` at table index `index`: virtual size, RVA, raw size, raw pointer.
std::array<std::uint32_t, 4> Section(const Bytes& image, bool pe64, int index) {
    const std::size_t at = SectionTableAt(pe64) + 40 * static_cast<std::size_t>(index);
    return {Get32(image, at + 8), Get32(image, at + 12), Get32(image, at + 16), Get32(image, at + 20)};
}

TEST(PeResources, IconVersionAndManifestInAGrownSectionOfBothFormats) {
    for (bool pe64 : {false, true}) {
        SCOPED_TRACE(pe64 ? "PE32+" : "PE32");
        const Bytes stub = MakeStub(pe64);
        const Bytes out = sfxpack::ApplyResources(stub, AllOptions(), MakeIco(ThreeImages()));

        // The section grew past its old raw size; what follows it says so.
        const auto [virtualSize, rva, rawSize, rawPointer] = Section(out, pe64, 1);
        EXPECT_EQ(rva, kResourceRva);
        EXPECT_EQ(rawPointer, kResourceRaw);
        EXPECT_GT(rawSize, Section(stub, pe64, 1)[2]);
        EXPECT_EQ(rawSize % 0x200, 0u);
        EXPECT_GE(rawSize, virtualSize);
        EXPECT_LT(rawSize - virtualSize, 0x200u);
        EXPECT_EQ(out.size(), std::size_t{kResourceRaw} + rawSize);
        EXPECT_EQ(Get32(out, ResourceDirectoryAt(pe64)), kResourceRva);
        EXPECT_EQ(Get32(out, ResourceDirectoryAt(pe64) + 4), virtualSize);
        EXPECT_EQ(Get32(out, kOptional + 56), (kResourceRva + virtualSize + 0xFFF) / 0x1000 * 0x1000);
        EXPECT_EQ(Get32(out, kOptional + 8), rawSize);
        EXPECT_EQ(Get32(out, kOptional + 64), sfxpack::PeChecksum(out, kOptional + 64));
        EXPECT_EQ(Section(out, pe64, 0), Section(stub, pe64, 0));
        EXPECT_TRUE(std::equal(stub.begin() + 0x200, stub.begin() + kResourceRaw, out.begin() + 0x200))
            << "the code section is untouched";

        ResourceTree tree = sfxpack::ParseResources(
            Bytes(out.begin() + kResourceRaw, out.begin() + kResourceRaw + virtualSize), kResourceRva);
        const Bytes group = tree[Id(14)][Id(128)][kEnglish].data;
        ASSERT_EQ(Get16(group, 4), 3);
        const auto images = ThreeImages();
        for (std::size_t i = 0; i < images.size(); ++i) {
            const std::size_t entry = 6 + 14 * i;
            EXPECT_EQ(group[entry], images[i].size == 256 ? 0 : images[i].size);
            EXPECT_EQ(Get16(group, entry + 6), 32);
            EXPECT_EQ(Get32(group, entry + 8), images[i].data.size());
            EXPECT_EQ(tree[Id(3)][Id(Get16(group, entry + 12))][kEnglish].data, images[i].data);
        }
        EXPECT_EQ(tree[Id(3)].size(), 4u) << "the old image went, the other group's stayed";
        EXPECT_EQ(tree[Id(3)][Id(7)][kEnglish].data, Text("other icon"));
        EXPECT_EQ(tree[Id(14)][Id(200)][kEnglish].data, Group(7));
        EXPECT_EQ((tree[Id(5)][ResourceId{u"MAIN", 0}][kEnglish].data), Text("dialog bytes"));
        const Bytes manifest = tree[Id(24)][Id(1)][kEnglish].data;
        EXPECT_NE(std::string(manifest.begin(), manifest.end()).find("level=\"requireAdministrator\" uiAccess"),
                  std::string::npos);
        EXPECT_EQ(tree[Id(16)][Id(1)][kEnglish].data, sfxpack::BuildVersionResource(AllOptions()));
    }
}

TEST(PeResources, VersionResourceLayout) {
    const Bytes v = sfxpack::BuildVersionResource(AllOptions());
    EXPECT_EQ(Get16(v, 0), v.size());
    EXPECT_EQ(Get16(v, 2), 52) << "VS_FIXEDFILEINFO";
    const std::u16string key = u"VS_VERSION_INFO";
    for (std::size_t i = 0; i < key.size(); ++i) EXPECT_EQ(Get16(v, 6 + 2 * i), key[i]);
    EXPECT_EQ(Get32(v, 40), 0xFEEF04BDu);
    for (std::size_t at : {48u, 56u}) {  // file, then product version
        EXPECT_EQ(Get32(v, at), 0x00010002u);
        EXPECT_EQ(Get32(v, at + 4), 0x00030004u);
    }
    // Each string: key and value in UTF-16, the value's length in characters.
    auto find = [&](const std::u16string& text) {
        Bytes needle;
        for (char16_t c : text) sfxpack::Append16(needle, c);
        return std::search(v.begin(), v.end(), needle.begin(), needle.end()) - v.begin();
    };
    for (const auto& [name, value] : {std::pair<std::u16string, std::u16string>{u"ProductName", u"Demo Product"},
                                      {u"LegalCopyright", u"\u00A9 2024 ACME"},
                                      {u"CompanyName", u"ACME"},
                                      {u"FileDescription", u"A demo"},
                                      {u"FileVersion", u"1.2.3.4"},
                                      {u"ProductVersion", u"1.2.3.4"},
                                      {u"040904B0", u""},
                                      {u"Translation", u""}}) {
        const auto at = find(name);
        ASSERT_LT(static_cast<std::size_t>(at), v.size()) << std::string(name.begin(), name.end());
        if (value.empty()) continue;
        const std::size_t node = static_cast<std::size_t>(at) - 6;
        EXPECT_EQ(Get16(v, node + 2), value.size() + 1);
        EXPECT_EQ(Get16(v, node + 4), 1) << "text";
        EXPECT_EQ(find(value) % 4, 0) << "the value starts on a 4-byte boundary";
    }
}

TEST(PeResources, VersionNumbers) {
    const struct {
        const char* text;
        std::array<std::uint16_t, 4> parts;
    } good[] = {{"1.2.3.4", {1, 2, 3, 4}}, {"7", {7, 0, 0, 0}}, {"65535.0.65535.9", {65535, 0, 65535, 9}},
                {"01.002", {1, 2, 0, 0}}};
    for (const auto& c : good) EXPECT_EQ(sfxpack::ParseVersion(c.text), c.parts) << c.text;
    for (const char* bad : {"", "1.2.3.4.5", "65536", "1.70000", "1..2", "1.", ".1", "-1", "1.a", " 1", "1.2.3.4 ",
                            "99999999999999999999", "0x10"}) {
        try {
            sfxpack::ParseVersion(bad);
            ADD_FAILURE() << "accepted \"" << bad << "\"";
        } catch (const PackError& e) {
            EXPECT_NE(std::string(e.what()).find("0 to 65535"), std::string::npos) << e.what();
        }
    }
}

std::string ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const PackError& e) {
        return e.what();
    }
    return "";
}

TEST(PeResources, MalformedIconsAreRefused) {
    const Bytes good = MakeIco(ThreeImages());
    auto changed = [&](std::size_t at, std::vector<unsigned char> bytes) {
        Bytes b = good;
        std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
        return b;
    };
    const struct {
        const char* name;
        Bytes ico;
        const char* message;
    } cases[] = {
        {"empty file", {}, "the header lies beyond"},
        {"a cursor", changed(2, {2, 0}), "does not say icon"},
        {"a bitmap file", Text("BM\x36\x00\x00\x00\x00\x00\x00\x00\x36\x00\x00\x00"), "does not say icon"},
        {"no images", changed(4, {0, 0}), "holds no images"},
        {"directory beyond the file", changed(4, {0xFF, 0xFF}), "image directory lies beyond"},
        {"image beyond the file", changed(6 + 32 + 8, {0xFF, 0xFF, 0xFF, 0x7F}), "an image lies beyond"},
        {"offset wraps around", changed(6 + 32 + 12, {0xFF, 0xFF, 0xFF, 0xFF}), "an image lies beyond"},
        {"image inside the directory", changed(6 + 12, {6, 0, 0, 0}), "overlaps the image directory"},
        {"empty image", changed(6 + 8, {0, 0, 0, 0}), "an image is empty"},
        {"neither PNG nor bitmap", changed(6 + 48, {'G', 'I', 'F', '8'}), "neither PNG nor a bitmap"},
        {"cut inside the last image", Bytes(good.begin(), good.end() - 1), "an image lies beyond"},
    };
    for (const auto& c : cases) {
        const std::string error = ErrorOf([&] { sfxpack::ApplyResources(MakeStub(false), AllOptions(), c.ico); });
        EXPECT_NE(error.find("not an icon file (.ico)"), std::string::npos) << c.name << ": " << error;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.name << ": " << error;
    }
}

TEST(PeResources, DamagedOrUnsuitableStubsGiveClearErrors) {
    auto stub = [](const std::function<void(Bytes&)>& damage, bool pe64 = false) {
        Bytes b = MakeStub(pe64);
        damage(b);
        return b;
    };
    ResourceTree noIcon = StubResources();
    noIcon.erase(Id(14));
    ResourceTree noManifest = StubResources();
    noManifest.erase(Id(24));
    ResourceTree elevated = StubResources();
    elevated[Id(24)][Id(1)][kEnglish].data = Text("<requestedExecutionLevel level=\"highestAvailable\"/>");
    const struct {
        const char* name;
        Bytes image;
        const char* message;
    } cases[] = {
        {"an ELF program", Text("\x7F" "ELF\x02\x01\x01"), "not a Windows program"},
        {"no PE signature", stub([](Bytes& b) { b[kPeOffset] = 'X'; }), "not a Windows program"},
        {"PE header beyond the file", stub([](Bytes& b) { sfxpack::Put32(b, 0x3C, 0x7FFFFFF0); }), "not a Windows program"},
        {"neither PE32 nor PE32+", stub([](Bytes& b) { sfxpack::Put16(b, kOptional, 0x107); }), "neither PE32 nor PE32+"},
        {"too many directories", stub([](Bytes& b) { sfxpack::Put32(b, DirectoryCountAt(false), 40); }),
         "data directories"},
        {"no security directory slot", stub([](Bytes& b) { sfxpack::Put32(b, DirectoryCountAt(false), 3); }),
         "data directories"},
        {"odd file alignment", stub([](Bytes& b) { sfxpack::Put32(b, kOptional + 36, 0x300); }), "alignment"},
        {"section table beyond the file", stub([](Bytes& b) { sfxpack::Put16(b, kPeOffset + 6, 0xFFFF); }),
         "section table lies beyond"},
        {"section table beyond the headers", stub([](Bytes& b) { sfxpack::Put32(b, kOptional + 60, 0x100); }),
         "beyond its headers"},
        {"no sections", stub([](Bytes& b) { sfxpack::Put16(b, kPeOffset + 6, 0); }), "no sections"},
        {"symbols after the sections", stub([](Bytes& b) { sfxpack::Put32(b, kPeOffset + 12, 0x400); }),
         "symbol table"},
        {"signed", stub([](Bytes& b) { sfxpack::Put32(b, ResourceDirectoryAt(false) + 2 * 8 + 4, 0x100); }),
         "sign the launcher after packing"},
        {"no resources", stub([](Bytes& b) { sfxpack::Put32(b, ResourceDirectoryAt(false), 0); }), "no resources"},
        {"resources inside a section",
         stub([](Bytes& b) { sfxpack::Put32(b, ResourceDirectoryAt(false), kResourceRva + 0x10); }),
         "do not start a section"},
        {"resource section not last", stub([](Bytes& b) {
             // Swap the two section headers: .text now follows .rsrc in the table.
             const std::size_t table = SectionTableAt(false);
             std::swap_ranges(b.begin() + static_cast<std::ptrdiff_t>(table),
                              b.begin() + static_cast<std::ptrdiff_t>(table + 40),
                              b.begin() + static_cast<std::ptrdiff_t>(table + 40));
         }),
         "not its last section (.text follows it)"},
        {"a section beyond the resources in memory",
         stub([](Bytes& b) { sfxpack::Put32(b, SectionTableAt(false) + 12, 0x5000); }), "lies beyond the resource"},
        {"data after the last section", stub([](Bytes& b) { b.push_back(0); }), "data follows its last section"},
        {"resources over the headers", stub([](Bytes& b) {
             // Raw data said to start at 0x100 and to reach the end of the file.
             const std::size_t rsrc = SectionTableAt(false) + 40;
             sfxpack::Put32(b, rsrc + 20, 0x100);
             sfxpack::Put32(b, rsrc + 16, static_cast<std::uint32_t>(b.size() - 0x100));
             sfxpack::Put32(b, SectionTableAt(false) + 20, 0x80);
             sfxpack::Put32(b, SectionTableAt(false) + 16, 0);
         }),
         "overlaps its headers"},
        {"resource section cut", stub([](Bytes& b) { b.resize(b.size() - 0x100); }), "data follows its last section"},
        {"resource directory beyond the section",
         stub([](Bytes& b) { sfxpack::Put16(b, kResourceRaw + 14, 0x4000); }), "it holds too many resources"},
        {"a type entry pointing beyond the section",
         stub([](Bytes& b) { sfxpack::Put32(b, kResourceRaw + 16 + 4, 0x80000000 | 0xFFF0); }),
         "a resource directory lies beyond"},
        {"a leaf where a directory belongs",
         stub([](Bytes& b) { sfxpack::Put32(b, kResourceRaw + 16 + 4, 0x10); }), "not three levels deep"},
        {"a directory that contains itself",
         stub([](Bytes& b) {
             // The first type's directory becomes the root: every level finds the root again.
             sfxpack::Put32(b, kResourceRaw + 16 + 4, 0x80000000);
         }),
         "not three levels deep"},
        {"resource data beyond the section",
         stub([](Bytes& b) {
             // The data entries follow the directories; the first one's size becomes huge.
             for (std::size_t at = kResourceRaw; at + 4 < b.size(); at += 4) {
                 if (Get32(b, at) >= kResourceRva && Get32(b, at) < kResourceRva + 0x1000 && Get32(b, at + 4) == 8) {
                     sfxpack::Put32(b, at + 4, 0x7FFFFFFF);
                     break;
                 }
             }
         }),
         "a resource's data lies beyond"},
        {"no icon group 128", MakeStub(false, noIcon), "no icon group 128"},
        {"no manifest", MakeStub(false, noManifest), "no manifest"},
        {"a manifest without asInvoker", MakeStub(false, elevated), "asInvoker"},
    };
    for (const auto& c : cases) {
        const std::string error =
            ErrorOf([&] { sfxpack::ApplyResources(c.image, AllOptions(), MakeIco(ThreeImages())); });
        EXPECT_NE(error.find(c.message), std::string::npos) << c.name << ": \"" << error << "\"";
    }
}

// Whatever byte of a stub is damaged, or wherever it is cut, the result is a
// PackError or an image whose resources read back; never a crash or another
// exception (the sanitizer build watches the reads).
TEST(PeResources, EveryDamagedByteGivesAnErrorOrAValidImage) {
    for (bool pe64 : {false, true}) {
        const Bytes stub = MakeStub(pe64);
        const Bytes icon = MakeIco(ThreeImages());
        int refused = 0, accepted = 0;
        auto attempt = [&](const Bytes& image) {
            try {
                const Bytes out = sfxpack::ApplyResources(image, AllOptions(), icon);
                ++accepted;
            } catch (const PackError&) {
                ++refused;
            }
        };
        for (std::size_t at = 0; at < stub.size(); ++at) {
            if (at >= 0x200 && at < kResourceRaw) continue;  // the code section is never read
            for (unsigned char mask : {0x01, 0x80, 0xFF}) {
                Bytes damaged = stub;
                damaged[at] ^= mask;
                attempt(damaged);
            }
        }
        for (std::size_t length = 0; length < stub.size(); ++length) attempt(Bytes(stub.begin(), stub.begin() + length));
        EXPECT_GT(refused, 0);
        EXPECT_GT(accepted, 0);
    }
}

TEST(PeResources, ChecksumKnownAnswers) {
    const struct {
        Bytes data;
        std::size_t field;
        std::uint32_t sum;
    } cases[] = {
        {{0x01, 0x02, 0x03, 0x04}, 100, 0x0604 + 4},
        {{0xFF, 0xFF, 0xFF, 0xFF}, 100, 0xFFFF + 4},            // the carry folds back
        {{0x01, 0x02, 0x03}, 100, 0x0201 + 0x0003 + 3},          // an odd last byte counts as a word
        {{0x01, 0x02, 0xAA, 0xBB, 0xCC, 0xDD, 0x03, 0x04}, 2, 0x0604 + 8},  // the field itself counts as zero
    };
    for (const auto& c : cases) EXPECT_EQ(sfxpack::PeChecksum(c.data, c.field), c.sum);
}

}  // namespace
