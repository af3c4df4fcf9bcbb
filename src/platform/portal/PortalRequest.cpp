#include "platform/portal/PortalRequest.h"

#include <QDBusObjectPath>
#include <QMetaObject>
#include <algorithm>
#include <chrono>
#include <utility>

#include "base/Log.h"
#include "platform/dbus/BusCall.h"
#include "platform/portal/PortalClient.h"

namespace vandrel::portal {

PortalRequest::PortalRequest(QDBusConnection bus, Done done, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)), m_done(std::move(done)) {}

void PortalRequest::start(const QDBusMessage& call, const QString& expectedPath, double answerSeconds) {
    m_member = call.member();
    if (!subscribe(expectedPath)) {
        // The answer could never reach us: fail instead of waiting for it forever.
        log("Platform", "portal: cannot follow the answer to " + call.member().toStdString());
        QMetaObject::invokeMethod(
            this, [this] { finish(failed, {}); }, Qt::QueuedConnection);
        return;
    }
    m_answerDeadline = MainLoop::current().singleShot(seconds(answerSeconds), [this] { unanswered(); });
    // The method's own reply gets the same bound: a stopped portal answers neither.
    const auto replyMs = static_cast<std::chrono::milliseconds::rep>(std::min(answerSeconds * 1000.0, 2147483647.0));
    dbus::BusCall::ask(m_bus, call, std::chrono::milliseconds(replyMs), this,
                       [this](const dbus::BusCall::Answer& answer) { onReply(answer); });
}

void PortalRequest::abandon() { finish(noAnswer, {}); }

void PortalRequest::unanswered() {
    if (m_finished) return;
    log("Platform", "portal: no answer to " + m_member.toStdString() + " in time");
    // The portal takes its question (a dialog, perhaps) down; a late Response no longer reaches us.
    if (!m_path.isEmpty())
        m_bus.send(
            QDBusMessage::createMethodCall(PortalClient::service, m_path, "org.freedesktop.portal.Request", "Close"));
    finish(noAnswer, {});
}

void PortalRequest::onReply(const dbus::BusCall::Answer& answer) {
    if (m_finished) return;
    if (!answer.ok()) {
        finish(noAnswer, {});
        return;
    }
    // Portals older than the handle_token convention choose the path themselves.
    const QString path = answer.argument().value<QDBusObjectPath>().path();
    if (path != m_path) {
        unsubscribe();
        if (!subscribe(path)) finish(failed, {});
    }
}

bool PortalRequest::subscribe(const QString& path) {
    m_path = path;
    return m_bus.connect(PortalClient::service, path, "org.freedesktop.portal.Request", "Response", this,
                         SLOT(onResponse(uint, QVariantMap)));
}

void PortalRequest::unsubscribe() {
    if (m_path.isEmpty()) return;
    m_bus.disconnect(PortalClient::service, m_path, "org.freedesktop.portal.Request", "Response", this,
                     SLOT(onResponse(uint, QVariantMap)));
    m_path.clear();
}

void PortalRequest::onResponse(uint response, const QVariantMap& results) { finish(response, results); }

void PortalRequest::finish(std::uint32_t response, const QVariantMap& results) {
    if (m_finished) return;
    m_finished = true;
    m_answerDeadline.cancel();
    unsubscribe();
    // The callback may start the next request or drop the client that owns us: run it last.
    auto done = std::exchange(m_done, nullptr);
    deleteLater();
    if (done) done(response, results);
}

}  // namespace vandrel::portal
