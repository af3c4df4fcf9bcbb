// Our registration with a portal that the bus starts for it and that comes up only after the registration's
// bound ran out, as at login.
#include "platform/portal/HostRegistry.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QDir>
#include <QFile>
#include <QMetaObject>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <string>

#include "platform/portal/PortalClient.h"
#include "support/Spin.h"

using namespace vandrel;
using portal::PortalClient;

namespace {

// A private bus that starts registry_portal.py (after `delaySeconds`) for the first call to the portal.
class ActivatingBus {
public:
    explicit ActivatingBus(double delaySeconds) {
        QDir(m_folder.path()).mkdir("services");
        QFile service(m_folder.filePath("services/org.freedesktop.portal.Desktop.service"));
        if (!service.open(QIODevice::WriteOnly)) return;
        service.write(QString("[D-BUS Service]\nName=org.freedesktop.portal.Desktop\nExec=%1 %2 %3 %4\n")
                          .arg(SYSTEM_PYTHON, REGISTRY_PORTAL, QString::number(delaySeconds), logPath())
                          .toUtf8());
        service.close();
        QFile config(m_folder.filePath("bus.conf"));
        if (!config.open(QIODevice::WriteOnly)) return;
        config.write("<busconfig><type>session</type><listen>unix:tmpdir=" + m_folder.path().toUtf8() +
                     "</listen><servicedir>" + m_folder.filePath("services").toUtf8() +
                     "</servicedir><auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\" "
                     "eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
        config.close();
        m_daemon.start("dbus-daemon", {"--config-file=" + config.fileName(), "--nofork", "--print-address"});
        if (test::spinUntil([&] { return m_daemon.canReadLine() || m_daemon.waitForReadyRead(50); }, 15000))
            address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~ActivatingBus() {
        m_daemon.kill();
        m_daemon.waitForFinished(2000);
    }
    QString logPath() const { return m_folder.filePath("portal.log"); }
    QStringList portalLog() const {
        QFile file(logPath());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts)
                                              : QStringList{};
    }

    QString address;

private:
    QTemporaryDir m_folder;
    QProcess m_daemon;
};

}  // namespace

TEST(HostRegistry, ARegistrationThePortalTookTooLongToAnswerIsNotSentToItAgain) {
    ActivatingBus world(1.5 * portal::HostRegistry::answerMs / 1000.0);
    ASSERT_FALSE(world.address.isEmpty());
    QDBusConnection bus = QDBusConnection::connectToBus(world.address, "slow-portal");
    PortalClient client(bus);
    bool pinged = false;
    QDBusServiceWatcher arrival(PortalClient::service, bus, QDBusServiceWatcher::WatchForRegistration);
    // Sent once our side heard of the portal's arrival (after the registry did): a second Register would be
    // ahead of it.
    QObject::connect(&arrival, &QDBusServiceWatcher::serviceRegistered, [&] {
        QMetaObject::invokeMethod(
            &client,
            [&] {
                client.call(
                    "org.vandrel.Test", "Ping", {}, [&](bool) { pinged = true; }, 2000);
            },
            Qt::QueuedConnection);
    });

    testing::internal::CaptureStdout();
    portal::HostRegistry::registerApplication(bus, "com.harstow.Vandrel");
    const bool answered = test::spinUntil([&] { return pinged; }, 15000);
    const std::string printed = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(answered) << printed;
    EXPECT_EQ(world.portalLog(), QStringList({"Register com.harstow.Vandrel registered", "Ping"}));
    EXPECT_NE(printed.find("[Platform] portal: the registration as com.harstow.Vandrel went unanswered"),
              std::string::npos)
        << printed;
    EXPECT_EQ(printed.find("not registered"), std::string::npos) << printed;

    // A portal that starts anew knows nobody: it is told.
    const uint first = bus.interface()->servicePid(PortalClient::service);
    ASSERT_GT(first, 0u);
    ::kill(static_cast<pid_t>(first), SIGTERM);
    ASSERT_TRUE(test::spinUntil([&] { return !bus.interface()->isServiceRegistered(PortalClient::service); }));
    QProcess second;
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DBUS_SESSION_BUS_ADDRESS", world.address);
    second.setProcessEnvironment(environment);
    second.start(SYSTEM_PYTHON, {REGISTRY_PORTAL, "0", world.logPath()});
    // The arrival pings it too, behind the registration.
    EXPECT_TRUE(test::spinUntil([&] { return world.portalLog().size() == 4; }));
    EXPECT_EQ(world.portalLog().mid(2), QStringList({"Register com.harstow.Vandrel registered", "Ping"}));
    second.terminate();
    second.waitForFinished(2000);
    QDBusConnection::disconnectFromBus("slow-portal");
}
