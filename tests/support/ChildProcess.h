#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <string>

#include "support/Spin.h"

namespace vandrel::test {

// A child process whose output (stdout and stderr together) is kept as it arrives. Waits take `deadlineMs`
// unless told otherwise.
class ChildProcess {
public:
    static constexpr int deadlineMs = 15000;

    ChildProcess(QString name, const QString& program, const QStringList& args, const QProcessEnvironment& env)
        : m_name(std::move(name)) {
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(&m_process, &QProcess::readyRead, [this] { m_output += m_process.readAll(); });
        m_process.start(program, args);
        m_started = m_process.waitForStarted(deadlineMs);
    }
    ~ChildProcess() { stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return m_started; }
    bool running() const { return m_process.state() == QProcess::Running; }
    QProcess& process() { return m_process; }
    const QProcess& process() const { return m_process; }
    QString output() const { return QString::fromUtf8(m_output); }
    qsizetype outputSize() const { return m_output.size(); }
    // Output lines that arrived after byte `from` of the output.
    QStringList linesSince(qsizetype from = 0) const {
        return QString::fromUtf8(m_output.mid(from)).split('\n', Qt::SkipEmptyParts);
    }
    bool hasLine(const QString& line, qsizetype from = 0) const { return linesSince(from).contains(line); }
    bool waitForLine(const QString& line, qsizetype from = 0, int ms = deadlineMs) {
        return spinUntil([&] { return hasLine(line, from); }, ms);
    }
    bool waitForOutput(const QString& part, int ms = deadlineMs) {
        return spinUntil([&] { return output().contains(part); }, ms);
    }
    bool waitForExit(int ms = deadlineMs) {
        return spinUntil([&] { return !running(); }, ms);
    }
    void write(const QString& line) { m_process.write((line + "\n").toUtf8()); }
    // "name's output:" and the output, for failure messages.
    std::string report() const { return "--- output of " + m_name.toStdString() + " ---\n" + output().toStdString(); }

    void stop() {
        if (m_process.state() == QProcess::NotRunning) return;
        m_process.terminate();
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

private:
    QString m_name;
    QProcess m_process;
    QByteArray m_output;
    bool m_started = false;
};

}  // namespace vandrel::test
