// Exit codes of the launcher when it cannot do its job. They are the
// platform's own error codes, so that callers can look them up; the
// launched program's own exit code is passed through unchanged otherwise.
#pragma once

// The payload (its data segment or its archive) cannot be read.
constexpr int kExitPayloadUnreadable = 1392;  // ERROR_FILE_CORRUPT
// The extraction on workers had to start over one entry after another, but
// the folder could not be emptied first: nothing was launched.
constexpr int kExitExtractionIncomplete = 145;  // ERROR_DIR_NOT_EMPTY
// The configured program is missing after extraction.
constexpr int kExitProgramMissing = 2;  // ERROR_FILE_NOT_FOUND
// The temporary folder could not be created, and the system gave no reason;
// or no folder was found where it could go and programs could be started.
constexpr int kExitCannotCreateFolder = 82;  // ERROR_CANNOT_MAKE
// The user cancelled the extraction: no program ran.
constexpr int kExitCancelled = 1223;  // ERROR_CANCELLED
