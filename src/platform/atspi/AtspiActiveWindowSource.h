#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "dictation/TargetAppTracker.h"

namespace vandrel::atspi {

// The active window as the accessibility bus tells it, for desktops that name the focused application to
// nobody else (GNOME Shell keeps its window list to allow-listed callers). Toolkits that speak AT-SPI
// (GTK, and with it the VTE terminals) announce each activation of a top-level window there, with the
// process behind it. Windows of the shell itself (its switcher, its overview) are passing and leave the
// application before them in place.
// Every application on that bus is a peer that may hang: nothing here waits for an answer. Questions go
// out asynchronously with a short bound, and the answers land on the main loop, where a newer activation
// makes an older pending one moot. Main thread only.
class AtspiActiveWindowSource : public QObject, public ActiveWindowSource {
    Q_OBJECT
public:
    // Asks the session for the accessibility bus and joins it once it answers; until then (and when there
    // is none) nothing is active. A session or a bus that does not answer is asked again later.
    explicit AtspiActiveWindowSource(QDBusConnection sessionBus = QDBusConnection::sessionBus(),
                                     QObject* parent = nullptr);
    ~AtspiActiveWindowSource() override;

    bool isConnected() const { return m_bus.has_value(); }

    // The last known answer; never asks anybody.
    std::optional<RunningApplication> activeApplication() override;
    bool start(std::function<void(std::optional<RunningApplication>)> onActivated) override;
    void stop() override;
    // The bus offers no way to raise a window: true only when it is the active one already.
    bool activate(const RunningApplication& app) override;

    // The name the active window's application gives itself ("gnome-terminal-server"); empty when none.
    std::string activeApplicationName() const { return m_activeName; }

private Q_SLOTS:
    void windowActivated(const QDBusMessage& message);
    void windowDeactivated(const QDBusMessage& message);

private:
    struct Peer {
        QString name;
        std::optional<std::int64_t> processId;
    };

    void requestAddress();
    void retryLater(const std::string& why);
    void connectTo(const QString& address);
    void watch();
    void findActiveWindow();
    // Calls `done` on the main loop with what the application on `busName` says of itself, asking only once
    // per application that answered: a unique bus name is never given to another.
    void lookUp(const QString& busName, std::function<void(const Peer&)> done);
    void becomeActive(const QString& busName, const QString& path, const Peer& peer);

    QDBusConnection m_session;
    std::optional<QDBusConnection> m_bus;
    // Ours from the join on, whether or not the bus has let us in yet.
    QString m_connectionName;
    QTimer m_retry;
    std::chrono::milliseconds m_retryDelay;
    std::function<void(std::optional<RunningApplication>)> m_onActivated;
    bool m_wantsEvents = false;
    bool m_watching = false;
    std::optional<RunningApplication> m_active;
    std::string m_activeName;
    QHash<QString, Peer> m_peers;
    // Counts the window events: an answer asked for before the latest event is stale.
    std::uint64_t m_events = 0;
    std::optional<std::uint64_t> m_pendingWindow;
};

}  // namespace vandrel::atspi
