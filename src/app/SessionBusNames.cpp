#include "app/SessionBusNames.h"

#include <QDBusMessage>

namespace vandrel {

SessionBusNames::SessionBusNames(const QDBusConnection& bus)
    : m_answer(dbus::BusCall::ask(bus,
                                  QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                                 "org.freedesktop.DBus", "ListNames"),
                                  bound, nullptr, {})) {}

std::optional<QStringList> SessionBusNames::known() const {
    const auto answer = m_answer.peek();
    if (!answer || !answer->ok()) return std::nullopt;
    return answer->argument().toStringList();
}

}  // namespace vandrel
