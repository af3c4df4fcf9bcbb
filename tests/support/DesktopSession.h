#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

#include "support/ChildProcess.h"
#include "support/TestEnvironment.h"

namespace vandrel::test {

// A desktop session of one of the scripts in tests/support/sessions, private to the test that starts it: the
// script comes up in a folder of its own, writes the session's variables to session.env and says `ready`; it
// stops the session once our end of its standard input closes, and says `[session] NAME died` (with that
// component's log) when a part of the desktop dies on the way.
class DesktopSession {
public:
    // `variables`: the script's options given in its environment ("NAME=VALUE").
    DesktopSession(const QString& script, const QStringList& args, int readyMs, const QStringList& variables = {}) {
        // The session's user passes through our folder to its own.
        ::chmod(m_work.path().c_str(), 0711);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const QString& variable : variables)
            environment.insert(variable.section('=', 0, 0), variable.section('=', 1));
        m_script = std::make_unique<ChildProcess>("desktop session", "bash",
                                                  QStringList{script, QString::fromStdString(folder().string())} + args,
                                                  environment);
        // A session that fails to come up ends its script, with the reason in its output.
        spinUntil([this] { return m_script->hasLine("ready") || !m_script->running(); }, readyMs);
        if (!m_script->hasLine("ready")) return;
        QFile file(QString::fromStdString((folder() / "session.env").string()));
        if (!file.open(QIODevice::ReadOnly)) return;
        for (const QByteArray& line : file.readAll().split('\n')) {
            const auto eq = line.indexOf('=');
            if (eq > 0) m_variables.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)));
        }
        m_ready = m_variables.contains("WAYLAND_DISPLAY");
    }
    ~DesktopSession() {
        m_script->process().closeWriteChannel();
        if (!m_script->waitForExit(20000)) m_script->stop();
    }
    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;

    bool ready() const { return m_ready && m_script->running(); }
    std::filesystem::path folder() const { return m_work.path() / "session"; }
    // The user the session's programs run as.
    uid_t uid() const { return m_variables.value("SESSION_UID", QString::number(::getuid())).toUInt(); }
    // That user when it is not us.
    std::optional<uid_t> otherUser() const { return uid() == ::getuid() ? std::nullopt : std::optional<uid_t>(uid()); }
    // `program args` as the session's user, as a desktop's programs run as its user.
    std::pair<QString, QStringList> asUser(const QString& program, const QStringList& args) const {
        if (uid() == ::getuid()) return {program, args};
        const QString id = QString::number(uid());
        return {"setpriv", QStringList{"--reuid=" + id, "--regid=" + id, "--clear-groups", program} + args};
    }
    // `base` with the session's variables: what a program of the session starts with.
    QProcessEnvironment environment(QProcessEnvironment base) const {
        for (const QString& name : m_variables.keys())
            if (name != "SESSION_UID") base.insert(name, m_variables.value(name));
        return base;
    }
    // What the script said.
    std::string report() const { return m_script->report(); }
    // The end of every log of the session's programs.
    std::string logs() const {
        std::string all;
        std::error_code noFolder;
        for (const auto& entry : std::filesystem::directory_iterator(folder(), noFolder)) {
            if (entry.path().extension() != ".log") continue;
            QFile log(QString::fromStdString(entry.path().string()));
            if (log.open(QIODevice::ReadOnly) && log.size() > 0)
                all +=
                    "--- " + entry.path().filename().string() + "\n" + log.readAll().right(4000).toStdString() + "\n";
        }
        return all;
    }

private:
    TempDir m_work;
    std::unique_ptr<ChildProcess> m_script;
    QProcessEnvironment m_variables;
    bool m_ready = false;
};

}  // namespace vandrel::test
