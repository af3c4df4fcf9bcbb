#include "platform/dbus/BusJoin.h"

#include <QDBusMessage>
#include <QMetaObject>

#include "platform/dbus/BusCall.h"

namespace vandrel::dbus {
namespace {

QDBusMessage busDaemonCall(const char* method) {
    return QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                          method);
}

QString matchRule(const QString& interface, const QString& member) {
    return QString("type='signal',interface='%1',member='%2'").arg(interface, member);
}

}  // namespace

void BusJoin::join(const QString& address, const QString& connectionName, std::chrono::milliseconds bound,
                   QObject* receiver, Done done) {
    QDBusConnection peer = QDBusConnection::connectToPeer(address, connectionName);
    if (!peer.isConnected()) {
        leave(connectionName);
        QMetaObject::invokeMethod(
            receiver, [done = std::move(done)] { done(std::nullopt); }, Qt::QueuedConnection);
        return;
    }
    BusCall::ask(peer, busDaemonCall("Hello"), bound, receiver,
                 [peer, connectionName, done = std::move(done)](const BusCall::Answer& answer) {
                     if (answer.ok()) {
                         done(peer);
                         return;
                     }
                     leave(connectionName);
                     done(std::nullopt);
                 });
}

void BusJoin::leave(const QString& connectionName) { QDBusConnection::disconnectFromPeer(connectionName); }

bool BusJoin::follow(QDBusConnection& bus, const QString& interface, const QString& member, QObject* receiver,
                     const char* slot) {
    if (!bus.connect(QString(), QString(), interface, member, receiver, slot)) return false;
    // The daemon's empty answer tells nothing we act on; a rule it refused shows as events that never come.
    auto add = busDaemonCall("AddMatch");
    add << matchRule(interface, member);
    bus.send(add);
    return true;
}

void BusJoin::unfollow(QDBusConnection& bus, const QString& interface, const QString& member, QObject* receiver,
                       const char* slot) {
    bus.disconnect(QString(), QString(), interface, member, receiver, slot);
    auto remove = busDaemonCall("RemoveMatch");
    remove << matchRule(interface, member);
    bus.send(remove);
}

}  // namespace vandrel::dbus
