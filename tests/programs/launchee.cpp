// A program that launch tests start:
//   launchee [--wait-for FILE] REPORT CODE [ARG...]
// Writes "argc=", one "argv=" line per argument (the program's own first)
// and "cwd=" to REPORT (a Windows path), then ends with CODE; CODE
// "signal:N" raises signal N instead. With --wait-for it first waits until
// FILE exists, so a test decides when it ends.
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/system.h"

int main(int argc, char** argv) {
    int first = 1;
    if (argc > 2 && std::string(argv[1]) == "--wait-for") {
        const std::filesystem::path gate(platform::ToNativePath(argv[2]));
        // Bounded, so that a test that never opens the gate cannot leave this running.
        for (int i = 0; i < 6000 && !std::filesystem::exists(gate); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        first = 3;
    }
    if (argc < first + 2) return 250;
    {
        std::ofstream report(platform::ToNativePath(argv[first]), std::ios::binary);
        report << "argc=" << argc << "\n";
        for (int i = 0; i < argc; ++i) report << "argv=" << argv[i] << "\n";
        report << "cwd=" << platform::GetCurrentDirectory() << "\n";
    }
    const std::string code = argv[first + 1];
    if (code.compare(0, 7, "signal:") == 0) std::raise(std::atoi(code.c_str() + 7));
    return std::atoi(code.c_str());
}
