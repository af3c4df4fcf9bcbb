#pragma once

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <QVariantMap>
#include <cstdint>
#include <functional>

#include "base/Signal.h"
#include "platform/portal/PortalRequest.h"

namespace vandrel::portal {

// Our side of xdg-desktop-portal on one bus: requests with their handle tokens, plain calls, sessions,
// and the portal's disappearance. Both portals we use go through one of these. Main thread only.
class PortalClient : public QObject {
    Q_OBJECT
public:
    static constexpr const char* service = "org.freedesktop.portal.Desktop";
    static constexpr const char* objectPath = "/org/freedesktop/portal/desktop";

    // Tokens begin with `tokenPrefix`: clients that share a connection each need a prefix of their own, or
    // their requests and sessions would claim the same object paths.
    explicit PortalClient(QDBusConnection bus, QString tokenPrefix = "vandrel", QObject* parent = nullptr);

    QDBusConnection& bus() { return m_bus; }

    // How long a request that asks nobody may go without its Response. A portal answers those at once;
    // ten seconds leave room for a backend that is still starting at login.
    static constexpr double requestAnswerSeconds = 10.0;
    // How long a request that puts a question to the user (a desktop dialog) stays open at most.
    static constexpr double questionAnswerSeconds = 300.0;
    // A property of the portal object, without waiting: `done` gets the value, or an invalid one, once the portal
    // answered or `timeoutMs` passed.
    void readProperty(const QString& interface, const QString& name, std::function<void(const QVariant&)> done,
                      int timeoutMs = 2000);

    // Calls `method` with `args` followed by `options`, to which a fresh handle_token is added, and
    // calls `done` once with the Response (or `failed` on an error reply, when the portal goes away or
    // when no Response came within `answerSeconds`).
    void request(const QString& interface, const QString& method, const QVariantList& args, QVariantMap options,
                 PortalRequest::Done done, double answerSeconds = requestAnswerSeconds);
    // A method without a Request object; `done(ok)` once the reply (or error) arrived, or with false once
    // `timeoutMs` passed without one.
    void call(const QString& interface, const QString& method, const QVariantList& args,
              std::function<void(bool ok)> done, int timeoutMs);

    // A token for handle_token and session_handle_token, unique among this client's.
    QString newToken();
    // The session handle in a CreateSession response; portals send it as a string or an object path.
    static QString sessionHandle(const QVariantMap& results);
    // The handle of the session a CreateSession with `token` as its session_handle_token opens for us. Known
    // before the answer: a session whose answer never came (the portal may still hold it, and with it the
    // token) can be closed all the same.
    QString sessionHandleFor(const QString& token) const;
    // Follows the session's Closed signal (sessionClosed) until closeSession.
    void watchSession(const QString& handle);
    // How long a session's Close may go unanswered.
    static constexpr int closeAnswerMs = 2000;
    // Closes the session on the portal's side; a session it already closed is not an error. `done` runs
    // once the portal answered, could not be asked or let `closeAnswerMs` pass.
    void closeSession(const QString& handle, std::function<void()> done = {});

    // The portal left the bus (crashed, or the session is ending). Pending requests have failed by then.
    Signal<> vanished;
    // The portal came onto the bus: started late, or started again after it left.
    Signal<> appeared;
    // The portal closed a session we watch (the user withdrew the permission, say).
    Signal<QString> sessionClosed;

private Q_SLOTS:
    void onSessionClosed(const QDBusMessage& message);

private:
    void sendRequest(const QString& interface, const QString& method, const QVariantList& args, QVariantMap options,
                     PortalRequest::Done done, double answerSeconds);
    void onServiceGone();

    QDBusConnection m_bus;
    QDBusServiceWatcher m_watcher;
    QString m_tokenPrefix;
    std::uint64_t m_tokenCounter = 0;
};

}  // namespace vandrel::portal
