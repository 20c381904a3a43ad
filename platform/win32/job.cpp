#include "platform/win32/job.h"

namespace platform::detail {

JobObject::~JobObject() {
    if (m_hJob != nullptr) ::CloseHandle(m_hJob);
    if (m_hPort != nullptr) ::CloseHandle(m_hPort);
}

bool JobObject::Create() {
    m_hJob = ::CreateJobObjectA(nullptr, nullptr);
    if (m_hJob == nullptr) return false;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
    ZeroMemory(&limits, sizeof limits);
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_BREAKAWAY_OK;
    m_hPort = ::CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
    if (m_hPort == nullptr) return false;
    JOBOBJECT_ASSOCIATE_COMPLETION_PORT port;
    port.CompletionKey = m_hJob;
    port.CompletionPort = m_hPort;
    return ::SetInformationJobObject(m_hJob, JobObjectExtendedLimitInformation, &limits, sizeof limits) &&
           ::SetInformationJobObject(m_hJob, JobObjectAssociateCompletionPortInformation, &port, sizeof port);
}

bool JobObject::Assign(HANDLE process) { return ::AssignProcessToJobObject(m_hJob, process) != FALSE; }

bool JobObject::WaitEmpty(DWORD milliseconds) {
    const ULONGLONG end = ::GetTickCount64() + milliseconds;
    while (!m_bEmpty) {
        DWORD left = milliseconds;
        if (milliseconds != INFINITE) {
            const ULONGLONG now = ::GetTickCount64();
            left = now < end ? static_cast<DWORD>(end - now) : 0;
        }
        DWORD message = 0;
        ULONG_PTR key = 0;
        LPOVERLAPPED detail = nullptr;
        if (!::GetQueuedCompletionStatus(m_hPort, &message, &key, &detail, left)) return false;  // nothing yet
        if (key == reinterpret_cast<ULONG_PTR>(m_hJob) && message == JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO)
            m_bEmpty.store(true);
    }
    return true;
}

void JobObject::Terminate(UINT exitCode) { ::TerminateJobObject(m_hJob, exitCode); }

}  // namespace platform::detail
