// The stub's identification (payload/stubid.h), linked into every stub and
// into nothing else. Nothing reads it at run time: it is there for the
// packer to find in the file, so it is marked used to survive the
// optimiser and the linker's removal of unreferenced data.
#include "payload/stubid.h"

extern const std::array<char, stubid::kIdentificationSize> g_stubIdentification;
__attribute__((used)) const std::array<char, stubid::kIdentificationSize> g_stubIdentification =
    stubid::Identification();
