#include "platform/portal/HostRegistry.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QTimer>
#include <QVariantMap>
#include <array>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "base/Log.h"
#include "platform/portal/PortalClient.h"

namespace vandrel::portal {
namespace {

struct Registration {
    bool settled = false;
    std::vector<std::function<void()>> waiting;
};

// By connection name: each connection is a peer of its own to the portal.
std::map<QString, Registration>& registrations() {
    static std::map<QString, Registration> all;
    return all;
}

void settle(const QString& connection) {
    auto& registration = registrations()[connection];
    registration.settled = true;
    for (auto& next : std::exchange(registration.waiting, {})) next();
}

// The portal looks for the application's desktop entry through GLib, which learns of a new file from the file
// system's notification, a moment after it was written: an entry written right before the registration may not
// be known yet (seen on GNOME 48). A refused registration leaves the connection unnamed, so it is
// asked again after these pauses while the requests wait.
constexpr std::array<int, 3> kRetryMs{250, 500, 1000};

// Register on `bus`; requests sent meanwhile wait until it was answered.
void sendRegistration(QDBusConnection bus, const QString& appId, std::size_t attempt = 0) {
    const QString connection = bus.name();
    registrations()[connection].settled = false;
    auto message = QDBusMessage::createMethodCall(PortalClient::service, PortalClient::objectPath,
                                                  HostRegistry::interfaceName, "Register");
    message << appId << QVariantMap{};
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(message, HostRegistry::answerMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished,
                     [bus, connection, appId, attempt](QDBusPendingCallWatcher* w) {
                         w->deleteLater();
                         if (!w->isError()) {
                             log("Platform", "portal: registered as " + appId.toStdString());
                             settle(connection);
                             return;
                         }
                         const std::string why =
                             " (" + w->error().name().toStdString() + ": " + w->error().message().toStdString() + ")";
                         // A portal without the registry (1.16) answers with an unknown method instead.
                         const bool refused = w->error().name() == "org.freedesktop.portal.Error.Failed";
                         if (refused && attempt < kRetryMs.size()) {
                             log("Platform", "portal: not registered as " + appId.toStdString() + why +
                                                 ", asking again in " + std::to_string(kRetryMs[attempt]) + " ms");
                             QTimer::singleShot(kRetryMs[attempt],
                                                [bus, appId, attempt] { sendRegistration(bus, appId, attempt + 1); });
                             return;
                         }
                         log("Platform", "portal: not registered as " + appId.toStdString() + why);
                         settle(connection);
                     });
}

}  // namespace

void HostRegistry::registerApplication(QDBusConnection bus, const QString& appId) {
    const QString connection = bus.name();
    if (registrations().count(connection) || !bus.isConnected()) return;
    sendRegistration(bus, appId);
    // A portal that starts anew (after a crash or an update, or late at login) knows nobody: we name ourselves
    // to it again before our next request reaches it.
    auto* watcher = new QDBusServiceWatcher(PortalClient::service, bus, QDBusServiceWatcher::WatchForRegistration);
    QObject::connect(watcher, &QDBusServiceWatcher::serviceRegistered, [bus, appId](const QString&) {
        // Still waiting: the name came up to answer that registration (activation).
        if (registrations()[bus.name()].settled) sendRegistration(bus, appId);
    });
}

void HostRegistry::whenSettled(const QDBusConnection& bus, std::function<void()> next) {
    const auto it = registrations().find(bus.name());
    if (it == registrations().end() || it->second.settled) {
        next();
        return;
    }
    it->second.waiting.push_back(std::move(next));
}

}  // namespace vandrel::portal
