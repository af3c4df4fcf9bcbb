#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <cstdint>

namespace vandrel {

// Follows logind's PrepareForSleep signal and re-announces it through SystemPower on the main thread.
// It holds a "delay" sleep inhibitor while awake, so the machine waits until our sleep handlers ran,
// and releases it right after them. logind is asked without waiting, at start and after every wake,
// when it is busiest: the main loop runs on while it thinks.
class LogindSleepWatcher : public QObject {
    Q_OBJECT
public:
    // How long logind may take to hand out the inhibitor.
    static constexpr std::chrono::milliseconds inhibitBound{5000};
    // After an Inhibit that had no answer, the next one.
    static constexpr std::chrono::milliseconds retryAfter{30000};

    // `bus` is normally the system bus; tests hand in a private one with a stand-in logind.
    explicit LogindSleepWatcher(QDBusConnection bus = QDBusConnection::systemBus(), QObject* parent = nullptr);
    // False when there is no bus or logind's signal cannot be followed; the application runs on without it.
    bool isActive() const { return m_active; }
    bool holdsInhibitor() const { return m_inhibitor.isValid(); }

private Q_SLOTS:
    void onPrepareForSleep(bool start);

private:
    void takeInhibitor();

    QDBusConnection m_bus;
    QDBusUnixFileDescriptor m_inhibitor;
    QTimer m_retry;
    // Counts the Inhibit calls: the answer to one asked before a sleep began is dropped, inhibitor and all.
    std::uint64_t m_attempts = 0;
    bool m_asking = false;
    bool m_active = false;
};

}  // namespace vandrel
