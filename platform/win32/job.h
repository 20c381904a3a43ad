// Internal to the win32 backend: a job object that holds a launched
// program's whole process tree, with the completion port that tells when
// the tree's last process has ended. Closing it (the destructor, or this
// process ending however it ends) ends whatever still runs in it;
// processes created with CREATE_BREAKAWAY_FROM_JOB leave it.
#pragma once

#include "platform/win32/windows_api.h"

#include <atomic>

namespace platform::detail {

class JobObject {
public:
    JobObject() = default;
    ~JobObject();
    JobObject(const JobObject&) = delete;
    JobObject& operator=(const JobObject&) = delete;

    // Makes the job (kill on close, breakaway allowed) and its port; false,
    // with the last error set, when the system cannot.
    bool Create();
    // Puts a process (created suspended, so it has started nothing yet) in the job.
    bool Assign(HANDLE process);
    // Whether the port has told that no process is left, waiting for that
    // at most `milliseconds` (INFINITE: until it comes).
    bool WaitEmpty(DWORD milliseconds);
    // Ends every process in the job with `exitCode`.
    void Terminate(UINT exitCode);

private:
    HANDLE m_hJob = nullptr;
    HANDLE m_hPort = nullptr;
    // The port said the last process has ended (the end of the session may
    // wait on another thread than the run).
    std::atomic<bool> m_bEmpty{false};
};

}  // namespace platform::detail
