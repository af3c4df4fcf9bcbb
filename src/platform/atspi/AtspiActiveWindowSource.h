#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
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
// application before them in place. Main thread only.
class AtspiActiveWindowSource : public QObject, public ActiveWindowSource {
    Q_OBJECT
public:
    // Connects to the session's accessibility bus; isAvailable() tells whether there is one.
    explicit AtspiActiveWindowSource(QDBusConnection sessionBus = QDBusConnection::sessionBus(),
                                     QObject* parent = nullptr);
    ~AtspiActiveWindowSource() override;

    bool isAvailable() const { return m_bus.has_value(); }

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
    std::optional<std::int64_t> processOf(const QString& busName);
    QString applicationName(const QString& busName);

    std::optional<QDBusConnection> m_bus;
    QString m_connectionName;
    std::function<void(std::optional<RunningApplication>)> m_onActivated;
    std::optional<RunningApplication> m_active;
    QString m_activeSender;
    std::string m_activeName;
    bool m_watching = false;
};

}  // namespace vandrel::atspi
