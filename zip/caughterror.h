// Running an archive step whose failure the caller passes over or reports:
// whatever the step throws is caught and kept, to be described on demand.
#pragma once

#include <string>

#include "platform/file.h"
#include "zip/exception.h"

// An error caught from an archive step: an archive error (CZipException), a
// file error (platform::FileException) or a failure of the run-time library
// (no memory, a container's error), which stands as archive error 505 or 112.
class CZipCaughtError {
public:
    static constexpr int kFileError = -1;  // m_nCode of a file error

    bool IsSet() const { return m_nCode != 0; }
    // The text a user is shown: the archive error's description, or the
    // file error's message naming the file.
    std::string Describe() const {
        return m_nCode == kFileError ? m_file.GetErrorMessage() : CZipException::DescribeCode(m_nCode, false);
    }

    int m_nCode = 0;  // the CZipException code, kFileError, or 0 when nothing was caught
    platform::FileException m_file{platform::FileException::kNone, 0, std::string()};  // with kFileError
};

namespace zip {

namespace detail {
// Calls `call(step)` and catches what it throws; one copy for every step.
bool CatchErrors(void (*call)(void* step), void* step, CZipCaughtError* caught);
}  // namespace detail

// Runs `step`. True when it ran through; false when it threw, with what it
// threw in `caught` (when given).
template <typename Step>
bool PassOverErrors(Step step, CZipCaughtError* caught = nullptr) {
    return detail::CatchErrors([](void* s) { (*static_cast<Step*>(s))(); }, &step, caught);
}

}  // namespace zip
