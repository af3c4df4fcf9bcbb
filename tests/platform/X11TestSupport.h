#pragma once

#include <QCoreApplication>
#include <QProcess>
#include <QString>

#include "support/Spin.h"

namespace vandrel::test {

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
