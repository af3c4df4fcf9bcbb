#pragma once

#include <signal.h>

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include "support/Spin.h"

namespace vandrel::test {

// A private bus with the stand-in logind (FakeLogind.cpp) on it, which the test may stop and resume.
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
        signal(SIGCONT);
        logind.closeWriteChannel();
        logind.waitForFinished(2000);
        logind.kill();
        daemon.kill();
        daemon.waitForFinished(2000);
    }
    LogindWorld(const LogindWorld&) = delete;
    LogindWorld& operator=(const LogindWorld&) = delete;

    bool waitFor(const QByteArray& line) {
        return spinUntil([&] {
            seen += logind.readAllStandardOutput();
            return seen.contains(line + "\n");
        });
    }
    void signal(int sig) {
        if (logind.state() == QProcess::Running) ::kill(static_cast<pid_t>(logind.processId()), sig);
    }

    QProcess daemon, logind;
    QString address;
    QByteArray seen;
};

}  // namespace vandrel::test
