// Test hooks of the posix backend: how often each kind of system call ran,
// and failures injected into them, so that tests can count what a piece of
// code costs and drive it down the error paths that a real Windows machine
// takes (a file kept busy by another process, a folder that cannot be
// listed). Nothing here exists in a Windows build.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace platform::instrument {

enum class Call : int {
    kOpenFile,         // File::Open / TryOpen
    kGetAttributes,    // GetFileAttributes
    kSetAttributes,    // SetFileAttributes
    kSetTimes,         // SetFileTimes
    kCreateDirectory,  // CreateDirectory, CreatePrivateDirectory
    kRemoveDirectory,
    kDeleteFile,
    kFindFirst,        // DirSearch::First
    kWaitProcess,      // Process::WaitDispatchingMessages
    kGetExitCode,      // Process::GetExitCode
    kLockFolder,       // FolderLock::CreateNew / TryTake, once the lock file is open, before it is locked
    kMoveFile,         // MoveFile, by the path moved to
    kCount
};

// Calls of `call` since the last ResetCounts.
std::uint64_t CallCount(Call call);
void ResetCounts();

// The next `times` calls of `call` whose path ends in `pathSuffix` (any
// path when empty) fail with the Windows error `error`, doing nothing.
void InjectFailure(Call call, const std::string& pathSuffix, std::uint32_t error, int times);
// The next call of `call` whose path ends in `pathSuffix` first runs
// `action`, then goes on: for races, another process acting at just that
// moment. ClearFailures drops actions not run yet too.
void InjectAction(Call call, const std::string& pathSuffix, std::function<void()> action);
void ClearFailures();

}  // namespace platform::instrument

namespace platform::detail {

// Counts a call of `call` on `path`; true (with the last error set) when an
// injected failure takes it, and the caller must fail without acting.
bool InstrumentedCallFails(instrument::Call call, const std::string& path);

}  // namespace platform::detail
