#include "platform/logind/LogindSleepWatcher.h"

#include <QDBusMessage>

#include "base/Log.h"
#include "base/SystemPower.h"
#include "platform/dbus/BusCall.h"

namespace vandrel {

namespace {
constexpr auto kService = "org.freedesktop.login1";
constexpr auto kPath = "/org/freedesktop/login1";
constexpr auto kInterface = "org.freedesktop.login1.Manager";
}  // namespace

LogindSleepWatcher::LogindSleepWatcher(QDBusConnection bus, QObject* parent) : QObject(parent), m_bus(bus) {
    m_retry.setSingleShot(true);
    m_retry.setInterval(retryAfter);
    connect(&m_retry, &QTimer::timeout, this, [this] { takeInhibitor(); });
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
    if (m_inhibitor.isValid() || m_asking) return;
    m_asking = true;
    const std::uint64_t attempt = ++m_attempts;
    auto inhibit = QDBusMessage::createMethodCall(kService, kPath, kInterface, "Inhibit");
    inhibit << QString("sleep") << QString("Vandrel") << QString("Cancel a running dictation before sleep")
            << QString("delay");
    dbus::BusCall::ask(m_bus, inhibit, inhibitBound, this, [this, attempt](const dbus::BusCall::Answer& answer) {
        if (attempt != m_attempts) return;
        m_asking = false;
        const auto fd = answer.argument().value<QDBusUnixFileDescriptor>();
        if (fd.isValid()) {
            m_inhibitor = fd;
        } else if (answer.unanswered()) {
            log("SleepWatcher", "no sleep inhibitor yet: logind did not answer in time; asking again in " +
                                    std::to_string(retryAfter.count() / 1000) + " s");
            m_retry.start();
        } else {
            log("SleepWatcher", "no sleep inhibitor: " + answer.describeError());
        }
    });
}

void LogindSleepWatcher::onPrepareForSleep(bool start) {
    if (start) {
        SystemPower::shared().willSleep.emit();
        // Closing our copy of the descriptor releases the delay: the machine may suspend now. An inhibitor
        // still on its way would hold it up: it is dropped on arrival.
        m_inhibitor = QDBusUnixFileDescriptor();
        ++m_attempts;
        m_asking = false;
        m_retry.stop();
    } else {
        takeInhibitor();
        SystemPower::shared().didWake.emit();
    }
}

}  // namespace vandrel
