#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "base/ManualMainLoop.h"

using namespace vandrel;

TEST(ManualMainLoop, PostedJobsRunInOrderIncludingJobsPostedByJobs) {
    ManualMainLoop loop;
    std::vector<int> order;
    loop.post([&] {
        order.push_back(1);
        loop.post([&] { order.push_back(3); });
    });
    loop.post([&] { order.push_back(2); });
    EXPECT_EQ(loop.runPending(), 3);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(ManualMainLoop, TimersFireInDueOrderWithVirtualTime) {
    ManualMainLoop loop;
    const auto start = loop.now();
    std::vector<std::pair<int, double>> fired;
    auto at = [&](int id) {
        return [&, id] { fired.emplace_back(id, std::chrono::duration<double>(loop.now() - start).count()); };
    };
    auto t3 = loop.singleShot(seconds(0.3), at(3));
    auto t1 = loop.singleShot(seconds(0.1), at(1));
    auto t2 = loop.singleShot(seconds(0.2), at(2));
    loop.advance(seconds(0.15));
    ASSERT_EQ(fired.size(), 1u);
    EXPECT_DOUBLE_EQ(fired[0].second, 0.1);
    EXPECT_FALSE(t1.isActive());
    EXPECT_TRUE(t2.isActive());
    loop.advance(seconds(1));
    ASSERT_EQ(fired.size(), 3u);
    EXPECT_EQ(fired[1].first, 2);
    EXPECT_EQ(fired[2].first, 3);
    EXPECT_DOUBLE_EQ(std::chrono::duration<double>(loop.now() - start).count(), 1.15);
}

TEST(ManualMainLoop, CancelledAndDroppedTimersNeverFire) {
    ManualMainLoop loop;
    int n = 0;
    auto kept = loop.singleShot(seconds(1), [&] { n += 1; });
    kept.cancel();
    {
        auto dropped = loop.singleShot(seconds(1), [&] { n += 10; });
    }
    auto repeating = loop.repeating(seconds(0.5), [&] { n += 100; });
    loop.advance(seconds(1.2));
    EXPECT_EQ(n, 200);
    repeating = Timer();  // replacing the handle cancels the old timer
    loop.advance(seconds(5));
    EXPECT_EQ(n, 200);
    EXPECT_EQ(loop.activeTimerCount(), 0u);
}

TEST(ManualMainLoop, TimerCallbackMayCancelItselfAndScheduleAnother) {
    ManualMainLoop loop;
    int ticks = 0;
    Timer t;
    Timer follow;
    t = loop.repeating(seconds(1), [&] {
        if (++ticks == 3) {
            t.cancel();
            follow = loop.singleShot(seconds(1), [&] { ticks += 100; });
        }
    });
    loop.advance(seconds(10));
    EXPECT_EQ(ticks, 103);
}

TEST(ManualMainLoop, RunAfterKeepsItsTimerAliveWithoutAHandle) {
    ManualMainLoop loop;
    MainLoop::setCurrent(&loop);
    bool ran = false;
    runAfter(seconds(0.2), [&] { ran = true; });
    loop.advance(seconds(0.1));
    EXPECT_FALSE(ran);
    loop.advance(seconds(0.1));
    EXPECT_TRUE(ran);
    EXPECT_EQ(loop.activeTimerCount(), 0u);
    MainLoop::setCurrent(nullptr);
}

TEST(ManualMainLoop, RunUntilPicksUpJobsPostedFromOtherThreads) {
    ManualMainLoop loop;
    bool done = false;
    std::thread worker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        loop.post([&] { done = true; });
    });
    EXPECT_TRUE(loop.runUntil([&] { return done; }));
    worker.join();
    EXPECT_TRUE(loop.isMainThread());
}
