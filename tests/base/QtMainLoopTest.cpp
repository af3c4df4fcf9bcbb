#include "platform/qt/QtMainLoop.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <thread>

using namespace vandrel;

namespace {
void spin(const std::function<bool()>& done, int ms = 2000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}
}  // namespace

TEST(QtMainLoop, PostFromAnotherThreadRunsOnTheMainThreadInOrder) {
    QtMainLoop loop;
    std::vector<int> order;
    std::thread::id ranOn;
    std::thread worker([&] {
        for (int i = 0; i < 5; ++i)
            loop.post([&, i] {
                order.push_back(i);
                ranOn = std::this_thread::get_id();
            });
    });
    worker.join();
    spin([&] { return order.size() == 5; });
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(QtMainLoop, SingleShotFiresOnceAndCancelledTimersNever) {
    QtMainLoop loop;
    int fired = 0, cancelled = 0;
    auto t = loop.singleShot(std::chrono::milliseconds(10), [&] { ++fired; });
    auto c = loop.singleShot(std::chrono::milliseconds(10), [&] { ++cancelled; });
    c.cancel();
    spin([&] { return fired > 0; });
    spin([] { return false; }, 50);
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(cancelled, 0);
    EXPECT_FALSE(t.isActive());
}

TEST(QtMainLoop, RepeatingTimerStopsWhenItsHandleDies) {
    QtMainLoop loop;
    int ticks = 0;
    {
        auto r = loop.repeating(std::chrono::milliseconds(5), [&] { ++ticks; });
        spin([&] { return ticks >= 3; });
    }
    const int atDrop = ticks;
    spin([] { return false; }, 50);
    EXPECT_EQ(ticks, atDrop);
    EXPECT_GE(atDrop, 3);
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
