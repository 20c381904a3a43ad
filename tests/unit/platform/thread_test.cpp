// Worker threads and the wait for them.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

#include "platform/thread.h"

namespace {

struct Work {
    std::atomic<int>* done;
    std::atomic<bool>* gate;  // null: end at once
};

void Count(void* context) {
    Work* work = static_cast<Work*>(context);
    while (work->gate != nullptr && !work->gate->load()) {
    }
    work->done->fetch_add(1);
}

TEST(Thread, WorkersRunAndTheWaitTellsWhenAllHaveEnded) {
    EXPECT_GE(platform::ProcessorCount(), 1u);
    std::atomic<int> done{0};
    std::atomic<bool> gate{false};
    Work quick{&done, nullptr}, held{&done, &gate};
    std::vector<std::unique_ptr<platform::Thread>> threads;
    for (int i = 0; i < 4; ++i) {
        threads.push_back(std::make_unique<platform::Thread>());
        ASSERT_TRUE(threads.back()->Start(Count, i == 3 ? &held : &quick));
    }
    std::vector<platform::Thread*> all;
    for (auto& t : threads) all.push_back(t.get());
    // One worker waits at the gate: the wait runs out and says so.
    EXPECT_FALSE(platform::WaitForThreads(all.data(), all.size(), 20, false));
    EXPECT_FALSE(all[3]->Ended());
    gate.store(true);
    EXPECT_TRUE(platform::WaitForThreads(all.data(), all.size(), 60000, false));
    EXPECT_EQ(done.load(), 4);
    for (auto* t : all) EXPECT_TRUE(t->Ended());

    platform::Thread never;
    EXPECT_FALSE(never.Started());
    EXPECT_TRUE(never.Ended());
    never.Join();  // nothing to wait for
}

}  // namespace
