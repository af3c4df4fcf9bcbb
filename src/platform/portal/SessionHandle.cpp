#include "platform/portal/SessionHandle.h"

namespace vandrel::portal {

QString sessionHandleFor(const QDBusConnection& bus, const QString& token) {
    // ":1.42" -> "1_42", as the portal puts the caller into the path.
    QString sender = bus.baseService();
    if (sender.startsWith(':')) sender.remove(0, 1);
    return QString("/org/freedesktop/portal/desktop/session/%1/%2").arg(sender.replace('.', '_'), token);
}

}  // namespace vandrel::portal
