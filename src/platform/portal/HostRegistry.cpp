#include "platform/portal/HostRegistry.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QTimer>
#include <QVariantMap>
#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "base/Log.h"
#include "platform/dbus/BusCall.h"
#include "platform/portal/PortalClient.h"

namespace vandrel::portal {
namespace {

struct Registration {
    bool settled = false;
    // A portal has our Register, or the bus is starting one to hand it to: that portal would refuse a
    // second one ("already associated"), even when the first had no answer in time.
    bool delivered = false;
    // Counts the Registers sent: the answer of one sent to a portal that left since is dropped.
    std::uint64_t attempt = 0;
    std::vector<std::function<void()>> waiting;
};

// By connection name: each connection is a peer of its own to the portal.
std::map<QString, Registration>& registrations() {
    static std::map<QString, Registration> all;
    return all;
}

void settle(Registration& registration) {
    registration.settled = true;
    for (auto& next : std::exchange(registration.waiting, {})) next();
}

// The portal looks for the application's desktop entry through GLib, which learns of a new file from the file
// system's notification, a moment after it was written: an entry written right before the registration may not
// be known yet (seen on GNOME 48). A refused registration leaves the connection unnamed, so it is
// asked again after these pauses while the requests wait.
constexpr std::array<int, 3> kRetryMs{250, 500, 1000};

// Register on `bus`; requests sent meanwhile wait until it was answered.
void sendRegistration(QDBusConnection bus, const QString& appId, std::size_t refusals = 0) {
    const QString connection = bus.name();
    auto& registration = registrations()[connection];
    registration.settled = false;
    registration.delivered = true;
    const std::uint64_t attempt = ++registration.attempt;
    auto message = QDBusMessage::createMethodCall(PortalClient::service, PortalClient::objectPath,
                                                  HostRegistry::interfaceName, "Register");
    message << appId << QVariantMap{};
    dbus::BusCall::ask(
        bus, message, std::chrono::milliseconds(HostRegistry::answerMs), QCoreApplication::instance(),
        [bus, connection, appId, attempt, refusals](const dbus::BusCall::Answer& answer) {
            auto& registration = registrations()[connection];
            if (attempt != registration.attempt) return;
            const std::string id = appId.toStdString();
            if (answer.ok()) {
                log("Platform", "portal: registered as " + id);
            } else if (answer.unanswered()) {
                // It may well have taken it: the portal is told only once.
                log("Platform", "portal: the registration as " + id + " went unanswered; requests go ahead");
            } else {
                const std::string why = " (" + answer.describeError() + ")";
                // A portal without the registry (1.16) answers with an unknown method instead.
                if (answer.message.errorName() == "org.freedesktop.portal.Error.Failed" && refusals < kRetryMs.size()) {
                    log("Platform", "portal: not registered as " + id + why + ", asking again in " +
                                        std::to_string(kRetryMs[refusals]) + " ms");
                    QTimer::singleShot(kRetryMs[refusals], [bus, appId, attempt, refusals] {
                        if (registrations()[bus.name()].attempt == attempt) sendRegistration(bus, appId, refusals + 1);
                    });
                    return;
                }
                // Nobody got it: the next portal to come is told.
                if (answer.error().type() == QDBusError::ServiceUnknown) registration.delivered = false;
                log("Platform", "portal: not registered as " + id + why);
            }
            settle(registration);
        });
}

}  // namespace

void HostRegistry::registerApplication(QDBusConnection bus, const QString& appId) {
    const QString connection = bus.name();
    if (registrations().count(connection) || !bus.isConnected()) return;
    sendRegistration(bus, appId);
    // A portal that starts anew (after a crash or an update, or late at login) knows nobody: we name ourselves
    // to it again before our next request reaches it.
    auto* watcher = new QDBusServiceWatcher(PortalClient::service, bus, QDBusServiceWatcher::WatchForOwnerChange);
    QObject::connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged,
                     [bus, appId](const QString&, const QString& oldOwner, const QString& newOwner) {
                         auto& registration = registrations()[bus.name()];
                         // A restart may hand the name over in one step: the portal that had it is gone.
                         if (!oldOwner.isEmpty()) registration.delivered = false;
                         if (!newOwner.isEmpty() && !registration.delivered) sendRegistration(bus, appId);
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
