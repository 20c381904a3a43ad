#include "cleanup/busyretry.h"

#include <algorithm>

#include "platform/app.h"
#include "platform/system.h"

namespace {

std::int64_t NowMs() {
    return static_cast<std::int64_t>(platform::MonotonicMilliseconds()) + 1;  // never 0, which means "no pause yet"
}

}  // namespace

CBusyRetry::CBusyRetry(unsigned budgetMs, bool pumpMessages)
    : m_nBudgetMs(budgetMs), m_bPumpMessages(pumpMessages), m_pFirstPause(&m_firstPause) {}

CBusyRetry::CBusyRetry(const CBusyRetry& other)
    : m_nBudgetMs(other.m_nBudgetMs), m_bPumpMessages(other.m_bPumpMessages), m_pFirstPause(other.m_pFirstPause) {}

bool CBusyRetry::IsBusyError(std::uint32_t error, bool folderMayEmpty) {
    switch (error) {
        case platform::kErrorSharingViolation:
        case platform::kErrorLockViolation:
        case platform::kErrorAccessDenied:
            return true;
        case platform::kErrorDirNotEmpty:
            return folderMayEmpty;
        default:
            return false;
    }
}

unsigned CBusyRetry::RemainingMs() const {
    const std::int64_t first = m_pFirstPause->load();
    if (first == 0) return m_nBudgetMs;
    const std::int64_t left = first + static_cast<std::int64_t>(m_nBudgetMs) - NowMs();
    return left > 0 ? static_cast<unsigned>(left) : 0;
}

bool CBusyRetry::PauseBeforeRetry(unsigned pauseMs, bool folderMayEmpty) {
    const std::uint32_t error = platform::GetLastError();
    if (!IsBusyError(error, folderMayEmpty)) return false;
    std::int64_t notYet = 0;
    m_pFirstPause->compare_exchange_strong(notYet, NowMs());  // the budget starts now, unless it already has
    const unsigned left = RemainingMs();
    if (left == 0) return false;
    platform::PauseWithMessages(std::min(pauseMs, left), m_bPumpMessages);
    platform::SetLastError(error);
    return true;
}
