#include "payload/runkind.h"

#include "platform/strings.h"

namespace {

struct KindOfExtension {
    const char* extension;
    RunKind kind;
};

// Besides programs and packages: the kinds a Windows installation opens
// itself, with a program that comes with it (Windows Script Host, the
// installers, Notepad, the browser, the help viewer, the registry editor).
const KindOfExtension kKnownExtensions[] = {
    {".exe", RunKind::kProgram}, {".com", RunKind::kProgram},  {".bat", RunKind::kProgram},
    {".cmd", RunKind::kProgram}, {".msi", RunKind::kPackage},  {".msp", RunKind::kDocument},
    {".msu", RunKind::kDocument}, {".vbs", RunKind::kDocument}, {".vbe", RunKind::kDocument},
    {".js", RunKind::kDocument},  {".jse", RunKind::kDocument}, {".wsf", RunKind::kDocument},
    {".hta", RunKind::kDocument}, {".reg", RunKind::kDocument}, {".txt", RunKind::kDocument},
    {".htm", RunKind::kDocument}, {".html", RunKind::kDocument}, {".url", RunKind::kDocument},
    {".lnk", RunKind::kDocument}, {".chm", RunKind::kDocument}, {".rtf", RunKind::kDocument},
    {".xml", RunKind::kDocument}, {".pdf", RunKind::kDocument},
};

}  // namespace

RunKind RunKindOf(const std::string& name) {
    const std::size_t separator = name.find_last_of("\\/");
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || (separator != std::string::npos && dot < separator)) return RunKind::kUnknown;
    const std::string extension = name.substr(dot);
    for (const KindOfExtension& known : kKnownExtensions)
        if (platform::CompareNoCase(extension, known.extension) == 0) return known.kind;
    return RunKind::kUnknown;
}
