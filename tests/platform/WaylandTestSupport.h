#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/X11TestSupport.h"
#include "support/TestEnvironment.h"

namespace vandrel::test {

// The test service's sway: its socket as an absolute path, which WAYLAND_DISPLAY accepts. Empty when the
// tests run without the services.
inline std::string waylandSocket() {
    const char* runtime = std::getenv("VANDREL_TEST_WAYLAND_RUNTIME");
    const char* display = std::getenv("VANDREL_TEST_WAYLAND_DISPLAY");
    if (!runtime || !display || !*runtime || !*display) return {};
    return std::string(runtime) + "/" + display;
}

// What a program started into the Wayland session sees: the compositor's socket and a runtime folder of
// its own, and no X display, so that a toolkit cannot fall back to the suite's Xvfb.
inline QProcessEnvironment waylandEnvironment(const TempDir& runtime) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("WAYLAND_DISPLAY", QString::fromStdString(waylandSocket()));
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime.path().string()));
    env.remove("DISPLAY");
    return env;
}

// A program in the Wayland session, ended with the test.
class WaylandProgram {
public:
    WaylandProgram(const TempDir& runtime, const QString& program, const QStringList& arguments) {
        m_process.setProcessEnvironment(waylandEnvironment(runtime));
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(program, arguments);
        m_process.waitForStarted(10000);
    }
    ~WaylandProgram() {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
};

// Runs a program in the Wayland session to its end, keeping our event loop going meanwhile (the data it
// asks for may have to come from us); its standard output.
inline QByteArray runInWayland(const TempDir& runtime, const QString& program, const QStringList& arguments,
                               const QByteArray& input = {}) {
    QProcess process;
    process.setProcessEnvironment(waylandEnvironment(runtime));
    process.start(program, arguments);
    process.waitForStarted(10000);
    if (!input.isNull()) process.write(input);
    process.closeWriteChannel();
    spinUntil([&] { return process.state() == QProcess::NotRunning; }, 20000);
    return process.readAllStandardOutput();
}

}  // namespace vandrel::test
