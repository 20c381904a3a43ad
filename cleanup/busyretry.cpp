#include "cleanup/busyretry.h"

#include <algorithm>

#include "platform/app.h"
#include "platform/system.h"

CBusyRetry::CBusyRetry(unsigned budgetMs, bool pumpMessages)
    : m_deadline(std::chrono::steady_clock::now() + std::chrono::milliseconds(budgetMs)),
      m_bPumpMessages(pumpMessages) {}

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
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<unsigned>(left.count()) : 0;
}

bool CBusyRetry::PauseBeforeRetry(unsigned pauseMs, bool folderMayEmpty) {
    const std::uint32_t error = platform::GetLastError();
    if (!IsBusyError(error, folderMayEmpty)) return false;
    const unsigned left = RemainingMs();
    if (left == 0) return false;
    platform::PauseWithMessages(std::min(pauseMs, left), m_bPumpMessages);
    platform::SetLastError(error);
    return true;
}
