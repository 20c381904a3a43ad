// sfxpack: turns a folder into a self-extracting launcher, and looks into one.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/system.h"
#include "tools/sfxpack/contents.h"
#include "tools/sfxpack/pack.h"
#include "tools/sfxpack/stubs.h"

namespace {

const char kUsage[] =
    "usage: sfxpack [--stub STUB | --arch win32|win64|native] [--console]\n"
    "               --run PROGRAM [--args TEXT] [--title TEXT] [--silent]\n"
    "               [--pid TEXT [--use-password]] [--cache]\n"
    "               [--level 0-9] [--follow-links | --skip-links] [--quiet]\n"
    "               [--icon FILE.ico] [--product-name TEXT] [--product-version A.B.C.D]\n"
    "               [--company TEXT] [--description TEXT] [--copyright TEXT] [--admin]\n"
    "               -o OUT.exe FOLDER\n"
    "       sfxpack list FILE\n"
    "       sfxpack extract FILE FOLDER\n"
    "       sfxpack verify FILE\n"
    "\n"
    "Packs FOLDER (with its sub-folders) into OUT.exe: a copy of a launcher stub\n"
    "followed by the payload, which the stub extracts into a fresh temporary folder\n"
    "before it starts PROGRAM from there and removes the folder when PROGRAM ends.\n"
    "The archive is a standard ZIP file that every archive tool opens; the same\n"
    "folder, options and stub give the same bytes (with SOURCE_DATE_EPOCH set, no\n"
    "stored time is later than it). The launcher is checked with the stub's own\n"
    "reader before it is written under its name.\n"
    "\n"
    "  --stub STUB       the launcher stub: launcher.exe, launcher-console.exe or the\n"
    "                    native launcher of this project's build; anything else is\n"
    "                    refused. Without it, sfxpack takes the stub installed with\n"
    "                    it (../share/sfxlauncher/ARCH/ beside its own folder)\n"
    "  --arch ARCH       the installed stub's architecture: win32 (the default),\n"
    "                    win64, or native (the launcher for this system)\n"
    "  --console         the installed console stub (launcher-console.exe), for\n"
    "                    command-line programs: it shares the caller's console,\n"
    "                    input, output and exit code; the native launcher is one\n"
    "  --run PROGRAM     the program to start, relative to FOLDER (e.g. bin\\app.exe);\n"
    "                    it must be a file in FOLDER: a program, a script (.bat,\n"
    "                    .cmd), an installer package (.msi) or any file Windows\n"
    "                    opens (warned of otherwise, for a Windows stub)\n"
    "  --args TEXT       fixed arguments for PROGRAM, as written (quote inside TEXT):\n"
    "                    they come before the launcher's own arguments\n"
    "  --title TEXT      caption of the progress dialog (default \"Loading\")\n"
    "  --silent          extract without the progress dialog\n"
    "  --pid TEXT        identifier stored in the configuration; the archive\n"
    "                    password is the MD5 hex digest of this text\n"
    "  --use-password    encrypt every file with the password derived from --pid\n"
    "                    (traditional ZIP encryption; it keeps out the curious,\n"
    "                    not a determined attacker)\n"
    "  --cache           extract once into the user's cache (%LOCALAPPDATA% or\n"
    "                    ~/.cache, in a folder of the launcher's name) and start\n"
    "                    PROGRAM there every time, without extracting again until\n"
    "                    the payload changes; the cache holds the files decrypted\n"
    "  --level N         deflate level, 0 (store) to 9 (smallest; default 6); files\n"
    "                    that deflate cannot shrink are stored\n"
    "  --follow-links    pack a copy of what every symbolic link points to, also\n"
    "                    outside FOLDER (by default only links to files and folders\n"
    "                    inside FOLDER are packed as copies; others are refused)\n"
    "  --skip-links      leave symbolic links out, naming each on standard error\n"
    "  --quiet           no progress line (it is shown only on a terminal anyway)\n"
    "  -o, --output OUT  the launcher to write; nothing is left behind on failure\n"
    "  -h, --help        show this text\n"
    "\n"
    "Windows stubs only (the stub's resource section is rewritten):\n"
    "  --icon FILE.ico          the launcher's icon, every size in FILE\n"
    "  --product-name TEXT      version resource: ProductName\n"
    "  --product-version A.B.C.D  version resource: file and product version\n"
    "  --company TEXT           version resource: CompanyName\n"
    "  --description TEXT       version resource: FileDescription\n"
    "  --copyright TEXT         version resource: LegalCopyright\n"
    "  --admin                  ask for elevation (requireAdministrator) when started\n"
    "\n"
    "  list FILE             list the entries of a launcher or ZIP archive\n"
    "  extract FILE FOLDER   extract a launcher or ZIP archive into FOLDER\n"
    "  verify FILE           check every entry (CRC, password) without writing;\n"
    "                        exits 1 naming each faulty entry\n"
    "\n"
    "Examples:\n"
    "  sfxpack --run bin/app.exe --title \"My App\" -o MyApp.exe dist\n"
    "      a Windows program with a progress dialog while it unpacks\n"
    "  sfxpack --console --run tool.exe -o tool.exe tool\n"
    "      a command-line tool for Windows; from cmd:\n"
    "        tool.exe < input.txt > output.txt\n"
    "        echo %ERRORLEVEL%\n"
    "  sfxpack --arch native --run tool --silent -o tool tool-linux\n"
    "      the same for this system; from a POSIX shell:\n"
    "        ./tool < input.txt > output.txt; echo $?\n"
    "A packed program runs in the temporary folder, with \"SFXSOURCE:<launcher>\"\n"
    "after its arguments: give it absolute paths, or input and output redirected.\n";

int Usage(const char* problem) {
    if (problem != nullptr) std::fprintf(stderr, "sfxpack: %s\n\n", problem);
    std::fputs(kUsage, problem != nullptr ? stderr : stdout);
    return problem != nullptr ? 2 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && (args[0] == "list" || args[0] == "extract" || args[0] == "verify")) {
        std::vector<std::string> rest(args.begin() + 1, args.end());
        if (args[0] == "list") return RunList(rest);
        return args[0] == "extract" ? RunExtract(rest) : RunVerify(rest);
    }

    PackOptions options;
    sfxpack::ResourceOptions& resources = options.resources;
    std::vector<std::string> positional;
    bool quiet = false;
    sfxpack::StubArch arch = sfxpack::StubArch::kWin32;
    bool console = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= args.size()) return false;
            into = args[++i];
            return true;
        };
        auto text = [&](std::optional<std::string>& into) {
            std::string given;
            if (!value(given)) return false;
            into = given;
            return true;
        };
        bool ok = true;
        std::string level;
        if (arg == "-h" || arg == "--help") return Usage(nullptr);
        if (arg == "--stub") ok = value(options.stub);
        else if (arg == "--arch") {
            std::string name;
            ok = value(name);
            if (ok && !sfxpack::ParseStubArch(name, arch)) return Usage("--arch takes win32, win64 or native");
        }
        else if (arg == "--console") console = true;
        else if (arg == "--run") ok = value(options.run);
        else if (arg == "--title") ok = options.hasTitle = value(options.title);
        else if (arg == "--args") ok = value(options.args);
        else if (arg == "--silent") options.silent = true;
        else if (arg == "--pid") ok = options.hasPid = value(options.pid);
        else if (arg == "--use-password") options.usePassword = true;
        else if (arg == "--cache") options.cache = true;
        else if (arg == "--quiet") quiet = true;
        else if (arg == "--follow-links" || arg == "--skip-links") {
            const auto links = arg == "--follow-links" ? sfxpack::LinkPolicy::kFollow : sfxpack::LinkPolicy::kSkip;
            if (options.links != sfxpack::LinkPolicy::kCopyInside && options.links != links)
                return Usage("give --follow-links or --skip-links, not both");
            options.links = links;
        }
        else if (arg == "--level") {
            ok = value(level);
            if (ok && (level.size() != 1 || level[0] < '0' || level[0] > '9')) return Usage("--level takes 0 to 9");
            if (ok) options.level = level[0] - '0';
        }
        else if (arg == "--icon") ok = value(resources.icon);
        else if (arg == "--product-name") ok = text(resources.productName);
        else if (arg == "--product-version") ok = text(resources.productVersion);
        else if (arg == "--company") ok = text(resources.company);
        else if (arg == "--description") ok = text(resources.description);
        else if (arg == "--copyright") ok = text(resources.copyright);
        else if (arg == "--admin") resources.admin = true;
        else if (arg == "-o" || arg == "--output") ok = value(options.output);
        else if (arg.size() > 1 && arg[0] == '-') return Usage(("unknown option " + arg).c_str());
        else positional.push_back(arg);
        if (!ok) return Usage(("missing value after " + arg).c_str());
    }
    if (positional.size() != 1) return Usage("give exactly one FOLDER");
    options.folder = positional[0];
    if (options.run.empty()) return Usage("--run is required");
    if (options.output.empty()) return Usage("-o is required");
    options.progress = !quiet && platform::IsTerminal(stderr);

    std::string error;
    try {
        if (options.stub.empty()) options.stub = sfxpack::FindInstalledStub(arch, console);
    } catch (const sfxpack::PackError& e) {
        error = e.what();
    }
    if (!error.empty() || !PackLauncher(options, error)) {
        std::fprintf(stderr, "sfxpack: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
