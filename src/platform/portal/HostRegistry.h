#pragma once

#include <QDBusConnection>
#include <QString>
#include <functional>

namespace vandrel::portal {

// Tells xdg-desktop-portal (1.19 and later) which application this unsandboxed process is: the id of its
// installed desktop entry. Portals that keep permissions per application need it; GNOME 48 binds global
// shortcuts for no application it cannot name. The portal takes the registration only before any other
// portal call on the connection, so every request of ours on that connection waits for its answer; a
// portal without the registry (1.16) answers at once with an error. Main thread only.
class HostRegistry {
public:
    static constexpr const char* interfaceName = "org.freedesktop.host.portal.Registry";
    // How long requests wait behind an unanswered registration.
    static constexpr int answerMs = 2000;

    // Sends Register(appId) on `bus` without waiting for the answer: once per connection, and again to a
    // portal that comes onto the bus after the one that had it left (or after none had it).
    static void registerApplication(QDBusConnection bus, const QString& appId);
    // Runs `next` once the registration on `bus` was answered, failed or timed out, or at once when none
    // was sent.
    static void whenSettled(const QDBusConnection& bus, std::function<void()> next);
};

}  // namespace vandrel::portal
