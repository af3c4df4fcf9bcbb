#pragma once

#include <QDBusContext>
#include <QObject>
#include <QStringList>

namespace vandrel::test {

// A desktop's tray host as far as applications see it: the StatusNotifierWatcher on the session bus. With
// it registered, Qt shows a tray icon as a StatusNotifierItem whose menu is exported over D-Bus, which a
// test can read and click like a panel would.
class StatusNotifierWatcher : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)

public:
    // Takes the watcher's name on the session bus; false when that is not possible.
    bool registerOnSessionBus();
    bool isHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const { return m_items; }

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& service);
    void RegisterStatusNotifierHost(const QString&) {}

Q_SIGNALS:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierItemUnregistered(const QString& service);
    void StatusNotifierHostRegistered();

private:
    QStringList m_items;  // "bus name/object path"
};

}  // namespace vandrel::test
