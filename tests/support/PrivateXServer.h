#pragma once

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <optional>
#include <string>

#include "support/Spin.h"
#include "support/TestEnvironment.h"

namespace vandrel::test {

// An X server of the test's own (Xvfb), made the process's DISPLAY while it lives: for what the other tests
// on the suite's shared server must neither see nor feel, as another keyboard layout, or browsers that watch
// the clipboard. Its clients lose their connection when it goes.
class PrivateXServer {
public:
    PrivateXServer() {
        const QString displayFile = QString::fromStdString((m_dir / "display").string());
        m_server.start("bash", {"-c", "exec Xvfb -displayfd 3 -nolisten tcp -noreset -screen 0 1280x800x24 3>\"$0\"",
                                displayFile});
        QByteArray number;
        spinUntil(
            [&] {
                QFile file(displayFile);
                if (file.open(QIODevice::ReadOnly)) number = file.readAll().trimmed();
                return !number.isEmpty();
            },
            30000);
        if (number.isEmpty()) return;
        m_name = ":" + number.toStdString();
        m_display.emplace("DISPLAY", m_name);
    }
    ~PrivateXServer() {
        m_display.reset();
        m_server.terminate();
        if (!m_server.waitForFinished(5000)) m_server.kill();
        m_server.waitForFinished(5000);
    }
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;

    bool running() const { return !m_name.empty() && m_server.state() == QProcess::Running; }
    const std::string& name() const { return m_name; }

private:
    TempDir m_dir;
    QProcess m_server;
    std::string m_name;
    std::optional<ScopedEnv> m_display;
};

}  // namespace vandrel::test
