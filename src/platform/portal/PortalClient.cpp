#include "platform/portal/PortalClient.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QPointer>
#include <chrono>
#include <utility>

#include "base/Log.h"
#include "platform/dbus/BusCall.h"
#include "platform/portal/HostRegistry.h"

namespace vandrel::portal {
namespace {

constexpr const char* kSessionInterface = "org.freedesktop.portal.Session";

// ":1.42" -> "1_42", the form the portal puts into request and session paths.
QString senderElement(const QDBusConnection& bus) {
    QString name = bus.baseService();
    if (name.startsWith(':')) name.remove(0, 1);
    return name.replace('.', '_');
}

}  // namespace

PortalClient::PortalClient(QDBusConnection bus, QString tokenPrefix, QObject* parent)
    : QObject(parent),
      m_bus(std::move(bus)),
      m_watcher(service, m_bus, QDBusServiceWatcher::WatchForOwnerChange),
      m_tokenPrefix(std::move(tokenPrefix)) {
    // QDBusConnection::connect finds a slot's parameter types by their names, and QtDBus registers its
    // own types under their names only once its bus thread first needs them. A connect that comes
    // earlier fails and sends no match rule, so the portal's signals would never arrive.
    qRegisterMetaType<QDBusObjectPath>();
    qRegisterMetaType<QDBusMessage>();
    connect(&m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString& oldOwner, const QString& newOwner) {
                // A restart may hand the name over in one step: the old portal is gone all the same.
                if (!oldOwner.isEmpty()) onServiceGone();
                if (!newOwner.isEmpty()) appeared.emit();
            });
}

void PortalClient::readProperty(const QString& interface, const QString& name,
                                std::function<void(const QVariant&)> done, int timeoutMs) {
    auto get = QDBusMessage::createMethodCall(service, objectPath, "org.freedesktop.DBus.Properties", "Get");
    get << interface << name;
    HostRegistry::whenSettled(m_bus, [self = QPointer<PortalClient>(this), get, done = std::move(done),
                                      timeoutMs]() mutable {
        if (!self) return;
        dbus::BusCall::ask(self->m_bus, get, std::chrono::milliseconds(timeoutMs), self,
                           [done = std::move(done)](const dbus::BusCall::Answer& answer) { done(answer.property()); });
    });
}

QString PortalClient::newToken() { return m_tokenPrefix + QString::number(++m_tokenCounter); }

void PortalClient::request(const QString& interface, const QString& method, const QVariantList& args,
                           QVariantMap options, PortalRequest::Done done, double answerSeconds) {
    // Behind our registration with the portal, which must come first on the connection.
    HostRegistry::whenSettled(m_bus, [self = QPointer<PortalClient>(this), interface, method, args,
                                      options = std::move(options), done = std::move(done), answerSeconds]() mutable {
        if (self) self->sendRequest(interface, method, args, std::move(options), std::move(done), answerSeconds);
    });
}

void PortalClient::sendRequest(const QString& interface, const QString& method, const QVariantList& args,
                               QVariantMap options, PortalRequest::Done done, double answerSeconds) {
    const QString token = newToken();
    options.insert("handle_token", token);
    auto message = QDBusMessage::createMethodCall(service, objectPath, interface, method);
    QVariantList arguments = args;
    arguments << options;
    message.setArguments(arguments);
    auto* request = new PortalRequest(m_bus, std::move(done), this);
    request->start(message, QString("/org/freedesktop/portal/desktop/request/%1/%2").arg(senderElement(m_bus), token),
                   answerSeconds);
}

void PortalClient::call(const QString& interface, const QString& method, const QVariantList& args,
                        std::function<void(bool ok)> done, int timeoutMs) {
    auto message = QDBusMessage::createMethodCall(service, objectPath, interface, method);
    message.setArguments(args);
    dbus::BusCall::ask(m_bus, message, std::chrono::milliseconds(timeoutMs), this,
                       [done = std::move(done)](const dbus::BusCall::Answer& answer) {
                           if (done) done(answer.ok());
                       });
}

QString PortalClient::sessionHandleFor(const QString& token) const {
    return QString("/org/freedesktop/portal/desktop/session/%1/%2").arg(senderElement(m_bus), token);
}

QString PortalClient::sessionHandle(const QVariantMap& results) {
    const QVariant handle = results.value("session_handle");
    if (handle.metaType() == QMetaType::fromType<QDBusObjectPath>()) return handle.value<QDBusObjectPath>().path();
    return handle.toString();
}

void PortalClient::watchSession(const QString& handle) {
    if (!m_bus.connect(service, handle, kSessionInterface, "Closed", this, SLOT(onSessionClosed(QDBusMessage))))
        log("Platform", "portal: cannot follow the end of session " + handle.toStdString());
}

void PortalClient::closeSession(const QString& handle, std::function<void()> done) {
    if (handle.isEmpty() || !m_bus.isConnected()) {
        if (done) done();
        return;
    }
    m_bus.disconnect(service, handle, kSessionInterface, "Closed", this, SLOT(onSessionClosed(QDBusMessage)));
    const auto close = QDBusMessage::createMethodCall(service, handle, kSessionInterface, "Close");
    if (!done) {
        // Nobody waits for the answer; the client may be on its way out.
        m_bus.send(close);
        return;
    }
    dbus::BusCall::ask(m_bus, close, std::chrono::milliseconds(closeAnswerMs), this,
                       [done = std::move(done)](const dbus::BusCall::Answer&) { done(); });
}

void PortalClient::onSessionClosed(const QDBusMessage& message) {
    const QString handle = message.path();
    m_bus.disconnect(service, handle, kSessionInterface, "Closed", this, SLOT(onSessionClosed(QDBusMessage)));
    sessionClosed.emit(handle);
}

void PortalClient::onServiceGone() {
    // Requests in flight would otherwise wait for a Response that can no longer come.
    for (auto* request : findChildren<PortalRequest*>(Qt::FindDirectChildrenOnly)) request->abandon();
    vanished.emit();
}

}  // namespace vandrel::portal
