#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <cstdint>
#include <functional>

#include "base/MainLoop.h"
#include "platform/dbus/BusCall.h"

namespace vandrel::portal {

// One portal call that answers later through the Response signal of a Request object. The signal is
// subscribed at the path the portal will use before the call goes out: a fast portal may answer before
// the method's reply reaches us, and that answer would be lost otherwise. Deletes itself once finished.
class PortalRequest : public QObject {
    Q_OBJECT
public:
    // The portal's response codes, and ours for a Response that never came: an error reply, a portal that
    // went away or one that did not answer within the bound.
    static constexpr std::uint32_t success = 0;
    static constexpr std::uint32_t cancelled = 1;
    static constexpr std::uint32_t failed = 2;
    static constexpr std::uint32_t noAnswer = 3;

    using Done = std::function<void(std::uint32_t response, const QVariantMap& results)>;

    PortalRequest(QDBusConnection bus, Done done, QObject* parent);

    // Sends `call`, whose options carry `handle_token`, expecting the Request at `expectedPath`. Without a
    // Response within `answerSeconds` (main-loop time) the request is closed on the portal's side and
    // finishes with `failed`: a portal that stalls, or a question nobody answers, ends at a known time.
    void start(const QDBusMessage& call, const QString& expectedPath, double answerSeconds);
    // Finishes with `noAnswer` now (the portal is gone); nothing arrives afterwards.
    void abandon();

private Q_SLOTS:
    void onResponse(uint response, const QVariantMap& results);

private:
    void onReply(const dbus::BusCall::Answer& answer);
    bool subscribe(const QString& path);
    void unsubscribe();
    void finish(std::uint32_t response, const QVariantMap& results);
    void unanswered();

    QDBusConnection m_bus;
    Done m_done;
    QString m_path;
    QString m_member;
    Timer m_answerDeadline;
    bool m_finished = false;
};

}  // namespace vandrel::portal
