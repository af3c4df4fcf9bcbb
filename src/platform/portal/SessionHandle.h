#pragma once

#include <QDBusConnection>
#include <QString>

namespace vandrel::portal {

// The handle of the session a CreateSession with `token` as its session_handle_token opens for the caller on
// `bus`. Known before the answer: a session whose answer never came (the portal may still hold it, and with it
// the token) can be closed all the same.
QString sessionHandleFor(const QDBusConnection& bus, const QString& token);

}  // namespace vandrel::portal
