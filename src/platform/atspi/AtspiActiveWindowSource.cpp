#include "platform/atspi/AtspiActiveWindowSource.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QVariant>
#include <atomic>
#include <memory>
#include <utility>
#include <vector>

#include "base/Log.h"

namespace vandrel::atspi {

namespace {

constexpr const char* kRegistry = "org.a11y.atspi.Registry";
constexpr const char* kRootPath = "/org/a11y/atspi/accessible/root";
constexpr const char* kAccessible = "org.a11y.atspi.Accessible";
constexpr const char* kWindowEvents = "org.a11y.atspi.Event.Window";
// How long an application may take to answer before it counts as saying nothing.
constexpr int kCallTimeoutMs = 500;
constexpr int kAddressTimeoutMs = 2000;
// AT-SPI's state bit "active" (the first of the two 32-bit words).
constexpr std::uint32_t kStateActive = 1u << 1;
// The shell's own windows come and go over the application the user is in.
const QString kShellName = "gnome-shell";

struct Reference {
    QString busName;
    QString path;
};

// Sends `call` and hands its answer (an error one when none came in time) to `answer` on the main loop.
// Dropped with `context`.
void ask(QDBusConnection& bus, const QDBusMessage& call, QObject* context,
         std::function<void(const QDBusMessage&)> answer, int timeoutMs = kCallTimeoutMs) {
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, timeoutMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [answer = std::move(answer)](QDBusPendingCallWatcher* w) {
                         w->deleteLater();
                         answer(w->reply());
                     });
}

bool answered(const QDBusMessage& reply) {
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty();
}

std::vector<Reference> childrenIn(const QDBusMessage& reply) {
    std::vector<Reference> result;
    if (!answered(reply)) return result;
    const QDBusArgument list = reply.arguments().first().value<QDBusArgument>();
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

bool activeState(const QDBusMessage& reply) {
    if (!answered(reply)) return false;
    const QDBusArgument words = reply.arguments().first().value<QDBusArgument>();
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
    : QObject(parent), m_session(std::move(sessionBus)) {
    if (!m_session.isConnected()) return;
    ask(
        m_session, addressCall(), this,
        [this](const QDBusMessage& reply) {
            if (answered(reply) && !reply.arguments().first().toString().isEmpty()) {
                connectTo(reply.arguments().first().toString());
                return;
            }
            // Nothing is ever active then: the paste keystroke is chosen as without a focus source.
            const QString why = reply.type() == QDBusMessage::ErrorMessage ? reply.errorMessage() : "no address";
            log("Platform", "focus: none, the session has no accessibility bus (" + why.toStdString() + ")");
        },
        kAddressTimeoutMs);
}

AtspiActiveWindowSource::~AtspiActiveWindowSource() {
    stop();
    if (m_bus) {
        m_bus.reset();
        QDBusConnection::disconnectFromBus(m_connectionName);
    }
}

void AtspiActiveWindowSource::connectTo(const QString& address) {
    if (address.isEmpty()) return;
    static std::atomic<int> connections{0};
    m_connectionName = QString("vandrel-atspi-%1").arg(++connections);
    QDBusConnection bus = QDBusConnection::connectToBus(address, m_connectionName);
    if (!bus.isConnected()) {
        QDBusConnection::disconnectFromBus(m_connectionName);
        return;
    }
    m_bus = bus;
    if (m_wantsEvents) watch();
}

void AtspiActiveWindowSource::watch() {
    QDBusConnection& bus = *m_bus;
    const bool activations =
        bus.connect(QString(), QString(), kWindowEvents, "Activate", this, SLOT(windowActivated(QDBusMessage)));
    const bool deactivations =
        bus.connect(QString(), QString(), kWindowEvents, "Deactivate", this, SLOT(windowDeactivated(QDBusMessage)));
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
    ask(*m_bus, accessibleCall({kRegistry, kRootPath}, "GetChildren"), this, [this, fresh](const QDBusMessage& reply) {
        for (const Reference& app : childrenIn(reply)) {
            lookUp(app.busName, [this, fresh, app](const Peer& peer) {
                if (!fresh() || peer.name == kShellName) return;
                ask(*m_bus, accessibleCall({app.busName, kRootPath}, "GetChildren"), this,
                    [this, fresh, peer](const QDBusMessage& windows) {
                        for (const Reference& window : childrenIn(windows)) {
                            ask(*m_bus, accessibleCall(window, "GetState"), this,
                                [this, fresh, window, peer](const QDBusMessage& state) {
                                    if (fresh() && activeState(state)) becomeActive(window.busName, window.path, peer);
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
    // Two questions, one to the application and one to the bus; whichever answers last completes.
    struct Pending {
        Peer peer;
        int open = 2;
    };
    auto pending = std::make_shared<Pending>();
    auto finish = [this, busName, pending, done = std::move(done)] {
        if (--pending->open > 0) return;
        m_peers.insert(busName, pending->peer);
        done(pending->peer);
    };
    QDBusMessage name = QDBusMessage::createMethodCall(busName, kRootPath, "org.freedesktop.DBus.Properties", "Get");
    name << QString(kAccessible) << QString("Name");
    ask(*m_bus, name, this, [pending, finish](const QDBusMessage& reply) {
        if (answered(reply)) pending->peer.name = reply.arguments().first().value<QDBusVariant>().variant().toString();
        finish();
    });
    QDBusMessage pid = QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                      "org.freedesktop.DBus", "GetConnectionUnixProcessID");
    pid << busName;
    ask(*m_bus, pid, this, [pending, finish](const QDBusMessage& reply) {
        const uint value = answered(reply) ? reply.arguments().first().toUInt() : 0;
        if (value != 0) pending->peer.processId = static_cast<std::int64_t>(value);
        finish();
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
    m_bus->disconnect(QString(), QString(), kWindowEvents, "Activate", this, SLOT(windowActivated(QDBusMessage)));
    m_bus->disconnect(QString(), QString(), kWindowEvents, "Deactivate", this, SLOT(windowDeactivated(QDBusMessage)));
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
