// Worker threads on CreateThread.
#include "platform/win32/windows_api.h"

#include <vector>

#include "platform/app.h"
#include "platform/thread.h"

namespace platform {

namespace {

struct StartRecord {
    Thread::Entry entry;
    void* context;
};

DWORD WINAPI Run(void* argument) {
    StartRecord start = *static_cast<StartRecord*>(argument);
    delete static_cast<StartRecord*>(argument);
    start.entry(start.context);
    return 0;
}

}  // namespace

unsigned ProcessorCount() {
    DWORD_PTR process = 0, system = 0;
    if (::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system) && process != 0) {
        unsigned count = 0;
        for (; process != 0; process &= process - 1) ++count;
        return count;
    }
    SYSTEM_INFO info;
    ::GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1u;
}

Thread::~Thread() { Join(); }

bool Thread::Start(Entry entry, void* context) {
    Join();
    StartRecord* start = new StartRecord{entry, context};
    HANDLE handle = ::CreateThread(nullptr, 0, Run, start, 0, nullptr);
    if (handle == nullptr) {
        delete start;
        return false;
    }
    m_handle = reinterpret_cast<std::intptr_t>(handle);
    return true;
}

void Thread::Join() {
    if (m_handle == 0) return;
    HANDLE handle = reinterpret_cast<HANDLE>(m_handle);
    ::WaitForSingleObject(handle, INFINITE);
    ::CloseHandle(handle);
    m_handle = 0;
}

bool Thread::Ended() const {
    return m_handle == 0 || ::WaitForSingleObject(reinterpret_cast<HANDLE>(m_handle), 0) == WAIT_OBJECT_0;
}

bool WaitForThreads(Thread* const* threads, std::size_t count, unsigned milliseconds, bool pumpMessages) {
    const ULONGLONG end = ::GetTickCount64() + milliseconds;
    for (;;) {
        std::vector<HANDLE> running;
        for (std::size_t i = 0; i < count; ++i)
            if (!threads[i]->Ended()) running.push_back(reinterpret_cast<HANDLE>(threads[i]->m_handle));
        if (running.empty()) return true;
        const ULONGLONG now = ::GetTickCount64();
        if (now >= end) return false;
        const DWORD left = static_cast<DWORD>(end - now);
        // One wait covers at most 63 handles besides the queue; more are polled.
        const DWORD n = static_cast<DWORD>(running.size() < 63 ? running.size() : 63);
        const DWORD result = pumpMessages ? ::MsgWaitForMultipleObjects(n, running.data(), FALSE, left, QS_ALLINPUT)
                                          : ::WaitForMultipleObjects(n, running.data(), FALSE, left);
        if (pumpMessages && result == WAIT_OBJECT_0 + n) PumpWaitingMessages();
        if (result == WAIT_FAILED) ::Sleep(1);
    }
}

}  // namespace platform
