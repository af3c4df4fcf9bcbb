#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>

namespace vandrel {

// Follows logind's PrepareForSleep signal and re-announces it through SystemPower on the main thread.
// It holds a "delay" sleep inhibitor while awake, so the machine waits until our sleep handlers ran,
// and releases it right after them.
class LogindSleepWatcher : public QObject {
    Q_OBJECT
public:
    // `bus` is normally the system bus; tests hand in a private one with a stand-in logind.
    explicit LogindSleepWatcher(QDBusConnection bus = QDBusConnection::systemBus(), QObject* parent = nullptr);
    // False when there is no bus or logind does not answer; the application runs on without it.
    bool isActive() const { return m_active; }
    bool holdsInhibitor() const { return m_inhibitor.isValid(); }

private Q_SLOTS:
    void onPrepareForSleep(bool start);

private:
    void takeInhibitor();

    QDBusConnection m_bus;
    QDBusUnixFileDescriptor m_inhibitor;
    bool m_active = false;
};

}  // namespace vandrel
