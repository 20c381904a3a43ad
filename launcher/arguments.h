// The argument text the launched program receives.
#pragma once

#include <string>
#include <vector>

// `argument` in double quotes so that the program splits it back unchanged:
// a quote inside gets a backslash, and backslashes that precede a quote (or
// the closing quote, as in "/T:C:\Temp\") are doubled. The trail byte of a
// double-byte character is never taken for a backslash.
std::string QuoteArgument(const std::string& argument);

// The launcher's arguments after its own path (`args[0]`), each quoted and
// followed by a space, then the quoted source token "SFXSOURCE:" plus
// `modulePath`; spaces trimmed from both ends.
std::string BuildLaunchArguments(const std::vector<std::string>& args, const std::string& modulePath);

// What an installer package gets instead: the source as the public
// property SFXSOURCE="modulePath", which the package can read. The system's
// installer takes options and PROPERTY=value pairs only: a launcher's own
// arguments (/S, /T:...) or a bare token would make it refuse the line.
std::string BuildPackageArguments(const std::string& modulePath);

// The configured fixed arguments `fixed` (as written, the deployer's own
// quoting) before `forwarded` (BuildLaunchArguments), a space between;
// `forwarded` alone when there are none.
std::string WithFixedArguments(const std::string& fixed, const std::string& forwarded);
