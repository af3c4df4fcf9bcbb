#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <functional>

namespace vandrel::test {

// Runs Qt events until `done` holds or `ms` of real time passed; returns `done()`.
inline bool spinUntil(const std::function<bool()>& done, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

inline QString clipboardOwnerPath() { return QCoreApplication::applicationDirPath() + "/clipboard_owner"; }

// What another process sees on the clipboard: "format size sha256" lines. Keeps our own event loop
// running meanwhile, since the answer may have to come from us.
inline QString dumpClipboardFromAnotherProcess() {
    QProcess dump;
    dump.start(clipboardOwnerPath(), {"dump"});
    spinUntil([&] { return dump.state() == QProcess::NotRunning; }, 20000);
    return QString::fromUtf8(dump.readAllStandardOutput());
}

}  // namespace vandrel::test
