#pragma once

#include <sys/prctl.h>

#include <QDBusConnection>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>
#include <csignal>
#include <ostream>

#include "base/ManualMainLoop.h"
#include "platform/X11TestSupport.h"

// Readable failures: GoogleTest would otherwise print each character of a QString as raw bytes.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace vandrel::test {

// A private session bus with the desktop portal on it: the real xdg-desktop-portal in front of the scripted
// backend (scripted_portal.py, which starts the frontend and documents its commands). The backend prints
// each call the frontend passes on; `calls()` returns them in order.
class ScriptedPortal {
public:
    enum class Start { now, later };
    explicit ScriptedPortal(Start when = Start::now) {
        // A bus that activates nothing: every service on it is one the backend started, never one of the
        // machine's own portals that happened to have a service file.
        const QString config = m_folder.filePath("bus.conf");
        QFile file(config);
        if (!m_folder.isValid() || !file.open(QIODevice::WriteOnly)) return;
        file.write(QByteArray("<busconfig><type>session</type><listen>unix:dir=") + m_folder.path().toUtf8() +
                   "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\" "
                   "eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
        file.close();
        // Neither outlives a test that crashes: the bus and the backend (which stops the frontend) end with it.
        for (auto* child : {&m_daemon, &m_peer})
            child->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_daemon.start("dbus-daemon", {"--config-file=" + config, "--nofork", "--print-address"});
        // Bounded, and generous: on a machine busy with builds a process can take seconds to come up.
        if (!spinUntil([&] { return m_daemon.canReadLine() || m_daemon.waitForReadyRead(50); }, 15000)) return;
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        if (when == Start::now) start();
    }
    // Brings the portal onto the bus (once): the backend, then the frontend in front of it.
    bool start() {
        if (m_address.isEmpty() || m_peer.state() != QProcess::NotRunning) return m_ready;
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", m_address);
        m_peer.setProcessEnvironment(env);
        m_peer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_peer.start(SYSTEM_PYTHON, {SCRIPTED_PORTAL});
        // The backend gives up on the frontend by itself after its own bound, and says so.
        spinUntil(
            [&] {
                read();
                return m_lines.contains("ready") || !lastLine("failed: ").isEmpty();
            },
            30000);
        m_ready = m_lines.contains("ready");
        if (!m_ready) qWarning("scripted portal did not come up: %s", qPrintable(lastLine("failed: ")));
        return m_ready;
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
    // Tells the portal what to do next and waits until it has done it; false for a command it does not know.
    bool send(const QByteArray& command) {
        const QString verb = QString::fromUtf8(command.split(' ').first());
        read();
        const auto before = m_lines.count("ok " + verb), unknown = m_lines.count("unknown " + verb);
        m_peer.write(command + "\n");
        return spinUntil([&] {
                   read();
                   return m_lines.count("ok " + verb) > before || m_lines.count("unknown " + verb) > unknown;
               }) &&
               m_lines.count("ok " + verb) > before;
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
    // The calls after the first `count`, once at least `expected` of them arrived or five seconds passed:
    // the frontend answers a call before the backend has it, so an answered call may still be on its way.
    QStringList callsSince(int count, int expected) {
        spinUntil([&] { return calls().size() >= count + expected; });
        return callsSince(count);
    }
    // The latest line the portal printed that starts with `prefix`, without it; empty when none.
    QString lastLine(const QString& prefix) {
        read();
        for (auto it = m_lines.crbegin(); it != m_lines.crend(); ++it)
            if (it->startsWith(prefix)) return it->mid(prefix.size());
        return {};
    }

private:
    void read() {
        // Take what is in the pipe now, not only what the event loop has already fetched.
        while (m_peer.waitForReadyRead(0)) {
        }
        m_buffer += m_peer.readAllStandardOutput();
        for (int end; (end = m_buffer.indexOf('\n')) >= 0; m_buffer.remove(0, end + 1))
            m_lines << QString::fromUtf8(m_buffer.left(end));
    }

    QTemporaryDir m_folder;
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
