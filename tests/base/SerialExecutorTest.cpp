#include "base/SerialExecutor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "base/ManualMainLoop.h"

using namespace vandrel;

TEST(SerialExecutor, RunsJobsOneAtATimeInSubmissionOrderOffTheCallingThread) {
    SerialExecutor ex("test");
    std::vector<int> order;
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};
    std::thread::id worker;
    for (int i = 0; i < 50; ++i) {
        ex.submit([&, i] {
            if (running.fetch_add(1) != 0) overlapped = true;
            order.push_back(i);  // only the worker touches it
            worker = std::this_thread::get_id();
            std::this_thread::yield();
            running.fetch_sub(1);
        });
    }
    ex.waitIdle();
    EXPECT_FALSE(overlapped);
    ASSERT_EQ(order.size(), 50u);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(order[i], i);
    EXPECT_NE(worker, std::this_thread::get_id());
}

TEST(SerialExecutor, ShutdownFinishesTheRunningJobDropsTheQueueAndRefusesNewWork) {
    std::atomic<int> ran{0};
    std::atomic<bool> started{false};
    auto ex = std::make_unique<SerialExecutor>("test");
    ex->submit([&] {
        started = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ++ran;
    });
    for (int i = 0; i < 10; ++i) ex->submit([&] { ++ran; });
    while (!started) std::this_thread::yield();
    ex->shutdown();
    EXPECT_EQ(ran.load(), 1);
    EXPECT_FALSE(ex->submit([&] { ++ran; }));
    ex.reset();
    EXPECT_EQ(ran.load(), 1);
}

TEST(SerialExecutor, DrainingShutdownRunsEverythingQueued) {
    std::atomic<int> ran{0};
    SerialExecutor ex("test");
    for (int i = 0; i < 20; ++i) ex.submit([&] { ++ran; });
    ex.shutdown(true);
    EXPECT_EQ(ran.load(), 20);
}

TEST(SerialExecutor, AThrowingJobDoesNotStopTheExecutor) {
    SerialExecutor ex("test");
    std::atomic<bool> after{false};
    ex.submit([] { throw std::runtime_error("boom"); });
    ex.submit([&] { after = true; });
    ex.waitIdle();
    EXPECT_TRUE(after);
}

TEST(SerialExecutor, RunThenDeliversTheResultOnTheMainLoop) {
    ManualMainLoop loop;
    MainLoop::setCurrent(&loop);
    SerialExecutor ex("test");
    std::thread::id computedOn, deliveredOn;
    int result = 0;
    ex.runThen(
        [&] {
            computedOn = std::this_thread::get_id();
            return 42;
        },
        [&](int v) {
            deliveredOn = std::this_thread::get_id();
            result = v;
        });
    EXPECT_TRUE(loop.runUntil([&] { return result == 42; }));
    EXPECT_EQ(deliveredOn, std::this_thread::get_id());
    EXPECT_NE(computedOn, deliveredOn);
    MainLoop::setCurrent(nullptr);
}

TEST(SerialExecutor, RunThenWithVoidWorkCallsThenOnTheMainLoopAfterTheWork) {
    ManualMainLoop loop;
    MainLoop::setCurrent(&loop);
    SerialExecutor ex("test");
    std::atomic<bool> worked{false};
    bool workedBeforeThen = false;
    bool delivered = false;
    std::thread::id deliveredOn;
    ex.runThen([&] { worked = true; },
               [&] {
                   workedBeforeThen = worked.load();
                   deliveredOn = std::this_thread::get_id();
                   delivered = true;
               });
    EXPECT_TRUE(loop.runUntil([&] { return delivered; }));
    EXPECT_TRUE(workedBeforeThen);
    EXPECT_EQ(deliveredOn, std::this_thread::get_id());
    MainLoop::setCurrent(nullptr);
}
