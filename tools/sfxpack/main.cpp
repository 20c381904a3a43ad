// sfxpack: turns a folder into a self-extracting launcher, and looks into one.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/sfxpack/contents.h"
#include "tools/sfxpack/pack.h"

namespace {

const char kUsage[] =
    "usage: sfxpack --stub STUB --run PROGRAM [--title TEXT] [--silent]\n"
    "               [--pid TEXT [--use-password]] -o OUT.exe FOLDER\n"
    "       sfxpack list FILE\n"
    "       sfxpack extract FILE FOLDER\n"
    "\n"
    "Packs FOLDER (with its sub-folders) into OUT.exe: a copy of STUB followed by\n"
    "the payload, which the stub extracts into a fresh temporary folder before it\n"
    "starts PROGRAM from there and removes the folder when PROGRAM ends.\n"
    "\n"
    "  --stub STUB       the launcher stub (launcher.exe, or the native launcher)\n"
    "  --run PROGRAM     the program to start, relative to FOLDER (e.g. bin\\app.exe);\n"
    "                    it must be a file in FOLDER\n"
    "  --title TEXT      caption of the progress dialog (default \"Loading\")\n"
    "  --silent          extract without the progress dialog\n"
    "  --pid TEXT        identifier stored in the configuration; the archive\n"
    "                    password is the MD5 hex digest of this text\n"
    "  --use-password    encrypt every file with the password derived from --pid\n"
    "                    (traditional ZIP encryption; it keeps out the curious,\n"
    "                    not a determined attacker)\n"
    "  -o, --output OUT  the launcher to write; nothing is left behind on failure\n"
    "  -h, --help        show this text\n"
    "\n"
    "  list FILE             list the entries of a launcher or ZIP archive\n"
    "  extract FILE FOLDER   extract a launcher or ZIP archive into FOLDER\n";

int Usage(const char* problem) {
    if (problem != nullptr) std::fprintf(stderr, "sfxpack: %s\n\n", problem);
    std::fputs(kUsage, problem != nullptr ? stderr : stdout);
    return problem != nullptr ? 2 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && (args[0] == "list" || args[0] == "extract")) {
        std::vector<std::string> rest(args.begin() + 1, args.end());
        return args[0] == "list" ? RunList(rest) : RunExtract(rest);
    }

    PackOptions options;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= args.size()) return false;
            into = args[++i];
            return true;
        };
        bool ok = true;
        if (arg == "-h" || arg == "--help") return Usage(nullptr);
        if (arg == "--stub") ok = value(options.stub);
        else if (arg == "--run") ok = value(options.run);
        else if (arg == "--title") ok = options.hasTitle = value(options.title);
        else if (arg == "--silent") options.silent = true;
        else if (arg == "--pid") ok = options.hasPid = value(options.pid);
        else if (arg == "--use-password") options.usePassword = true;
        else if (arg == "-o" || arg == "--output") ok = value(options.output);
        else if (arg.size() > 1 && arg[0] == '-') return Usage(("unknown option " + arg).c_str());
        else positional.push_back(arg);
        if (!ok) return Usage(("missing value after " + arg).c_str());
    }
    if (positional.size() != 1) return Usage("give exactly one FOLDER");
    options.folder = positional[0];
    if (options.stub.empty()) return Usage("--stub is required");
    if (options.run.empty()) return Usage("--run is required");
    if (options.output.empty()) return Usage("-o is required");

    std::string error;
    if (!PackLauncher(options, error)) {
        std::fprintf(stderr, "sfxpack: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
