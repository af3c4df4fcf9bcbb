#include "platform/atspi/AtspiActiveWindowSource.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QVariant>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <utility>
#include <vector>

#include "base/Log.h"
#include "platform/dbus/BusCall.h"
#include "platform/dbus/BusJoin.h"

namespace vandrel::atspi {

namespace {

constexpr const char* kRegistry = "org.a11y.atspi.Registry";
constexpr const char* kRootPath = "/org/a11y/atspi/accessible/root";
constexpr const char* kAccessible = "org.a11y.atspi.Accessible";
constexpr const char* kWindowEvents = "org.a11y.atspi.Event.Window";
// How long an application may take to answer before it counts as saying nothing.
constexpr std::chrono::milliseconds kCallBound{500};
// The session's answer with the bus's address, and the bus's to our Hello.
constexpr std::chrono::milliseconds kAddressBound{2000};
constexpr std::chrono::milliseconds kJoinBound{2000};
// After a bus that did not answer, the next attempt; each one waits twice as long, up to a minute.
constexpr std::chrono::milliseconds kFirstRetry{2000};
constexpr std::chrono::milliseconds kLastRetry{60000};
// AT-SPI's state bit "active" (the first of the two 32-bit words).
constexpr std::uint32_t kStateActive = 1u << 1;
// The shell's own windows come and go over the application the user is in.
const QString kShellName = "gnome-shell";

struct Reference {
    QString busName;
    QString path;
};

// Sends `call` and hands its answer to `answer` on the main loop. Dropped with `context`.
void ask(QDBusConnection& bus, const QDBusMessage& call, QObject* context,
         std::function<void(const dbus::BusCall::Answer&)> answer, std::chrono::milliseconds bound = kCallBound) {
    dbus::BusCall::ask(bus, call, bound, context, std::move(answer));
}

std::vector<Reference> childrenIn(const dbus::BusCall::Answer& reply) {
    std::vector<Reference> result;
    if (!reply.argument().isValid()) return result;
    const QDBusArgument list = reply.argument().value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
        Reference child;
        QDBusObjectPath path;
        list.beginStructure();
        list >> child.busName >> path;
        list.endStructure();
        child.path = path.path();
        result.push_back(child);
    }
    list.endArray();
    return result;
}

bool activeState(const dbus::BusCall::Answer& reply) {
    if (!reply.argument().isValid()) return false;
    const QDBusArgument words = reply.argument().value<QDBusArgument>();
    QList<std::uint32_t> states;
    words >> states;
    return !states.isEmpty() && (states.first() & kStateActive) != 0;
}

QDBusMessage accessibleCall(const Reference& of, const char* method) {
    return QDBusMessage::createMethodCall(of.busName, of.path, kAccessible, method);
}

std::uint64_t windowId(const QString& busName, const QString& path) {
    return static_cast<std::uint64_t>(qHash(busName + path)) | (std::uint64_t{1} << 63);
}

QDBusMessage addressCall() {
    return QDBusMessage::createMethodCall("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress");
}

}  // namespace

AtspiActiveWindowSource::AtspiActiveWindowSource(QDBusConnection sessionBus, QObject* parent)
    : QObject(parent), m_session(std::move(sessionBus)), m_retryDelay(kFirstRetry) {
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, [this] { requestAddress(); });
    if (m_session.isConnected()) requestAddress();
}

AtspiActiveWindowSource::~AtspiActiveWindowSource() {
    stop();
    m_bus.reset();
    if (!m_connectionName.isEmpty()) dbus::BusJoin::leave(m_connectionName);
}

void AtspiActiveWindowSource::requestAddress() {
    ask(
        m_session, addressCall(), this,
        [this](const dbus::BusCall::Answer& reply) {
            const QString address = reply.argument().toString();
            if (!address.isEmpty()) {
                connectTo(address);
            } else if (reply.unanswered()) {
                retryLater("the session did not say where the accessibility bus is");
            } else {
                // Nothing is ever active then: the paste keystroke is chosen as without a focus source.
                const QString why = reply.ok() ? "no address" : reply.message.errorMessage();
                log("Platform", "focus: none, the session has no accessibility bus (" + why.toStdString() + ")");
            }
        },
        kAddressBound);
}

void AtspiActiveWindowSource::retryLater(const std::string& why) {
    log("Platform", "focus: " + why + "; asking again in " + std::to_string(m_retryDelay.count() / 1000) + " s");
    m_retry.start(m_retryDelay);
    m_retryDelay = std::min(m_retryDelay * 2, kLastRetry);
}

void AtspiActiveWindowSource::connectTo(const QString& address) {
    static std::atomic<int> connections{0};
    m_connectionName = QString("vandrel-atspi-%1").arg(++connections);
    dbus::BusJoin::join(address, m_connectionName, kJoinBound, this, [this](std::optional<QDBusConnection> bus) {
        if (!bus) {
            m_connectionName.clear();
            retryLater("the accessibility bus did not let us in");
            return;
        }
        m_retryDelay = kFirstRetry;
        m_bus = *bus;
        if (m_wantsEvents) watch();
    });
}

void AtspiActiveWindowSource::watch() {
    QDBusConnection& bus = *m_bus;
    const bool activations =
        dbus::BusJoin::follow(bus, kWindowEvents, "Activate", this, SLOT(windowActivated(QDBusMessage)));
    const bool deactivations =
        dbus::BusJoin::follow(bus, kWindowEvents, "Deactivate", this, SLOT(windowDeactivated(QDBusMessage)));
    if (!activations || !deactivations) {
        stop();
        return;
    }
    m_watching = true;
    // Applications send only the events some listener asked the registry for.
    for (const char* event : {"window:activate", "window:deactivate"}) {
        QDBusMessage call = QDBusMessage::createMethodCall(kRegistry, "/org/a11y/atspi/registry",
                                                           "org.a11y.atspi.Registry", "RegisterEvent");
        call << QString(event) << QStringList() << QString();
        bus.send(call);
    }
    findActiveWindow();
}

void AtspiActiveWindowSource::findActiveWindow() {
    // Before the first event: the active frame among every application's windows. Whatever an event says
    // meanwhile is newer, and an application that does not answer is passed over.
    const std::uint64_t events = m_events;
    auto fresh = [this, events] { return m_watching && m_events == events && !m_active; };
    ask(*m_bus, accessibleCall({kRegistry, kRootPath}, "GetChildren"), this,
        [this, fresh](const dbus::BusCall::Answer& reply) {
            for (const Reference& app : childrenIn(reply)) {
                lookUp(app.busName, [this, fresh, app](const Peer& peer) {
                    if (!fresh() || peer.name == kShellName) return;
                    ask(*m_bus, accessibleCall({app.busName, kRootPath}, "GetChildren"), this,
                        [this, fresh, peer](const dbus::BusCall::Answer& windows) {
                            for (const Reference& window : childrenIn(windows)) {
                                ask(*m_bus, accessibleCall(window, "GetState"), this,
                                    [this, fresh, window, peer](const dbus::BusCall::Answer& state) {
                                        if (fresh() && activeState(state))
                                            becomeActive(window.busName, window.path, peer);
                                    });
                            }
                        });
                });
            }
        });
}

void AtspiActiveWindowSource::lookUp(const QString& busName, std::function<void(const Peer&)> done) {
    if (const auto known = m_peers.constFind(busName); known != m_peers.constEnd()) {
        done(*known);
        return;
    }
    // Two questions, one to the application and one to the bus; whichever answers last completes. An
    // application too busy to answer (a terminal at its first activation) is asked again next time.
    struct Pending {
        Peer peer;
        int open = 2;
        bool complete = true;
    };
    auto pending = std::make_shared<Pending>();
    auto finish = [this, busName, pending, done = std::move(done)](const dbus::BusCall::Answer& reply) {
        if (reply.unanswered()) pending->complete = false;
        if (--pending->open > 0) return;
        if (pending->complete) m_peers.insert(busName, pending->peer);
        done(pending->peer);
    };
    QDBusMessage name = QDBusMessage::createMethodCall(busName, kRootPath, "org.freedesktop.DBus.Properties", "Get");
    name << QString(kAccessible) << QString("Name");
    ask(*m_bus, name, this, [pending, finish](const dbus::BusCall::Answer& reply) {
        pending->peer.name = reply.property().toString();
        finish(reply);
    });
    QDBusMessage pid = QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                      "org.freedesktop.DBus", "GetConnectionUnixProcessID");
    pid << busName;
    ask(*m_bus, pid, this, [pending, finish](const dbus::BusCall::Answer& reply) {
        const uint value = reply.argument().toUInt();
        if (value != 0) pending->peer.processId = static_cast<std::int64_t>(value);
        finish(reply);
    });
}

void AtspiActiveWindowSource::becomeActive(const QString& busName, const QString& path, const Peer& peer) {
    m_activeName = peer.name.toStdString();
    m_active = RunningApplication{windowId(busName, path), peer.processId};
    if (m_onActivated) m_onActivated(m_active);
}

std::optional<RunningApplication> AtspiActiveWindowSource::activeApplication() { return m_active; }

bool AtspiActiveWindowSource::start(std::function<void(std::optional<RunningApplication>)> onActivated) {
    if (!m_session.isConnected() || m_wantsEvents) return false;
    m_onActivated = std::move(onActivated);
    m_wantsEvents = true;
    if (m_bus) watch();
    return true;
}

void AtspiActiveWindowSource::stop() {
    m_wantsEvents = false;
    m_onActivated = nullptr;
    if (!m_watching) return;
    dbus::BusJoin::unfollow(*m_bus, kWindowEvents, "Activate", this, SLOT(windowActivated(QDBusMessage)));
    dbus::BusJoin::unfollow(*m_bus, kWindowEvents, "Deactivate", this, SLOT(windowDeactivated(QDBusMessage)));
    m_watching = false;
}

bool AtspiActiveWindowSource::activate(const RunningApplication& app) { return m_active && *m_active == app; }

void AtspiActiveWindowSource::windowActivated(const QDBusMessage& message) {
    const std::uint64_t event = ++m_events;
    const QString busName = message.service();
    const QString path = message.path();
    m_pendingWindow = windowId(busName, path);
    lookUp(busName, [this, event, busName, path](const Peer& peer) {
        // A later activation, or this window's own deactivation, came first.
        if (event != m_events) return;
        m_pendingWindow.reset();
        if (peer.name != kShellName) becomeActive(busName, path, peer);
    });
}

void AtspiActiveWindowSource::windowDeactivated(const QDBusMessage& message) {
    const std::uint64_t window = windowId(message.service(), message.path());
    if (m_pendingWindow == window) {
        // Its activation still waits for an answer: it is over before it was told.
        m_pendingWindow.reset();
        ++m_events;
    }
    if (!m_active || m_active->window != window) return;
    m_active.reset();
    m_activeName.clear();
    if (m_onActivated) m_onActivated(std::nullopt);
}

}  // namespace vandrel::atspi
