// Splitting a Windows command line into arguments, as the Windows runtime
// does it, for starting programs on posix.
//
// The first token is the program: up to the closing quote when it starts
// with one, else up to the first space or tab; backslashes in it are plain.
// In the other tokens, quotes group spaces; 2n backslashes before a quote
// give n backslashes and the quote groups; 2n+1 give n backslashes and a
// literal quote; other backslashes are plain; "" inside quotes is a
// literal quote.
#pragma once

#include <string>
#include <vector>

namespace platform::detail {

std::vector<std::string> SplitCommandLine(const std::string& commandLine);

}  // namespace platform::detail
