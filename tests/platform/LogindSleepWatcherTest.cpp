#include "platform/logind/LogindSleepWatcher.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <vector>

#include "base/SystemPower.h"
#include "platform/X11TestSupport.h"

using namespace vandrel;

namespace {

using test::spinUntil;

// A private bus with the stand-in logind on it.
class LogindWorld {
public:
    LogindWorld() {
        daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
        daemon.waitForReadyRead(5000);
        address = QString::fromUtf8(daemon.readLine()).trimmed();
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", address);
        logind.setProcessEnvironment(env);
        logind.start(FAKE_LOGIND, {});
        waitFor("ready");
    }
    ~LogindWorld() {
        logind.closeWriteChannel();
        logind.waitForFinished(2000);
        logind.kill();
        daemon.kill();
        daemon.waitForFinished(2000);
    }
    bool waitFor(const QByteArray& line) {
        return spinUntil([&] {
            seen += logind.readAllStandardOutput();
            return seen.contains(line + "\n");
        });
    }
    QProcess daemon, logind;
    QString address;
    QByteArray seen;
};

}  // namespace

TEST(LogindSleepWatcher, SleepIsAnnouncedBeforeTheInhibitorIsReleasedAndWakeRetakesIt) {
    LogindWorld world;
    ASSERT_FALSE(world.address.isEmpty());
    auto bus = QDBusConnection::connectToBus(world.address, "watcher");
    LogindSleepWatcher watcher(bus);
    ASSERT_TRUE(watcher.isActive());
    ASSERT_TRUE(world.waitFor("inhibited"));
    EXPECT_TRUE(watcher.holdsInhibitor());

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
