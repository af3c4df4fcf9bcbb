#include "StatusNotifierWatcher.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

namespace vandrel::test {

bool StatusNotifierWatcher::registerOnSessionBus() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    if (!bus.registerObject(
            "/StatusNotifierWatcher", this,
            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties | QDBusConnection::ExportAllSignals))
        return false;
    return bus.registerService("org.kde.StatusNotifierWatcher");
}

void StatusNotifierWatcher::RegisterStatusNotifierItem(const QString& service) {
    // An item names either its bus name (the object is then /StatusNotifierItem) or an object path.
    const QString sender = message().service();
    const QString item = service.startsWith('/') ? sender + service : service + "/StatusNotifierItem";
    m_items << item;
    Q_EMIT StatusNotifierItemRegistered(item);
}

}  // namespace vandrel::test
