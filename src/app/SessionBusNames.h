#pragma once

#include <QDBusConnection>
#include <QStringList>
#include <chrono>
#include <optional>

#include "platform/dbus/BusCall.h"

namespace vandrel {

// The names on the session bus, asked for once as the platform pieces are made, without waiting. The
// platform choice comes later in the start and takes what the bus daemon has answered by then (QtDBus's
// thread takes the answer in while the start goes on): the daemon answers at once, long before that, where
// a desktop service might hang. Main thread only.
class SessionBusNames {
public:
    static constexpr std::chrono::milliseconds bound{2000};

    explicit SessionBusNames(const QDBusConnection& bus);
    // The bus's names once it answered; empty while it has not (or when it could not be asked).
    std::optional<QStringList> known() const;

private:
    dbus::BusCall::Pending m_answer;
};

}  // namespace vandrel
