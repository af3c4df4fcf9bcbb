#include "platform/atspi/AtspiActiveWindowSource.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <QHash>
#include <QVariant>
#include <atomic>
#include <utility>
#include <vector>

namespace vandrel::atspi {

namespace {

constexpr const char* kRegistry = "org.a11y.atspi.Registry";
constexpr const char* kRootPath = "/org/a11y/atspi/accessible/root";
constexpr const char* kAccessible = "org.a11y.atspi.Accessible";
constexpr const char* kWindowEvents = "org.a11y.atspi.Event.Window";
// A peer that does not answer must not hold up the start or a paste for long.
constexpr int kCallTimeoutMs = 500;
// AT-SPI's state bit "active" (the first of the two 32-bit words).
constexpr std::uint32_t kStateActive = 1u << 1;
// The shell's own windows come and go over the application the user is in.
const QString kShellName = "gnome-shell";

struct Reference {
    QString busName;
    QString path;
};

std::vector<Reference> childrenOf(QDBusConnection& bus, const Reference& of) {
    QDBusMessage call = QDBusMessage::createMethodCall(of.busName, of.path, kAccessible, "GetChildren");
    const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    std::vector<Reference> result;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return result;
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

bool isActive(QDBusConnection& bus, const Reference& window) {
    QDBusMessage call = QDBusMessage::createMethodCall(window.busName, window.path, kAccessible, "GetState");
    const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return false;
    const QDBusArgument words = reply.arguments().first().value<QDBusArgument>();
    QList<std::uint32_t> states;
    words >> states;
    return !states.isEmpty() && (states.first() & kStateActive) != 0;
}

std::uint64_t windowId(const QString& busName, const QString& path) {
    return static_cast<std::uint64_t>(qHash(busName + path)) | (std::uint64_t{1} << 63);
}

std::optional<QString> accessibilityBusAddress(QDBusConnection& session) {
    QDBusMessage call = QDBusMessage::createMethodCall("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress");
    const QDBusReply<QString> reply = session.call(call, QDBus::Block, 2000);
    if (!reply.isValid() || reply.value().isEmpty()) return std::nullopt;
    return reply.value();
}

}  // namespace

AtspiActiveWindowSource::AtspiActiveWindowSource(QDBusConnection sessionBus, QObject* parent) : QObject(parent) {
    if (!sessionBus.isConnected()) return;
    const auto address = accessibilityBusAddress(sessionBus);
    if (!address) return;
    static std::atomic<int> connections{0};
    m_connectionName = QString("vandrel-atspi-%1").arg(++connections);
    QDBusConnection bus = QDBusConnection::connectToBus(*address, m_connectionName);
    if (!bus.isConnected()) {
        QDBusConnection::disconnectFromBus(m_connectionName);
        return;
    }
    m_bus = bus;
}

AtspiActiveWindowSource::~AtspiActiveWindowSource() {
    stop();
    if (m_bus) {
        m_bus.reset();
        QDBusConnection::disconnectFromBus(m_connectionName);
    }
}

std::optional<std::int64_t> AtspiActiveWindowSource::processOf(const QString& busName) {
    const QDBusReply<uint> pid = m_bus->interface()->servicePid(busName);
    if (!pid.isValid() || pid.value() == 0) return std::nullopt;
    return static_cast<std::int64_t>(pid.value());
}

QString AtspiActiveWindowSource::applicationName(const QString& busName) {
    QDBusMessage call = QDBusMessage::createMethodCall(busName, kRootPath, "org.freedesktop.DBus.Properties", "Get");
    call << QString(kAccessible) << QString("Name");
    const QDBusMessage reply = m_bus->call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    return reply.arguments().first().value<QDBusVariant>().variant().toString();
}

std::optional<RunningApplication> AtspiActiveWindowSource::activeApplication() {
    if (!m_bus) return std::nullopt;
    if (m_watching) return m_active;
    // Before the events: look for the active frame among every application's windows.
    for (const Reference& app : childrenOf(*m_bus, {kRegistry, kRootPath})) {
        if (applicationName(app.busName) == kShellName) continue;
        for (const Reference& window : childrenOf(*m_bus, {app.busName, kRootPath})) {
            if (!isActive(*m_bus, window)) continue;
            m_activeSender = window.busName;
            m_activeName = applicationName(window.busName).toStdString();
            m_active = RunningApplication{windowId(window.busName, window.path), processOf(window.busName)};
            return m_active;
        }
    }
    m_active.reset();
    m_activeName.clear();
    return std::nullopt;
}

bool AtspiActiveWindowSource::start(std::function<void(std::optional<RunningApplication>)> onActivated) {
    if (!m_bus || m_watching) return false;
    activeApplication();
    m_onActivated = std::move(onActivated);
    QDBusConnection& bus = *m_bus;
    const bool activations =
        bus.connect(QString(), QString(), kWindowEvents, "Activate", this, SLOT(windowActivated(QDBusMessage)));
    const bool deactivations =
        bus.connect(QString(), QString(), kWindowEvents, "Deactivate", this, SLOT(windowDeactivated(QDBusMessage)));
    if (!activations || !deactivations) {
        stop();
        return false;
    }
    // Applications send only the events some listener asked the registry for.
    for (const char* event : {"window:activate", "window:deactivate"}) {
        QDBusMessage call = QDBusMessage::createMethodCall(kRegistry, "/org/a11y/atspi/registry",
                                                           "org.a11y.atspi.Registry", "RegisterEvent");
        call << QString(event) << QStringList() << QString();
        bus.call(call, QDBus::Block, kCallTimeoutMs);
    }
    m_watching = true;
    return true;
}

void AtspiActiveWindowSource::stop() {
    if (!m_bus) return;
    m_bus->disconnect(QString(), QString(), kWindowEvents, "Activate", this, SLOT(windowActivated(QDBusMessage)));
    m_bus->disconnect(QString(), QString(), kWindowEvents, "Deactivate", this, SLOT(windowDeactivated(QDBusMessage)));
    m_watching = false;
    m_onActivated = nullptr;
}

bool AtspiActiveWindowSource::activate(const RunningApplication& app) { return m_active && *m_active == app; }

void AtspiActiveWindowSource::windowActivated(const QDBusMessage& message) {
    const QString name = applicationName(message.service());
    if (name == kShellName) return;
    m_activeSender = message.service();
    m_activeName = name.toStdString();
    m_active = RunningApplication{windowId(message.service(), message.path()), processOf(message.service())};
    if (m_onActivated) m_onActivated(m_active);
}

void AtspiActiveWindowSource::windowDeactivated(const QDBusMessage& message) {
    if (!m_active || m_active->window != windowId(message.service(), message.path())) return;
    m_active.reset();
    m_activeSender.clear();
    m_activeName.clear();
    if (m_onActivated) m_onActivated(std::nullopt);
}

}  // namespace vandrel::atspi
