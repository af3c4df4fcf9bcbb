#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <optional>
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

// A program run to completion with `input` on its standard input: its output, or none when it failed or did
// not finish within `ms`.
inline std::optional<QByteArray> run(const QString& program, const QStringList& args,
                                     const QProcessEnvironment& environment, const QByteArray& input = {},
                                     int ms = ChildProcess::deadlineMs) {
    QProcess p;
    p.setProcessEnvironment(environment);
    p.start(program, args);
    if (!p.waitForStarted(ms)) return std::nullopt;
    if (!input.isEmpty()) p.write(input);
    p.closeWriteChannel();
    const bool finished = spinUntil([&] { return p.state() == QProcess::NotRunning; }, ms);
    if (!finished || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        p.kill();
        p.waitForFinished(2000);
        return std::nullopt;
    }
    return p.readAllStandardOutput();
}

// Recording streams of clients on the sound server: the application holds one exactly while it records.
// (The virtual microphone's own stream from the sink's monitor belongs to a module, not a client.)
inline int recordingStreams() {
    auto out = run("pactl", {"list", "short", "source-outputs"}, QProcessEnvironment::systemEnvironment());
    if (!out) return -1;
    int clients = 0;
    for (const QString& line : QString::fromUtf8(*out).split('\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.split('\t');
        if (fields.size() > 2 && fields[2] != "-") ++clients;
    }
    return clients;
}

// `text` spoken into a WAV file in `folder`, with half a second of silence in front; empty when espeak-ng or
// sox failed.
inline std::string makeSpeech(const std::string& folder, const QString& text) {
    const QString raw = QString::fromStdString(folder + "/raw.wav");
    const QString speech = QString::fromStdString(folder + "/speech.wav");
    const auto system = QProcessEnvironment::systemEnvironment();
    if (!run("espeak-ng", {"-w", raw, text}, system)) return {};
    if (!run("sox", {raw, speech, "pad", "0.5", "0.3"}, system)) return {};
    return speech.toStdString();
}

// The GTK editor of tests/e2e/gtk_paste_target.py: its clipboard as it reads it (none when it did not
// answer), and its field after the last change.
inline std::optional<QString> editorClipboard(ChildProcess& editor) {
    const qsizetype from = editor.outputSize();
    editor.write("clipboard");
    std::optional<QString> answer;
    spinUntil(
        [&] {
            for (const QString& line : editor.linesSince(from))
                if (line.startsWith("CLIPBOARD:")) answer = line.mid(10);
            return answer.has_value();
        },
        3000);
    return answer;
}
inline QString editorField(const ChildProcess& editor) {
    QString last;
    for (const QString& line : editor.linesSince())
        if (line.startsWith("TEXT:")) last = line.mid(5);
    return last;
}

// Plays a WAV file into the test services' speaker, which their virtual microphone records.
inline bool playIntoMicrophone(const std::string& wav) {
    return run("paplay", {"--device=vandrel_speaker", QString::fromStdString(wav)},
               QProcessEnvironment::systemEnvironment(), {}, 30000)
        .has_value();
}

}  // namespace vandrel::test
