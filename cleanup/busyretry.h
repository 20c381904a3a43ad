// Retrying a delete that failed because something else still holds the
// file or folder: a program that has just ended may still be exiting, and a
// virus scanner may have opened a new file. One budget of time is shared by
// every retry of a cleanup (and by its copies on other threads), so a folder
// full of busy files costs no more than a single one. The budget starts with
// the first pause, not with the cleanup: a long pass over a big tree must
// not leave a file that is busy at its end without a retry.
#pragma once

#include <atomic>
#include <cstdint>

class CBusyRetry {
public:
    static constexpr unsigned kDefaultBudgetMs = 2000;

    // `pumpMessages`: keep the windows alive during the pauses.
    explicit CBusyRetry(unsigned budgetMs = kDefaultBudgetMs, bool pumpMessages = false);
    // A copy (for another thread) shares the original's budget; the
    // original must outlive it.
    CBusyRetry(const CBusyRetry& other);
    CBusyRetry& operator=(const CBusyRetry&) = delete;

    // Errors worth waiting out: the object is in use (sharing, lock) or not
    // yet free to delete (access denied while a handle is still open);
    // with `folderMayEmpty` also a folder that still holds a file whose
    // delete is pending.
    static bool IsBusyError(std::uint32_t error, bool folderMayEmpty);

    // Runs `attempt` (returning true on success, with the platform's last
    // error set on failure) until it succeeds, fails with an error that is
    // not a busy one, or the budget is spent; pauses grow from 10 ms up to
    // half a second. Returns the last attempt's result; the last error is
    // the last attempt's.
    template <class Attempt>
    bool Run(Attempt attempt, bool folderMayEmpty = false) {
        for (unsigned pause = kFirstPauseMs;; pause = pause * 2 > kLongestPauseMs ? kLongestPauseMs : pause * 2) {
            if (attempt()) return true;
            if (!PauseBeforeRetry(pause, folderMayEmpty)) return false;
        }
    }

    void SetPumpMessages(bool pump) { m_bPumpMessages = pump; }
    // Time still available for pauses (all of it before the first).
    unsigned RemainingMs() const;

private:
    static constexpr unsigned kFirstPauseMs = 10;
    static constexpr unsigned kLongestPauseMs = 500;

    // Pauses (at most `pauseMs`, at most what is left) when the last error
    // is a busy one and time is left; false when the attempt should not be retried.
    bool PauseBeforeRetry(unsigned pauseMs, bool folderMayEmpty);

    unsigned m_nBudgetMs;
    bool m_bPumpMessages;
    // When the first pause began (steady clock, ms, +1); 0: no pause yet.
    std::atomic<std::int64_t> m_firstPause{0};
    std::atomic<std::int64_t>* m_pFirstPause;  // the original's
};
