// A stand-in for a DLL that somebody left beside a launcher (in a Downloads
// folder, say): loading it is all it takes to run its code. This one only
// says that it was loaded, by creating <SFX_PLANTED_DIR>\<its name>.loaded.
// Built once per name (PLANTED_NAME); it exports nothing.
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int __stdcall DllMain(void*, unsigned long reason, void*) {
    const unsigned long kProcessAttach = 1;
    const char* folder = std::getenv("SFX_PLANTED_DIR");
    if (reason == kProcessAttach && folder != nullptr) {
        const std::string marker = std::string(folder) + "\\" + PLANTED_NAME + ".loaded";
        if (std::FILE* f = std::fopen(marker.c_str(), "w")) std::fclose(f);
    }
    return 1;
}
