// The focused application as the accessibility bus tells it, on a real bus (at-spi-bus-launcher and the
// registry, started by a private session bus on demand) with GTK windows on the test X server; and on an
// accessibility bus of the test's own, which it stops.
#include <gtest/gtest.h>
#include <signal.h>

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "platform/atspi/AtspiActiveWindowSource.h"
#include "support/ChildProcess.h"
#include "support/LoopWatch.h"
#include "support/Spin.h"

using namespace vandrel;
using test::ChildProcess;

namespace {

// A private session bus whose accessibility bus is a second dbus-daemon, which the test may stop. Neither
// starts anything by itself.
class PrivateAccessibilityBus : public ::testing::Test {
protected:
    void SetUp() override {
        QFile config(m_folder.filePath("bus.conf"));
        ASSERT_TRUE(m_folder.isValid() && config.open(QIODevice::WriteOnly));
        config.write(QByteArray("<busconfig><type>session</type><listen>unix:tmpdir=") + m_folder.path().toUtf8() +
                     "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\" "
                     "eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
        config.close();
        m_environment = QProcessEnvironment::systemEnvironment();
        const QStringList args{"--config-file=" + config.fileName(), "--nofork", "--print-address=1"};
        m_session = std::make_unique<ChildProcess>("session bus", "dbus-daemon", args, m_environment);
        m_accessibility = std::make_unique<ChildProcess>("accessibility bus", "dbus-daemon", args, m_environment);
        for (auto* daemon : {m_session.get(), m_accessibility.get()})
            ASSERT_TRUE(test::spinUntil([&] { return daemon->output().contains('\n'); }, 5000)) << daemon->report();
        const QString sessionAddress = m_session->linesSince().first().trimmed();
        m_environment.insert("DBUS_SESSION_BUS_ADDRESS", sessionAddress);
        m_launcher = std::make_unique<ChildProcess>(
            "launcher", "/usr/bin/python3",
            QStringList{VANDREL_A11Y_LAUNCHER_PATH, m_accessibility->linesSince().first().trimmed()}, m_environment);
        ASSERT_TRUE(m_launcher->waitForLine("READY")) << m_launcher->report();
        session = QDBusConnection::connectToBus(sessionAddress, "a11y-test-session");
        ASSERT_TRUE(session.isConnected());
    }
    void TearDown() override {
        stallAccessibilityBus(false);
        m_applications.clear();
        QDBusConnection::disconnectFromBus("a11y-test-session");
    }
    void stallAccessibilityBus(bool stalled) {
        if (!m_accessibility) return;
        const auto pid = static_cast<pid_t>(m_accessibility->process().processId());
        m_watchdog = {};
        ::kill(pid, stalled ? SIGSTOP : SIGCONT);
        // A source that waits for the stopped bus would keep the test from ever resuming it: a failure, not a hang.
        if (stalled)
            m_watchdog = std::jthread([pid](std::stop_token stop) {
                for (int i = 0; i < 200 && !stop.stop_requested(); ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                ::kill(pid, SIGCONT);
            });
    }
    // An atspi_window.py application named `name`, once it announced its window's activation.
    ChildProcess& startApplication(const QString& name, const QStringList& more = {}) {
        m_applications.push_back(std::make_unique<ChildProcess>(
            name, "/usr/bin/python3", QStringList{VANDREL_ATSPI_WINDOW_PATH, name} + more, m_environment));
        EXPECT_TRUE(m_applications.back()->waitForLine("READY")) << m_applications.back()->report();
        return *m_applications.back();
    }

    QDBusConnection session{QString()};
    std::optional<RunningApplication> reported;

private:
    QTemporaryDir m_folder;
    QProcessEnvironment m_environment;
    std::unique_ptr<ChildProcess> m_session, m_accessibility, m_launcher;
    std::vector<std::unique_ptr<ChildProcess>> m_applications;
    std::jthread m_watchdog;
};

pid_t pidOf(const ChildProcess& child) { return static_cast<pid_t>(child.process().processId()); }

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

    // A GTK window that has the focus stops answering, as under a debugger.
    auto gtk = start("gtk window", {VANDREL_GTK_TARGET_PATH});
    ::kill(pidOf(*gtk), SIGSTOP);

    test::LoopWatch loop;
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
        const std::int64_t nextPid = pidOf(*next);
        EXPECT_TRUE(test::spinUntil([&] { return reported && reported->processId == nextPid; }, 5000))
            << next->report();
        test::spinFor(1500);
        ASSERT_TRUE(reported);
        EXPECT_EQ(reported->processId, nextPid);
        EXPECT_EQ(source.activeApplication(), reported);
        EXPECT_EQ(source.activeApplicationName(), "next-app");
        ::kill(pidOf(*hung), SIGCONT);
    }
    EXPECT_LT(loop.longestGapMs(), 400) << "the main loop waited for a stopped application";
    ::kill(pidOf(*gtk), SIGCONT);
    QDBusConnection::disconnectFromBus("atspi-test-session");
}

TEST_F(PrivateAccessibilityBus, AStalledBusHoldsUpNothingAndIsJoinedOnceItAnswers) {
    stallAccessibilityBus(true);
    test::LoopWatch loop;
    atspi::AtspiActiveWindowSource source(session);
    ASSERT_TRUE(source.start([&](std::optional<RunningApplication> app) { reported = app; }));
    test::spinFor(2500);  // past the bound of the bus's Hello
    EXPECT_LT(loop.longestGapMs(), 400) << "the main loop waited for the stopped bus";

    // Asked again, the bus lets us in, and its applications' windows are told.
    stallAccessibilityBus(false);
    ASSERT_TRUE(test::spinUntil([&] { return source.isConnected(); }, 10000));
    startApplication("late-app");
    EXPECT_TRUE(test::spinUntil([&] { return source.activeApplicationName() == "late-app"; }));
}

TEST_F(PrivateAccessibilityBus, AnApplicationTooBusyToSayWhoItIsIsAskedAgainAtItsNextActivation) {
    atspi::AtspiActiveWindowSource source(session);
    ASSERT_TRUE(source.start([&](std::optional<RunningApplication> app) { reported = app; }));
    ASSERT_TRUE(test::spinUntil([&] { return source.isConnected(); }));

    // A terminal busy at its first activation: the bus names its process, the terminal nothing.
    ChildProcess& terminal = startApplication("busy-terminal", {"hang"});
    const std::int64_t pid = pidOf(terminal);
    ASSERT_TRUE(test::spinUntil([&] { return reported && reported->processId == pid; }));
    EXPECT_EQ(source.activeApplicationName(), "");

    // Back, and activated again: now it says who it is.
    ::kill(static_cast<pid_t>(pid), SIGCONT);
    terminal.write("activate");
    ASSERT_TRUE(terminal.waitForLine("ACTIVATED")) << terminal.report();
    EXPECT_TRUE(test::spinUntil([&] { return source.activeApplicationName() == "busy-terminal"; }))
        << "still known as \"" << source.activeApplicationName() << "\"";
}
