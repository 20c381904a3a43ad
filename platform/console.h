// The console: what a program that talks to its user on standard error
// (rather than in windows) needs, and the standard streams as bytes.
//
// A console program is the console stub (built for the console subsystem;
// its entry point tells the platform) and every posix program. Its message
// boxes write "caption: text" to standard error instead (app.h); it never
// opens a window. On win32 it shares its console with the programs it
// starts: Ctrl+C and Ctrl+Break reach them, and this process only notes
// them (ConsoleInterrupted); closing the console, log-off and shutdown run
// the end-of-session handler (app.h) on the thread the system calls in on.
// On posix the signals keep their own rules (process.h).
#pragma once

#include <string>

namespace platform {

// True in a console program (above).
bool IsConsoleProgram();

// Whether standard error is a console (a terminal on posix): a person
// watching it, where a line may be rewritten in place.
bool StandardErrorIsConsole();

enum class StandardStream { kOutput, kError };

// Writes `text` to standard output or error: to a console as the
// characters of its UTF-8 (WriteConsoleW on win32), to a file or pipe as
// the bytes given, unchanged. Nothing when the stream is not there.
void WriteStandardStream(StandardStream stream, const std::string& text);

// Standard input, read to its end as bytes, unchanged; empty when there is none.
std::string ReadStandardInput();

// Whether Ctrl+C or Ctrl+Break was pressed (or sent to the console's
// processes) since the last call. Always false on posix, where SIGINT
// keeps its default until a program runs.
bool ConsoleInterrupted();

}  // namespace platform
