#include "platform/logind/LogindSleepWatcher.h"

#include <QDBusInterface>
#include <QDBusReply>

#include "base/Log.h"
#include "base/SystemPower.h"

namespace vandrel {

namespace {
constexpr auto kService = "org.freedesktop.login1";
constexpr auto kPath = "/org/freedesktop/login1";
constexpr auto kInterface = "org.freedesktop.login1.Manager";
}  // namespace

LogindSleepWatcher::LogindSleepWatcher(QDBusConnection bus, QObject* parent) : QObject(parent), m_bus(bus) {
    if (!m_bus.isConnected()) {
        log("SleepWatcher", "no system bus: sleep and wake are not followed");
        return;
    }
    m_active = m_bus.connect(kService, kPath, kInterface, "PrepareForSleep", this, SLOT(onPrepareForSleep(bool)));
    if (!m_active) {
        log("SleepWatcher", "cannot follow logind: sleep and wake are not followed");
        return;
    }
    takeInhibitor();
}

void LogindSleepWatcher::takeInhibitor() {
    if (m_inhibitor.isValid()) return;
    QDBusInterface manager(kService, kPath, kInterface, m_bus);
    QDBusReply<QDBusUnixFileDescriptor> reply =
        manager.call("Inhibit", "sleep", "Vandrel", "Cancel a running dictation before sleep", "delay");
    if (reply.isValid())
        m_inhibitor = reply.value();
    else
        log("SleepWatcher", "no sleep inhibitor: " + reply.error().message().toStdString());
}

void LogindSleepWatcher::onPrepareForSleep(bool start) {
    if (start) {
        SystemPower::shared().willSleep.emit();
        // Closing our copy of the descriptor releases the delay: the machine may suspend now.
        m_inhibitor = QDBusUnixFileDescriptor();
    } else {
        takeInhibitor();
        SystemPower::shared().didWake.emit();
    }
}

}  // namespace vandrel
