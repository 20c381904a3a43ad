// Worker threads, and waiting for them from the thread that owns the
// windows. Threads come from the system (CreateThread, pthreads), not from
// a library that would grow the stub.
//
// Only the thread that created the windows may touch them; workers share
// data with it through std::atomic values.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// Processors this process may run on (at least 1).
unsigned ProcessorCount();

// One worker thread. Not copyable; the destructor waits for it to end.
class Thread {
public:
    using Entry = void (*)(void* context);

    Thread() = default;
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Runs entry(context) on a new thread; false (nothing started) when the
    // system refuses, so that the caller can do the work itself.
    bool Start(Entry entry, void* context);
    // Waits until the thread has ended; nothing when it was never started.
    void Join();
    bool Started() const { return m_handle != 0; }
    // True once entry() has returned.
    bool Ended() const;

private:
    friend bool WaitForThreads(Thread* const* threads, std::size_t count, unsigned milliseconds, bool pumpMessages);
    std::intptr_t m_handle = 0;  // HANDLE on win32, a backend record on posix
};

// Waits until every started thread of `threads` has ended, at most
// `milliseconds`; with `pumpMessages` the caller's window messages are
// processed meanwhile, as PumpWaitingMessages does. True when all have ended.
bool WaitForThreads(Thread* const* threads, std::size_t count, unsigned milliseconds, bool pumpMessages);

}  // namespace platform
