// Looking into a launcher (or any ZIP archive) without running it: the
// payload's configuration is read the way the stub reads it, the archive
// with the stub's own reader, and entries are decrypted with the password
// the configuration derives when it asks for one.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// sfxpack list FILE: prints the configuration (for a launcher) and the
// entries. Returns the process exit code: 0, 1 when FILE cannot be read as
// an archive, 2 for wrong arguments.
int RunList(const std::vector<std::string>& args);
// sfxpack extract FILE FOLDER: extracts every entry under FOLDER. Returns 0
// when every entry was extracted, 1 when FILE cannot be read as an archive
// or an entry failed (the others are still extracted), 2 for wrong arguments.
int RunExtract(const std::vector<std::string>& args);

// sfxpack verify FILE: reads every entry with the stub's reader (CRC, and
// the derived password when UsePW is set) and writes nothing. Returns 0 when
// every entry reads back and the configured program is among them, 1 on any
// fault (each named on the error stream), 2 for wrong arguments.
int RunVerify(const std::vector<std::string>& args);

// The same with native paths and the streams to write to.
int VerifyArchive(const std::string& file, std::ostream& out, std::ostream& err);
int ListArchive(const std::string& file, std::ostream& out, std::ostream& err);
int ExtractArchive(const std::string& file, const std::string& folder, std::ostream& out, std::ostream& err);
