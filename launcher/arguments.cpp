#include "launcher/arguments.h"

#include "platform/strings.h"

std::string QuoteArgument(const std::string& argument) {
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (std::size_t i = 0; i < argument.size(); ++i) {
        const char c = argument[i];
        if (platform::IsLeadByte(static_cast<unsigned char>(c)) && i + 1 < argument.size()) {
            out += c;
            out += argument[++i];
            backslashes = 0;
            continue;
        }
        if (c == '\\') {
            ++backslashes;
        } else {
            if (c == '"') out.append(backslashes + 1, '\\');
            backslashes = 0;
        }
        out += c;
    }
    // Without this a trailing backslash would escape the closing quote and
    // swallow the following arguments and the source token.
    out.append(backslashes, '\\');
    return out + "\"";
}

std::string BuildLaunchArguments(const std::vector<std::string>& args, const std::string& modulePath) {
    std::string arguments;
    for (std::size_t i = 1; i < args.size(); ++i) arguments += QuoteArgument(args[i]) + " ";
    arguments += QuoteArgument("SFXSOURCE:" + modulePath);
    std::size_t first = arguments.find_first_not_of(' ');
    std::size_t last = arguments.find_last_not_of(' ');
    return first == std::string::npos ? std::string() : arguments.substr(first, last - first + 1);
}

std::string BuildPackageArguments(const std::string& modulePath) { return "SFXSOURCE=\"" + modulePath + "\""; }

std::string WithFixedArguments(const std::string& fixed, const std::string& forwarded) {
    if (fixed.empty()) return forwarded;
    return forwarded.empty() ? fixed : fixed + " " + forwarded;
}
