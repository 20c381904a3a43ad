// Worker threads on pthreads.
#include <pthread.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

#include "platform/app.h"
#include "platform/thread.h"

namespace platform {

namespace {

struct Record {
    pthread_t thread;
    Thread::Entry entry;
    void* context;
    std::atomic<bool> ended{false};
};

void* Run(void* argument) {
    Record* record = static_cast<Record*>(argument);
    record->entry(record->context);
    record->ended.store(true);
    return nullptr;
}

}  // namespace

unsigned ProcessorCount() {
    cpu_set_t set;
    if (::sched_getaffinity(0, sizeof set, &set) == 0) {
        const int count = CPU_COUNT(&set);
        if (count > 0) return static_cast<unsigned>(count);
    }
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<unsigned>(online) : 1u;
}

Thread::~Thread() { Join(); }

bool Thread::Start(Entry entry, void* context) {
    Join();
    Record* record = new Record;
    record->entry = entry;
    record->context = context;
    if (::pthread_create(&record->thread, nullptr, Run, record) != 0) {
        delete record;
        return false;
    }
    m_handle = reinterpret_cast<std::intptr_t>(record);
    return true;
}

void Thread::Join() {
    if (m_handle == 0) return;
    Record* record = reinterpret_cast<Record*>(m_handle);
    ::pthread_join(record->thread, nullptr);
    delete record;
    m_handle = 0;
}

bool Thread::Ended() const {
    return m_handle == 0 || reinterpret_cast<const Record*>(m_handle)->ended.load();
}

bool WaitForThreads(Thread* const* threads, std::size_t count, unsigned milliseconds, bool pumpMessages) {
    // The posix queue holds nothing to wait for: poll the threads in short naps.
    timespec start;
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        bool all = true;
        for (std::size_t i = 0; i < count; ++i) all = all && threads[i]->Ended();
        if (all) return true;
        if (pumpMessages) PumpWaitingMessages();
        timespec now;
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        const long long elapsed = (now.tv_sec - start.tv_sec) * 1000LL + (now.tv_nsec - start.tv_nsec) / 1000000;
        if (elapsed >= milliseconds) return false;
        timespec nap{0, 1000000};  // 1 ms
        ::nanosleep(&nap, nullptr);
    }
}

}  // namespace platform
