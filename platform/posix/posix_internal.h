// Internal to the posix backend: errno mapping shared by its sources.
#pragma once

#include <time.h>

#include <cstdint>
#include <string>

namespace platform::detail {

// A FILETIME value as utimensat wants it; 0 leaves that time unchanged.
timespec ToTimespec(std::uint64_t fileTime);

std::uint32_t WinErrorFromErrno(int err);
// Maps the current errno, stores it as the last error and returns it.
std::uint32_t SetLastErrorFromErrno();
// Like SetLastErrorFromErrno, but a missing folder on the way to `native`
// gives kErrorPathNotFound, as on Windows.
std::uint32_t SetLastErrorForPath(const std::string& native);

}  // namespace platform::detail
