#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <optional>

namespace vandrel::dbus {

// A connection of our own to a bus at an address (the accessibility bus), opened without waiting.
// QDBusConnection::connectToBus says Hello and waits for the answer on QtDBus's own thread, which serves
// every connection of the process: a bus that does not answer stops all of them (libdbus waits for a bus
// that does not even finish the handshake for good). Here the connection is opened as a peer, which sends
// nothing, and Hello goes out as a bounded call of ours. QtDBus does not know that such a connection is on
// a bus: the match rules for the signals we follow are ours to add too. Main thread only.
class BusJoin {
public:
    using Done = std::function<void(std::optional<QDBusConnection>)>;

    // Connects to `address` as `connectionName` and calls `done` once on the main loop: with the connection
    // once the bus took our Hello, or with nothing (the connection closed again) when it refused or did not
    // answer within `bound`. Nothing is called once `receiver` was destroyed; the name is then still the
    // caller's to leave().
    static void join(const QString& address, const QString& connectionName, std::chrono::milliseconds bound,
                     QObject* receiver, Done done);
    // Closes the connection of that name (joined, half-joined or refused).
    static void leave(const QString& connectionName);

    // Delivers the bus's signals of `interface` named `member`, from anyone, to `slot` of `receiver`; false when
    // QtDBus cannot deliver them there. unfollow() undoes it.
    static bool follow(QDBusConnection& bus, const QString& interface, const QString& member, QObject* receiver,
                       const char* slot);
    static void unfollow(QDBusConnection& bus, const QString& interface, const QString& member, QObject* receiver,
                         const char* slot);
};

}  // namespace vandrel::dbus
