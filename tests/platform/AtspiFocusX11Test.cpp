// The focused application as the accessibility bus tells it, on a real bus (at-spi-bus-launcher and the
// registry, started by a private session bus on demand) with GTK windows on the test X server.
#include <gtest/gtest.h>
#include <signal.h>

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <memory>

#include "platform/atspi/AtspiActiveWindowSource.h"
#include "support/ChildProcess.h"
#include "support/Spin.h"

using namespace vandrel;
using test::ChildProcess;

namespace {

// The longest the main loop went without running a timer due every 10 ms.
struct LoopWatch {
    LoopWatch() {
        since.start();
        QObject::connect(&timer, &QTimer::timeout, [this] { longest = std::max(longest, since.restart()); });
        timer.start(10);
    }
    QTimer timer;
    QElapsedTimer since;
    qint64 longest = 0;
};

}  // namespace

TEST(AtspiActiveWindowSource, ApplicationsThatHangWithTheFocusNeverHoldUpTheMainLoop) {
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY")) << "needs the test X server";
    // The accessibility bus's socket goes into the runtime folder: one of our own beside parallel tests.
    QTemporaryDir runtime;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", runtime.path());
    ChildProcess bus("session bus", "dbus-daemon", {"--session", "--nofork", "--print-address=1"}, environment);
    ASSERT_TRUE(test::spinUntil([&] { return bus.output().contains('\n'); }, 5000)) << bus.report();
    const QString address = bus.linesSince().first().trimmed();
    QDBusConnection session = QDBusConnection::connectToBus(address, "atspi-test-session");
    ASSERT_TRUE(session.isConnected());
    environment.insert("DBUS_SESSION_BUS_ADDRESS", address);
    environment.insert("GDK_BACKEND", "x11");
    environment.remove("NO_AT_BRIDGE");
    auto start = [&](const QString& name, const QStringList& args) {
        auto child = std::make_unique<ChildProcess>(name, "/usr/bin/python3", args, environment);
        EXPECT_TRUE(child->waitForLine("READY")) << child->report();
        return child;
    };
    auto pid = [](const ChildProcess& child) { return static_cast<pid_t>(child.process().processId()); };

    // A GTK window that has the focus stops answering, as under a debugger.
    auto gtk = start("gtk window", {VANDREL_GTK_TARGET_PATH});
    ::kill(pid(*gtk), SIGSTOP);

    LoopWatch loop;
    {
        atspi::AtspiActiveWindowSource source(session);
        std::optional<RunningApplication> reported;
        ASSERT_TRUE(source.start([&](std::optional<RunningApplication> app) { reported = app; }));
        ASSERT_TRUE(test::spinUntil([&] { return source.isConnected(); }, 5000));

        // Another announces its window's activation and hangs before it could say whose it is; the user
        // turns to a third. That one is told, with its process and name, and stays told once the questions
        // to the hung one ran out.
        auto hung = start("hung application", {VANDREL_ATSPI_WINDOW_PATH, "hung-app", "hang"});
        auto next = start("next application", {VANDREL_ATSPI_WINDOW_PATH, "next-app"});
        const std::int64_t nextPid = pid(*next);
        EXPECT_TRUE(test::spinUntil([&] { return reported && reported->processId == nextPid; }, 5000))
            << next->report();
        test::spinFor(1500);
        ASSERT_TRUE(reported);
        EXPECT_EQ(reported->processId, nextPid);
        EXPECT_EQ(source.activeApplication(), reported);
        EXPECT_EQ(source.activeApplicationName(), "next-app");
        ::kill(pid(*hung), SIGCONT);
    }
    EXPECT_LT(std::max(loop.longest, loop.since.elapsed()), 400) << "the main loop waited for a stopped application";
    ::kill(pid(*gtk), SIGCONT);
    QDBusConnection::disconnectFromBus("atspi-test-session");
}
