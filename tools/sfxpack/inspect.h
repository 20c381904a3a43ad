// Looking into a launcher (or any ZIP archive) without running it.
#pragma once

#include <string>
#include <vector>

// sfxpack list FILE: prints the entries. Returns the process exit code.
int RunList(const std::vector<std::string>& args);
// sfxpack extract FILE FOLDER: extracts every entry. Returns the process exit code.
int RunExtract(const std::vector<std::string>& args);
