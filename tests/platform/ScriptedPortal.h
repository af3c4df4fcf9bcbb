#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include "base/ManualMainLoop.h"
#include "platform/X11TestSupport.h"

namespace vandrel::test {

// A private session bus with the scripted portal (scripted_portal.py) on it. The portal prints each
// call it receives; `calls()` returns them in order.
class ScriptedPortal {
public:
    ScriptedPortal() {
        m_daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
        m_daemon.waitForReadyRead(5000);
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", m_address);
        m_peer.setProcessEnvironment(env);
        m_peer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_peer.start(SYSTEM_PYTHON, {SCRIPTED_PORTAL});
        m_ready = waitForLine("ready", 20000);
    }
    ~ScriptedPortal() {
        for (const auto& name : m_connections) QDBusConnection::disconnectFromBus(name);
        m_peer.closeWriteChannel();
        m_peer.waitForFinished(3000);
        m_peer.kill();
        m_peer.waitForFinished(2000);
        m_daemon.kill();
        m_daemon.waitForFinished(2000);
    }
    ScriptedPortal(const ScriptedPortal&) = delete;
    ScriptedPortal& operator=(const ScriptedPortal&) = delete;

    bool ready() const { return m_ready; }
    // A connection of our own to the private bus, closed with the portal.
    QDBusConnection connect(const QString& name) {
        m_connections << name;
        return QDBusConnection::connectToBus(m_address, name);
    }
    // Tells the portal what to do next and waits until it has done it.
    bool send(const QByteArray& command) {
        const QString done = QString::fromUtf8("ok " + command.split(' ').first());
        read();
        const auto before = m_lines.count(done);
        m_peer.write(command + "\n");
        return spinUntil([&] {
            read();
            return m_lines.count(done) > before;
        });
    }
    bool waitForLine(const QByteArray& line, int ms = 5000) {
        return spinUntil(
            [&] {
                read();
                return m_lines.contains(QString::fromUtf8(line));
            },
            ms);
    }
    // Every call received so far, e.g. "RemoteDesktop.Start".
    QStringList calls() {
        read();
        QStringList out;
        for (const auto& line : m_lines)
            if (line.contains('.') && !line.startsWith("ok ")) out << line;
        return out;
    }
    QStringList callsSince(int count) { return calls().mid(count); }
    // The latest line the portal printed that starts with `prefix`, without it; empty when none.
    QString lastLine(const QString& prefix) {
        read();
        for (auto it = m_lines.crbegin(); it != m_lines.crend(); ++it)
            if (it->startsWith(prefix)) return it->mid(prefix.size());
        return {};
    }

private:
    void read() {
        // The portal prints a call before it answers it: take what is in the pipe now, not only what the
        // event loop has already fetched, so a call is listed once its answer has reached us.
        while (m_peer.waitForReadyRead(0)) {
        }
        m_buffer += m_peer.readAllStandardOutput();
        for (int end; (end = m_buffer.indexOf('\n')) >= 0; m_buffer.remove(0, end + 1))
            m_lines << QString::fromUtf8(m_buffer.left(end));
    }

    QProcess m_daemon, m_peer;
    QString m_address;
    QByteArray m_buffer;
    QStringList m_lines, m_connections;
    bool m_ready = false;
};

// Qt's events (the bus) and the virtual-time loop's jobs, until `done` holds or five real seconds pass.
inline bool pumpUntil(ManualMainLoop& loop, const std::function<bool()>& done, int ms = 5000) {
    return spinUntil(
        [&] {
            loop.runPending();
            return done();
        },
        ms);
}

}  // namespace vandrel::test
