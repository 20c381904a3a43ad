// The deployer's icon, version and elevation in the copy of a Windows stub:
// the resource section (the image's last section, so that it can grow) is
// read into a tree, changed and written back, and the section, image and
// directory sizes and the header checksum follow it.
//
// Every field is read by its offset with the bounds checked against the
// file before it is trusted: an odd or hostile stub or icon gives a
// PackError with a clear message, never a crash.
#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>

#include "tools/sfxpack/bytes.h"

namespace sfxpack {

struct ResourceOptions {
    std::string icon;  // .ico file replacing icon group 128; empty keeps the stub's
    std::optional<std::string> productName, productVersion, company, description, copyright;
    bool admin = false;  // requireAdministrator instead of asInvoker
    bool Any() const;
    bool AnyVersion() const;
};

// Whether `image` starts as a PE image does ("MZ", and "PE\0\0" where the
// DOS header points).
bool IsPeImage(const Bytes& image);

// The stub `image` with the resources `options` ask for; `icon` holds the
// .ico file's bytes when options.icon is set. Throws PackError.
Bytes ApplyResources(const Bytes& image, const ResourceOptions& options, const Bytes& icon);

// The PE header checksum of the image `data` (the field at `field` counts as
// zero), as the system's image loader computes it.
std::uint32_t PeChecksum(const Bytes& data, std::size_t field);
// Recomputes the checksum of the PE file open in `file` over the whole file
// (stub and payload) and writes it into its header.
void UpdatePeChecksum(std::iostream& file);

// "A.B.C.D" (one to four numbers of 0 to 65535, missing ones 0). Throws
// PackError for anything else.
std::array<std::uint16_t, 4> ParseVersion(const std::string& text);

// One image of an .ico file.
struct IconImage {
    std::uint8_t width = 0, height = 0, colors = 0;
    std::uint16_t planes = 0, bitCount = 0;
    Bytes data;
};
// The images of an .ico file; throws PackError when it is not one.
std::vector<IconImage> ParseIcon(const Bytes& file);

// The resource tree: type -> name -> language -> data. Names and types are
// numbers or strings (strings sort first, as the format requires).
struct ResourceId {
    std::u16string name;  // empty: numbered
    std::uint16_t id = 0;
    bool operator<(const ResourceId& other) const;
};
struct ResourceData {
    std::uint32_t codePage = 0;
    Bytes data;
};
using ResourceLanguages = std::map<std::uint16_t, ResourceData>;
using ResourceNames = std::map<ResourceId, ResourceLanguages>;
using ResourceTree = std::map<ResourceId, ResourceNames>;

// Reads the tree from a resource section's bytes that start at `rva`.
ResourceTree ParseResources(const Bytes& section, std::uint32_t rva);
// Writes the tree as a resource section starting at `rva`.
Bytes BuildResources(const ResourceTree& tree, std::uint32_t rva);

// The version resource (VS_VERSIONINFO) for the options' texts and version.
Bytes BuildVersionResource(const ResourceOptions& options);

}  // namespace sfxpack
