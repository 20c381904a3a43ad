#include "platform/posix/instrument.h"

#include <atomic>
#include <mutex>
#include <vector>

#include "platform/system.h"

namespace platform {

namespace {

struct Failure {
    instrument::Call call;
    std::string pathSuffix;
    std::uint32_t error;
    int times;
};

std::atomic<std::uint64_t> g_counts[static_cast<int>(instrument::Call::kCount)];
std::atomic<bool> g_anyFailure{false};  // lets every call skip the lock while nothing is injected
std::mutex g_mutex;
std::vector<Failure> g_failures;

struct Action {
    instrument::Call call;
    std::string pathSuffix;
    std::function<void()> action;
};
std::vector<Action> g_actions;

bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

namespace instrument {

std::uint64_t CallCount(Call call) { return g_counts[static_cast<int>(call)].load(); }

void ResetCounts() {
    for (auto& count : g_counts) count.store(0);
}

void InjectFailure(Call call, const std::string& pathSuffix, std::uint32_t error, int times) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_failures.push_back({call, pathSuffix, error, times});
    g_anyFailure.store(true);
}

void InjectAction(Call call, const std::string& pathSuffix, std::function<void()> action) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_actions.push_back({call, pathSuffix, std::move(action)});
    g_anyFailure.store(true);
}

void ClearFailures() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_failures.clear();
    g_actions.clear();
    g_anyFailure.store(false);
}

}  // namespace instrument

namespace detail {

bool InstrumentedCallFails(instrument::Call call, const std::string& path) {
    g_counts[static_cast<int>(call)].fetch_add(1);
    if (!g_anyFailure.load()) return false;
    std::function<void()> action;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        for (auto it = g_actions.begin(); it != g_actions.end(); ++it) {
            if (it->call != call || !EndsWith(path, it->pathSuffix)) continue;
            action = std::move(it->action);
            g_actions.erase(it);
            break;
        }
    }
    if (action) action();  // outside the lock: the action may make calls of its own
    std::lock_guard<std::mutex> lock(g_mutex);
    for (Failure& failure : g_failures) {
        if (failure.call != call || failure.times <= 0 || !EndsWith(path, failure.pathSuffix)) continue;
        --failure.times;
        SetLastError(failure.error);
        return true;
    }
    return false;
}

}  // namespace detail

}  // namespace platform
