#include "tools/sfxpack/peresources.h"

#include <algorithm>
#include <istream>
#include <set>

#include "tools/sfxpack/utf8.h"

namespace sfxpack {

namespace {

// Resource types.
constexpr std::uint16_t kTypeIcon = 3;
constexpr std::uint16_t kTypeGroupIcon = 14;
constexpr std::uint16_t kTypeVersion = 16;
constexpr std::uint16_t kTypeManifest = 24;
constexpr std::uint16_t kIconGroup = 128;       // the stub's icon (IDR_MAINFRAME)
constexpr std::uint16_t kProcessManifest = 1;   // the manifest the loader reads
constexpr std::uint16_t kEnglishUs = 0x0409;
constexpr std::uint16_t kUnicodeCodePage = 1200;

// PE header fields, by offset.
constexpr std::size_t kDosNewHeader = 0x3C;    // e_lfanew
constexpr std::size_t kCoffSize = 20;
constexpr std::size_t kCoffSections = 2;
constexpr std::size_t kCoffSymbols = 8;        // PointerToSymbolTable
constexpr std::size_t kCoffOptionalSize = 16;
constexpr std::size_t kOptInitializedData = 8;
constexpr std::size_t kOptSectionAlignment = 32;
constexpr std::size_t kOptFileAlignment = 36;
constexpr std::size_t kOptImageSize = 56;
constexpr std::size_t kOptHeadersSize = 60;
constexpr std::size_t kOptChecksum = 64;
constexpr std::size_t kOptDirectoryCount32 = 92, kOptDirectoryCount64 = 108;
constexpr std::uint16_t kMagic32 = 0x10B, kMagic64 = 0x20B;
constexpr std::size_t kDirectoryResources = 2;
constexpr std::size_t kDirectorySecurity = 4;
constexpr std::size_t kSectionSize = 40;
constexpr std::size_t kSecVirtualSize = 8, kSecVirtualAddress = 12, kSecRawSize = 16, kSecRawPointer = 20;

// Resource directory records.
constexpr std::size_t kDirHeader = 16;          // characteristics, time, version, named and numbered counts
constexpr std::size_t kDirEntry = 8;
constexpr std::size_t kDataEntry = 16;          // RVA, size, code page, reserved
constexpr std::uint32_t kHighBit = 0x80000000;
constexpr std::size_t kMaxResources = 4096;  // directory entries, all levels together

// Bounds-checked little-endian reads from a byte buffer; `what` names the
// input in the message when a field lies beyond it.
class Reader {
public:
    Reader(const Bytes& data, std::string what) : m_data(data), m_what(std::move(what)) {}
    void Need(std::size_t at, std::size_t count, const char* field) const {
        if (at > m_data.size() || count > m_data.size() - at)
            throw PackError(m_what + ": " + field + " lies beyond the end of the data");
    }
    std::uint8_t U8(std::size_t at, const char* field) const {
        Need(at, 1, field);
        return m_data[at];
    }
    std::uint16_t U16(std::size_t at, const char* field) const {
        Need(at, 2, field);
        return static_cast<std::uint16_t>(m_data[at] | (m_data[at + 1] << 8));
    }
    std::uint32_t U32(std::size_t at, const char* field) const {
        Need(at, 4, field);
        return static_cast<std::uint32_t>(U16(at, field)) | (static_cast<std::uint32_t>(U16(at + 2, field)) << 16);
    }
    Bytes Slice(std::size_t at, std::size_t count, const char* field) const {
        Need(at, count, field);
        return Bytes(m_data.begin() + static_cast<std::ptrdiff_t>(at),
                     m_data.begin() + static_cast<std::ptrdiff_t>(at + count));
    }
    [[noreturn]] void Fail(const std::string& why) const { throw PackError(m_what + ": " + why); }

private:
    const Bytes& m_data;
    std::string m_what;
};

std::uint64_t AlignUp(std::uint64_t value, std::uint32_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

bool IsPowerOfTwo(std::uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

// Where the headers of a PE image are, checked against the file.
struct PeLayout {
    std::size_t optional = 0;       // optional header
    std::size_t directories = 0;    // data directory array
    std::uint32_t directoryCount = 0;
    std::size_t sections = 0;       // section table
    std::uint16_t sectionCount = 0;
    std::uint32_t fileAlignment = 0, sectionAlignment = 0;
};

const char kStubName[] = "the stub is not a PE image sfxpack can change";

PeLayout ReadLayout(const Reader& r) {
    if (r.U16(0, "the DOS header") != 0x5A4D) r.Fail("no MZ header");
    const std::uint32_t pe = r.U32(kDosNewHeader, "the PE header's offset");
    if (r.U32(pe, "the PE signature") != 0x00004550) r.Fail("no PE signature");
    PeLayout l;
    const std::size_t coff = pe + 4;
    r.Need(coff, kCoffSize, "the COFF header");
    l.sectionCount = r.U16(coff + kCoffSections, "the section count");
    if (r.U32(coff + kCoffSymbols, "the symbol table pointer") != 0)
        r.Fail("it carries a COFF symbol table after its sections; strip it first");
    const std::uint16_t optionalSize = r.U16(coff + kCoffOptionalSize, "the optional header size");
    l.optional = coff + kCoffSize;
    const std::uint16_t magic = r.U16(l.optional, "the optional header");
    if (magic != kMagic32 && magic != kMagic64) r.Fail("neither PE32 nor PE32+");
    const std::size_t countAt = magic == kMagic32 ? kOptDirectoryCount32 : kOptDirectoryCount64;
    l.directoryCount = r.U32(l.optional + countAt, "the data directory count");
    l.directories = l.optional + countAt + 4;
    if (l.directoryCount <= kDirectorySecurity || l.directoryCount > 16 ||
        countAt + 4 + std::size_t{l.directoryCount} * 8 > optionalSize)
        r.Fail("its data directories do not fit its optional header");
    l.fileAlignment = r.U32(l.optional + kOptFileAlignment, "the file alignment");
    l.sectionAlignment = r.U32(l.optional + kOptSectionAlignment, "the section alignment");
    if (!IsPowerOfTwo(l.fileAlignment) || !IsPowerOfTwo(l.sectionAlignment) || l.fileAlignment < 0x200 ||
        l.fileAlignment > 0x10000 || l.sectionAlignment < l.fileAlignment)
        r.Fail("its file or section alignment is not one the loader accepts");
    l.sections = l.optional + optionalSize;
    if (l.sectionCount == 0) r.Fail("it has no sections");
    r.Need(l.sections, std::size_t{l.sectionCount} * kSectionSize, "the section table");
    if (l.sections + std::size_t{l.sectionCount} * kSectionSize >
        r.U32(l.optional + kOptHeadersSize, "the headers' size"))
        r.Fail("its section table lies beyond its headers");
    return l;
}

std::u16string ReadName(const Reader& r, std::size_t at) {
    const std::uint16_t length = r.U16(at, "a resource name");
    r.Need(at + 2, std::size_t{length} * 2, "a resource name");
    std::u16string name;
    for (std::size_t i = 0; i < length; ++i) name += static_cast<char16_t>(r.U16(at + 2 + 2 * i, "a resource name"));
    if (name.empty()) r.Fail("a resource name is empty");
    return name;
}

// One directory's entries: (id, offset field) pairs, checked.
// `budget` counts the entries still allowed: directories may point at each
// other, so the work is bounded rather than the shape.
std::vector<std::pair<ResourceId, std::uint32_t>> ReadDirectory(const Reader& r, std::size_t at, bool namesAllowed,
                                                                 bool subdirectories, std::size_t& budget) {
    const std::size_t count = std::size_t{r.U16(at + 12, "a resource directory")} + r.U16(at + 14, "a resource directory");
    if (count > budget) r.Fail("it holds too many resources");
    budget -= count;
    r.Need(at + kDirHeader, count * kDirEntry, "a resource directory's entries");
    std::vector<std::pair<ResourceId, std::uint32_t>> entries;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t e = at + kDirHeader + i * kDirEntry;
        const std::uint32_t name = r.U32(e, "a resource entry");
        const std::uint32_t offset = r.U32(e + 4, "a resource entry");
        ResourceId id;
        if ((name & kHighBit) != 0) {
            if (!namesAllowed) r.Fail("a resource language is a name");
            id.name = ReadName(r, name & ~kHighBit);
        } else {
            if (name > 0xFFFF) r.Fail("a resource number is beyond 65535");
            id.id = static_cast<std::uint16_t>(name);
        }
        if (((offset & kHighBit) != 0) != subdirectories) r.Fail("the resource tree is not three levels deep");
        entries.emplace_back(id, offset & ~kHighBit);
    }
    return entries;
}

void Align(Bytes& b, std::size_t alignment) { b.resize(AlignUp(b.size(), static_cast<std::uint32_t>(alignment)), 0); }

// VS_VERSIONINFO nodes: length, value length, type, key, value, children,
// each part starting on a 4-byte boundary.
Bytes VersionNode(const std::u16string& key, const Bytes& value, std::uint16_t valueLength, bool text,
                  const std::vector<Bytes>& children) {
    Bytes b(6, 0);
    for (char16_t c : key) Append16(b, c);
    Append16(b, 0);
    Align(b, 4);
    b.insert(b.end(), value.begin(), value.end());
    for (const Bytes& child : children) {
        Align(b, 4);
        b.insert(b.end(), child.begin(), child.end());
    }
    if (b.size() > 0xFFFF) throw PackError("the version texts are too long");
    Put16(b, 0, static_cast<std::uint32_t>(b.size()));
    Put16(b, 2, valueLength);
    Put16(b, 4, text ? 1 : 0);
    return b;
}

std::u16string Utf16(const std::string& text, const char* what) {
    std::u16string out;
    if (!Utf8ToUtf16(text, out)) throw PackError(std::string(what) + " is not UTF-8 text");
    return out;
}

Bytes StringValue(const std::string& key, const std::string& value, const char* option) {
    const std::u16string text = Utf16(value, option);
    Bytes b;
    for (char16_t c : text) Append16(b, c);
    Append16(b, 0);
    return VersionNode(Utf16(key, option), b, static_cast<std::uint16_t>(text.size() + 1), true, {});
}

// The icon IDs a group icon resource refers to (GRPICONDIR: 6-byte header,
// 14-byte entries ending with the ID).
std::vector<std::uint16_t> GroupIconIds(const Bytes& group) {
    const Reader r(group, "the stub's icon group");
    const std::uint16_t count = r.U16(4, "the icon count");
    std::vector<std::uint16_t> ids;
    for (std::size_t i = 0; i < count; ++i) ids.push_back(r.U16(6 + i * 14 + 12, "an icon entry"));
    return ids;
}

void ReplaceIcon(ResourceTree& tree, const std::vector<IconImage>& images) {
    const ResourceId groupType{{}, kTypeGroupIcon}, iconType{{}, kTypeIcon}, groupName{{}, kIconGroup};
    auto groups = tree.find(groupType);
    if (groups == tree.end() || groups->second.count(groupName) == 0)
        throw PackError("the stub has no icon group 128 to replace");
    ResourceNames& icons = tree[iconType];
    if (groups->second[groupName].empty()) throw PackError("the stub's icon group 128 is empty");
    const std::uint16_t language = groups->second[groupName].begin()->first;
    // The old group's images go, unless another group still shows them.
    std::set<std::uint16_t> old, kept;
    for (const auto& [lang, data] : groups->second[groupName])
        for (std::uint16_t id : GroupIconIds(data.data)) old.insert(id);
    groups->second.erase(groupName);
    for (const auto& [name, languages] : groups->second)
        for (const auto& [lang, data] : languages)
            for (std::uint16_t id : GroupIconIds(data.data)) kept.insert(id);
    for (std::uint16_t id : old)
        if (kept.count(id) == 0) icons.erase(ResourceId{{}, id});

    Bytes group;
    Append16(group, 0);
    Append16(group, 1);
    Append16(group, static_cast<std::uint32_t>(images.size()));
    std::uint16_t next = 1;
    for (const IconImage& image : images) {
        while (icons.count(ResourceId{{}, next}) != 0) {
            if (next == 0xFFFF) throw PackError("the stub has no free icon numbers left");
            ++next;
        }
        icons[ResourceId{{}, next}][language] = ResourceData{0, image.data};
        group.push_back(image.width);
        group.push_back(image.height);
        group.push_back(image.colors);
        group.push_back(0);
        Append16(group, image.planes);
        Append16(group, image.bitCount);
        Append32(group, static_cast<std::uint32_t>(image.data.size()));
        Append16(group, next);
    }
    groups->second[groupName][language] = ResourceData{0, group};
}

void RequireAdministrator(ResourceTree& tree) {
    const char from[] = "level=\"asInvoker\"";
    const char to[] = "level=\"requireAdministrator\"";
    auto manifests = tree.find(ResourceId{{}, kTypeManifest});
    if (manifests == tree.end() || manifests->second.count(ResourceId{{}, kProcessManifest}) == 0)
        throw PackError("the stub has no manifest in which --admin could ask for elevation");
    for (auto& [lang, manifest] : manifests->second[ResourceId{{}, kProcessManifest}]) {
        std::string text(manifest.data.begin(), manifest.data.end());
        const std::size_t at = text.find(from);
        if (at == std::string::npos)
            throw PackError("the stub's manifest does not ask for level=\"asInvoker\", so --admin cannot change it");
        text.replace(at, sizeof from - 1, to);
        manifest.data.assign(text.begin(), text.end());
    }
}

}  // namespace

bool ResourceOptions::AnyVersion() const {
    return productName || productVersion || company || description || copyright;
}

bool ResourceOptions::Any() const { return !icon.empty() || admin || AnyVersion(); }

bool ResourceId::operator<(const ResourceId& other) const {
    // Named entries come first, sorted by name; then numbered ones by number.
    if (name.empty() != other.name.empty()) return !name.empty();
    if (!name.empty()) return name < other.name;
    return id < other.id;
}

bool IsPeImage(const Bytes& image) {
    const Reader r(image, "");
    try {
        if (r.U16(0, "") != 0x5A4D) return false;
        return r.U32(r.U32(kDosNewHeader, ""), "") == 0x00004550;
    } catch (const PackError&) {
        return false;
    }
}

std::array<std::uint16_t, 4> ParseVersion(const std::string& text) {
    std::array<std::uint16_t, 4> parts{};
    const PackError error("--product-version must be A.B.C.D, four numbers of 0 to 65535 (missing ones count as 0): " +
                          text);
    std::size_t part = 0, start = 0;
    for (;;) {
        const std::size_t dot = text.find('.', start);
        const std::string number = text.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        if (part == 4 || number.empty() || number.size() > 5 ||
            !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }))
            throw error;
        const unsigned long value = std::stoul(number);
        if (value > 0xFFFF) throw error;
        parts[part++] = static_cast<std::uint16_t>(value);
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    return parts;
}

std::vector<IconImage> ParseIcon(const Bytes& file) {
    const Reader r(file, "not an icon file (.ico)");
    if (r.U16(0, "the header") != 0 || r.U16(2, "the header") != 1) r.Fail("the header does not say icon");
    const std::uint16_t count = r.U16(4, "the image count");
    if (count == 0) r.Fail("it holds no images");
    const std::size_t headers = 6 + std::size_t{count} * 16;
    r.Need(6, std::size_t{count} * 16, "the image directory");
    std::vector<IconImage> images;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t e = 6 + i * 16;
        IconImage image;
        image.width = r.U8(e, "an image entry");
        image.height = r.U8(e + 1, "an image entry");
        image.colors = r.U8(e + 2, "an image entry");
        image.planes = r.U16(e + 4, "an image entry");
        image.bitCount = r.U16(e + 6, "an image entry");
        const std::uint32_t size = r.U32(e + 8, "an image entry");
        const std::uint32_t offset = r.U32(e + 12, "an image entry");
        if (offset < headers) r.Fail("an image overlaps the image directory");
        if (size < 8) r.Fail("an image is empty");
        image.data = r.Slice(offset, size, "an image");
        static const unsigned char png[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
        const bool isPng = std::equal(png, png + 8, image.data.begin());
        const Reader bitmap(image.data, "not an icon file (.ico)");
        if (!isPng) {
            if (bitmap.U32(0, "a bitmap header") != 40 || image.data.size() < 40)
                r.Fail("an image is neither PNG nor a bitmap");
            // Some writers leave the directory's depth empty; the loader picks
            // images by it, so take it from the bitmap.
            if (image.bitCount == 0) image.bitCount = bitmap.U16(14, "a bitmap header");
        } else if (image.bitCount == 0) {
            image.bitCount = 32;
        }
        if (image.planes == 0) image.planes = 1;
        images.push_back(std::move(image));
    }
    return images;
}

ResourceTree ParseResources(const Bytes& section, std::uint32_t rva) {
    const Reader r(section, "the stub's resource section is damaged");
    ResourceTree tree;
    std::size_t budget = kMaxResources;
    for (const auto& [type, typeAt] : ReadDirectory(r, 0, true, true, budget)) {
        for (const auto& [name, nameAt] : ReadDirectory(r, typeAt, true, true, budget)) {
            for (const auto& [language, dataAt] : ReadDirectory(r, nameAt, false, false, budget)) {
                const std::uint32_t dataRva = r.U32(dataAt, "a resource's data entry");
                const std::uint32_t size = r.U32(dataAt + 4, "a resource's data entry");
                if (dataRva < rva) r.Fail("a resource's data lies before the section");
                ResourceData data;
                data.codePage = r.U32(dataAt + 8, "a resource's data entry");
                data.data = r.Slice(dataRva - rva, size, "a resource's data");
                tree[type][name][language.id] = std::move(data);
            }
        }
    }
    return tree;
}

Bytes BuildResources(const ResourceTree& tree, std::uint32_t rva) {
    // Layout: every directory (root, types, names), then the data entries,
    // then the names' strings, then the data, each on an 8-byte boundary.
    auto directorySize = [](std::size_t entries) { return kDirHeader + entries * kDirEntry; };
    std::size_t directories = directorySize(tree.size()), leaves = 0;
    for (const auto& [type, names] : tree) {
        directories += directorySize(names.size());
        for (const auto& [name, languages] : names) {
            directories += directorySize(languages.size());
            leaves += languages.size();
        }
    }
    Bytes out(directories + leaves * kDataEntry, 0);
    std::size_t nextDirectory = 0, nextLeaf = directories;
    std::vector<std::pair<std::size_t, const ResourceData*>> data;  // data entry offset, its data

    // Writes one directory header and returns where its entries go.
    auto directory = [&](std::size_t named, std::size_t numbered) {
        const std::size_t at = nextDirectory;
        Put16(out, at + 12, static_cast<std::uint32_t>(named));
        Put16(out, at + 14, static_cast<std::uint32_t>(numbered));
        nextDirectory += directorySize(named + numbered);
        return at + kDirHeader;
    };
    std::vector<std::pair<std::size_t, const std::u16string*>> names;  // name field offset, its string
    auto entry = [&](std::size_t at, const ResourceId& id, std::uint32_t target) {
        if (id.name.empty()) Put32(out, at, id.id);
        else names.emplace_back(at, &id.name);
        Put32(out, at + 4, target);
    };
    auto counts = [](const auto& map) {
        std::size_t named = 0;
        for (const auto& item : map)
            if (!item.first.name.empty()) ++named;
        return std::make_pair(named, map.size() - named);
    };

    auto [rootNamed, rootNumbered] = counts(tree);
    std::size_t typeEntry = directory(rootNamed, rootNumbered);
    for (const auto& [type, namesOfType] : tree) {
        auto [named, numbered] = counts(namesOfType);
        entry(typeEntry, type, static_cast<std::uint32_t>(nextDirectory) | kHighBit);
        typeEntry += kDirEntry;
        std::size_t nameEntry = directory(named, numbered);
        for (const auto& [name, languages] : namesOfType) {
            entry(nameEntry, name, static_cast<std::uint32_t>(nextDirectory) | kHighBit);
            nameEntry += kDirEntry;
            std::size_t languageEntry = directory(0, languages.size());
            for (const auto& [language, leaf] : languages) {
                entry(languageEntry, ResourceId{{}, language}, static_cast<std::uint32_t>(nextLeaf));
                languageEntry += kDirEntry;
                data.emplace_back(nextLeaf, &leaf);
                nextLeaf += kDataEntry;
            }
        }
    }
    for (const auto& [at, name] : names) {
        Put32(out, at, static_cast<std::uint32_t>(out.size()) | kHighBit);
        Append16(out, static_cast<std::uint32_t>(name->size()));
        for (char16_t c : *name) Append16(out, c);
    }
    for (const auto& [at, leaf] : data) {
        Align(out, 8);
        Put32(out, at, rva + static_cast<std::uint32_t>(out.size()));
        Put32(out, at + 4, static_cast<std::uint32_t>(leaf->data.size()));
        Put32(out, at + 8, leaf->codePage);
        out.insert(out.end(), leaf->data.begin(), leaf->data.end());
    }
    return out;
}

Bytes BuildVersionResource(const ResourceOptions& options) {
    const auto version = options.productVersion ? ParseVersion(*options.productVersion) : std::array<std::uint16_t, 4>{};
    Bytes fixed;
    Append32(fixed, 0xFEEF04BD);  // signature
    Append32(fixed, 0x00010000);  // structure version
    const std::uint32_t high = (std::uint32_t{version[0]} << 16) | version[1];
    const std::uint32_t low = (std::uint32_t{version[2]} << 16) | version[3];
    for (int i = 0; i < 2; ++i) {  // file version, then product version
        Append32(fixed, high);
        Append32(fixed, low);
    }
    Append32(fixed, 0x3F);        // flags mask
    Append32(fixed, 0);           // flags
    Append32(fixed, 0x00040004);  // Windows NT, 32-bit API
    Append32(fixed, 1);           // an application
    Append32(fixed, 0);           // subtype
    Append32(fixed, 0);           // date, high
    Append32(fixed, 0);           // date, low

    std::vector<Bytes> strings;
    auto add = [&](const char* key, const std::optional<std::string>& value, const char* option) {
        if (value) strings.push_back(StringValue(key, *value, option));
    };
    add("CompanyName", options.company, "--company");
    add("FileDescription", options.description, "--description");
    add("FileVersion", options.productVersion, "--product-version");
    add("LegalCopyright", options.copyright, "--copyright");
    add("ProductName", options.productName, "--product-name");
    add("ProductVersion", options.productVersion, "--product-version");

    const Bytes table = VersionNode(u"040904B0", {}, 0, true, strings);  // US English, UTF-16
    const Bytes stringInfo = VersionNode(u"StringFileInfo", {}, 0, true, {table});
    Bytes translation;
    Append16(translation, kEnglishUs);
    Append16(translation, kUnicodeCodePage);
    const Bytes var = VersionNode(u"Translation", translation, 4, false, {});
    const Bytes varInfo = VersionNode(u"VarFileInfo", {}, 0, true, {var});
    return VersionNode(u"VS_VERSION_INFO", fixed, static_cast<std::uint16_t>(fixed.size()), false,
                       {stringInfo, varInfo});
}

// The checksum's running sum: 16-bit words added with the carries folded
// back, the checksum field itself counting as zero. Pieces must start at
// even offsets.
class ChecksumSum {
public:
    explicit ChecksumSum(std::size_t field) : m_field(field) {}
    void Add(const unsigned char* data, std::size_t count) {
        for (std::size_t i = 0; i < count; i += 2) {
            const std::uint32_t word = Byte(data, i) | (i + 1 < count ? Byte(data, i + 1) << 8 : 0);
            m_sum += word;
            m_sum = (m_sum & 0xFFFF) + (m_sum >> 16);
        }
        m_length += count;
    }
    std::uint32_t Value() const {
        return static_cast<std::uint32_t>(((m_sum & 0xFFFF) + (m_sum >> 16)) + m_length);
    }

private:
    std::uint32_t Byte(const unsigned char* data, std::size_t i) const {
        const std::uint64_t at = m_length + i;
        return at >= m_field && at < m_field + 4 ? 0 : data[i];
    }
    std::uint64_t m_field, m_sum = 0, m_length = 0;
};

std::uint32_t PeChecksum(const Bytes& data, std::size_t field) {
    ChecksumSum sum(field);
    sum.Add(data.data(), data.size());
    return sum.Value();
}

void UpdatePeChecksum(std::iostream& file) {
    file.seekg(0);
    Bytes headers(4096);
    file.read(reinterpret_cast<char*>(headers.data()), static_cast<std::streamsize>(headers.size()));
    headers.resize(static_cast<std::size_t>(file.gcount()));
    // Only where the field is matters here: any PE stub gets its checksum,
    // whether or not its resources could be changed.
    const Reader r(headers, "the stub's PE header is damaged");
    const std::size_t optional = r.U32(kDosNewHeader, "the PE header's offset") + 4 + kCoffSize;
    const std::size_t field = optional + kOptChecksum;
    r.Need(field, 4, "the checksum");
    file.clear();
    file.seekg(0);
    ChecksumSum sum(field);
    Bytes chunk(1 << 16);
    while (file) {
        file.read(reinterpret_cast<char*>(chunk.data()), static_cast<std::streamsize>(chunk.size()));
        sum.Add(chunk.data(), static_cast<std::size_t>(file.gcount()));
    }
    if (!file.eof()) throw PackError("cannot read back the launcher");
    Bytes value(4, 0);
    Put32(value, 0, sum.Value());
    file.clear();
    file.seekp(static_cast<std::streamoff>(field));
    file.write(reinterpret_cast<const char*>(value.data()), 4);
    if (!file.flush()) throw PackError("cannot write the launcher's checksum");
}

Bytes ApplyResources(const Bytes& image, const ResourceOptions& options, const Bytes& icon) {
    if (!IsPeImage(image))
        throw PackError("the stub is not a Windows program, so it has no icon, version or manifest to change");
    const Reader r(image, kStubName);
    const PeLayout l = ReadLayout(r);
    const std::uint32_t resourceRva = r.U32(l.directories + kDirectoryResources * 8, "the resource directory");
    if (r.U32(l.directories + kDirectorySecurity * 8 + 4, "the security directory") != 0)
        r.Fail("it is signed; sign the launcher after packing instead");
    if (resourceRva == 0) r.Fail("it has no resources");

    // The resource section must be the last one, in the table, in the file
    // and in memory, and end the file: then it can grow without moving
    // anything the rest of the image refers to.
    std::size_t last = l.sections + (std::size_t{l.sectionCount} - 1) * kSectionSize;
    std::size_t resources = 0;
    for (std::size_t i = 0; i < l.sectionCount; ++i) {
        const std::size_t s = l.sections + i * kSectionSize;
        if (r.U32(s + kSecVirtualAddress, "a section") == resourceRva) resources = s;
    }
    if (resources == 0) r.Fail("its resources do not start a section");
    if (resources != last) {
        const Bytes name = r.Slice(last, 8, "a section name");
        throw PackError("the stub's resource section is not its last section (" +
                        std::string(name.begin(), std::find(name.begin(), name.end(), 0)) +
                        " follows it), so it cannot grow; link the stub with .rsrc last");
    }
    const std::uint32_t rawPointer = r.U32(last + kSecRawPointer, "the resource section");
    const std::uint32_t rawSize = r.U32(last + kSecRawSize, "the resource section");
    const std::uint32_t virtualSize = r.U32(last + kSecVirtualSize, "the resource section");
    for (std::size_t i = 0; i + 1 < l.sectionCount; ++i) {
        const std::size_t s = l.sections + i * kSectionSize;
        const std::uint64_t end = std::uint64_t{r.U32(s + kSecRawPointer, "a section")} + r.U32(s + kSecRawSize, "a section");
        const std::uint64_t virtualEnd =
            std::uint64_t{r.U32(s + kSecVirtualAddress, "a section")} + r.U32(s + kSecVirtualSize, "a section");
        if (end > rawPointer || virtualEnd > resourceRva) r.Fail("a section lies beyond the resource section");
    }
    if (rawPointer < l.sections + std::size_t{l.sectionCount} * kSectionSize)
        r.Fail("its resource section overlaps its headers");
    if (std::uint64_t{rawPointer} + rawSize != image.size())
        r.Fail("data follows its last section (a signature or debug information?)");
    const Bytes section =
        r.Slice(rawPointer, virtualSize == 0 ? rawSize : std::min(rawSize, virtualSize), "the resource section");

    ResourceTree tree = ParseResources(section, resourceRva);
    if (!options.icon.empty()) ReplaceIcon(tree, ParseIcon(icon));
    if (options.AnyVersion()) {
        const Bytes version = BuildVersionResource(options);
        tree.erase(ResourceId{{}, kTypeVersion});
        tree[ResourceId{{}, kTypeVersion}][ResourceId{{}, 1}][kEnglishUs] = ResourceData{0, version};
    }
    if (options.admin) RequireAdministrator(tree);

    Bytes built = BuildResources(tree, resourceRva);
    const std::uint64_t newVirtualSize = built.size();
    const std::uint64_t newRawSize = AlignUp(built.size(), l.fileAlignment);
    const std::uint64_t imageSize = AlignUp(std::uint64_t{resourceRva} + newVirtualSize, l.sectionAlignment);
    if (imageSize > 0xFFFFFFFFu || std::uint64_t{rawPointer} + newRawSize > 0xFFFFFFFFu)
        throw PackError("the resources are too large");
    built.resize(newRawSize, 0);

    Bytes out(image.begin(), image.begin() + rawPointer);
    out.insert(out.end(), built.begin(), built.end());
    Put32(out, last + kSecVirtualSize, static_cast<std::uint32_t>(newVirtualSize));
    Put32(out, last + kSecRawSize, static_cast<std::uint32_t>(newRawSize));
    Put32(out, l.directories + kDirectoryResources * 8 + 4, static_cast<std::uint32_t>(newVirtualSize));
    Put32(out, l.optional + kOptImageSize, static_cast<std::uint32_t>(imageSize));
    const std::uint32_t initialized = r.U32(l.optional + kOptInitializedData, "the initialised data size");
    Put32(out, l.optional + kOptInitializedData,
          static_cast<std::uint32_t>(initialized - rawSize + newRawSize));
    Put32(out, l.optional + kOptChecksum, PeChecksum(out, l.optional + kOptChecksum));
    return out;
}

}  // namespace sfxpack
