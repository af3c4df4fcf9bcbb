#include "platform/dbus/BusCall.h"

#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QMetaObject>
#include <algorithm>
#include <climits>
#include <utility>

namespace vandrel::dbus {

bool BusCall::Answer::unanswered() const {
    if (message.type() != QDBusMessage::ErrorMessage) return message.type() == QDBusMessage::InvalidMessage;
    switch (error().type()) {
        case QDBusError::NoReply:  // the bound ran out, or the peer left the bus without answering
        case QDBusError::Timeout:
        case QDBusError::TimedOut:
        case QDBusError::Disconnected:
            return true;
        default:
            return false;
    }
}

QVariant BusCall::Answer::argument(int index) const {
    if (!ok() || index < 0 || index >= message.arguments().size()) return {};
    return message.arguments().at(index);
}

QVariant BusCall::Answer::property() const {
    const QVariant value = argument();
    return value.canConvert<QDBusVariant>() ? value.value<QDBusVariant>().variant() : QVariant();
}

std::string BusCall::Answer::describeError() const {
    return (message.errorName() + ": " + message.errorMessage()).toStdString();
}

std::optional<BusCall::Answer> BusCall::Pending::peek() const {
    if (m_answer) return m_answer;
    // QtDBus's thread fills the call in as the reply arrives, whether or not the main loop has run since.
    if (!m_call || !m_call->isFinished()) return std::nullopt;
    return Answer{m_call->reply()};
}

BusCall::Pending BusCall::ask(const QDBusConnection& bus, const QDBusMessage& message, std::chrono::milliseconds bound,
                              QObject* receiver, Done done) {
    if (!bus.isConnected()) {
        // QtDBus hands out a call that never finishes for a connection that is gone: answer it ourselves.
        Answer answer{message.createErrorReply(QDBusError::Disconnected, "not connected to the bus")};
        if (done)
            QMetaObject::invokeMethod(
                receiver, [answer, done = std::move(done)] { done(answer); }, Qt::QueuedConnection);
        return Pending(answer);
    }
    const int timeoutMs = static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(bound.count(), 1, INT_MAX));
    QDBusPendingCall call = bus.asyncCall(message, timeoutMs);
    if (!done) return Pending(std::move(call));
    // A child of the receiver: it goes with it, and so does the answer. An answer already there is
    // still delivered through the event loop.
    auto* watcher = new QDBusPendingCallWatcher(call, receiver);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, receiver,
                     [done = std::move(done)](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         done(Answer{finished->reply()});
                     });
    return Pending(std::move(call));
}

}  // namespace vandrel::dbus
