// The dialog's bar spans the archive's bytes, however many: a bar counts in
// 31 bits, an archive in 64.
#include <gtest/gtest.h>

#include <cstdint>

#include "launcher/dialog.h"
#include "platform/window.h"

namespace {

TEST(ProgressBar, SpansAnyNumberOfBytes) {
    const std::uint64_t kGiB = 1ull << 30;
    for (const std::uint64_t total : {std::uint64_t{0}, std::uint64_t{65536}, 2 * kGiB - 1, 2 * kGiB, 3 * kGiB,
                                      5 * kGiB, std::uint64_t{1} << 40, ~std::uint64_t{0}}) {
        SCOPED_TRACE(total);
        const platform::WindowHandle bar = platform::CreateHiddenProgressBar();
        CProgressCallback callback;
        callback.m_hBar = bar;
        callback.SetTotal(total);
        const std::intptr_t low = platform::SendWindowMessage(bar, platform::kPbmGetRange, 1, 0);
        const std::intptr_t high = platform::SendWindowMessage(bar, platform::kPbmGetRange, 0, 0);
        EXPECT_EQ(low, 0);
        EXPECT_GE(high, 0);
        EXPECT_GE(high, static_cast<std::intptr_t>(total > 0x7FFFFFFF ? 0x40000000 : total)) << "no more coarse than needed";
        EXPECT_EQ(platform::SendWindowMessage(bar, platform::kPbmGetPos, 0, 0), 0);
        callback.ShowPosition(total / 2);
        EXPECT_EQ(platform::SendWindowMessage(bar, platform::kPbmGetPos, 0, 0), high / 2);
        callback.ShowPosition(total);
        EXPECT_EQ(platform::SendWindowMessage(bar, platform::kPbmGetPos, 0, 0), high) << "full at the end";
        platform::DestroyHiddenWindow(bar);
    }
}

}  // namespace
