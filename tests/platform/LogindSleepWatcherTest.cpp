#include "platform/logind/LogindSleepWatcher.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <vector>

#include "base/SystemPower.h"
#include "platform/LogindWorld.h"
#include "support/LoopWatch.h"

using namespace vandrel;

namespace {

using test::LogindWorld;
using test::spinFor;
using test::spinUntil;

}  // namespace

TEST(LogindSleepWatcher, SleepIsAnnouncedBeforeTheInhibitorIsReleasedAndWakeRetakesIt) {
    LogindWorld world;
    ASSERT_FALSE(world.address.isEmpty());
    auto bus = QDBusConnection::connectToBus(world.address, "watcher");
    LogindSleepWatcher watcher(bus);
    ASSERT_TRUE(watcher.isActive());
    ASSERT_TRUE(world.waitFor("inhibited"));
    EXPECT_TRUE(spinUntil([&] { return watcher.holdsInhibitor(); }));

    std::vector<std::string> events;
    auto s = SystemPower::shared().willSleep.connect([&] {
        // The machine must still be held while we handle the sleep.
        events.push_back(watcher.holdsInhibitor() ? "sleep-held" : "sleep-unheld");
    });
    auto w = SystemPower::shared().didWake.connect([&] { events.push_back("wake"); });

    world.logind.write("sleep\n");
    ASSERT_TRUE(spinUntil([&] { return events.size() >= 2; }))
        << world.seen.toStdString() << world.logind.readAllStandardError().toStdString();
    EXPECT_EQ(events, (std::vector<std::string>{"sleep-held", "wake"}));
    EXPECT_TRUE(world.waitFor("released"));
    EXPECT_TRUE(spinUntil([&] { return watcher.holdsInhibitor(); }));  // taken again after wake
    QDBusConnection::disconnectFromBus("watcher");
}

TEST(LogindSleepWatcher, AStalledLogindHoldsUpNeitherTheStartNorTheWake) {
    LogindWorld world;
    test::LoopWatch loop;
    world.signal(SIGSTOP);
    auto bus = QDBusConnection::connectToBus(world.address, "stalled");
    LogindSleepWatcher watcher(bus);
    ASSERT_TRUE(watcher.isActive());
    spinFor(1000);
    EXPECT_LT(loop.longestGapMs(), 400) << "the start waited for logind";
    // Back within the bound: its answer is taken.
    world.signal(SIGCONT);
    EXPECT_TRUE(spinUntil([&] { return watcher.holdsInhibitor(); }));

    int wakes = 0;
    auto w = SystemPower::shared().didWake.connect([&] { ++wakes; });
    test::LoopWatch afterWake;
    world.logind.write("sleep-and-stall\n");
    ASSERT_TRUE(world.waitFor("stalled"));
    ASSERT_TRUE(spinUntil([&] { return wakes == 1; }));
    spinFor(1000);
    EXPECT_LT(afterWake.longestGapMs(), 400) << "the wake waited for logind";
    world.signal(SIGCONT);
    EXPECT_TRUE(spinUntil([&] { return watcher.holdsInhibitor(); }));
    QDBusConnection::disconnectFromBus("stalled");
}

TEST(LogindSleepWatcher, WithoutLogindTheWatcherIsInactiveAndHarmless) {
    LogindWorld world;
    world.logind.kill();
    world.logind.waitForFinished(2000);
    auto bus = QDBusConnection::connectToBus(world.address, "lonely");
    LogindSleepWatcher watcher(bus);
    EXPECT_FALSE(watcher.holdsInhibitor());
    QDBusConnection::disconnectFromBus("lonely");
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
