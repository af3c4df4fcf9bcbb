#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <cstdint>
#include <functional>

class QDBusPendingCallWatcher;

namespace vandrel::portal {

// One portal call that answers later through the Response signal of a Request object. The signal is
// subscribed at the path the portal will use before the call goes out: a fast portal may answer before
// the method's reply reaches us, and that answer would be lost otherwise. Deletes itself once finished.
class PortalRequest : public QObject {
    Q_OBJECT
public:
    // The portal's response codes; `failed` also stands for an error reply and for a portal that went away.
    static constexpr std::uint32_t success = 0;
    static constexpr std::uint32_t cancelled = 1;
    static constexpr std::uint32_t failed = 2;

    using Done = std::function<void(std::uint32_t response, const QVariantMap& results)>;

    PortalRequest(QDBusConnection bus, Done done, QObject* parent);

    // Sends `call`, whose options carry `handle_token`, expecting the Request at `expectedPath`.
    void start(const QDBusMessage& call, const QString& expectedPath);
    // Finishes with `failed` now (the portal is gone); nothing arrives afterwards.
    void abandon();

private Q_SLOTS:
    void onResponse(uint response, const QVariantMap& results);

private:
    void onReply(QDBusPendingCallWatcher* watcher);
    bool subscribe(const QString& path);
    void unsubscribe();
    void finish(std::uint32_t response, const QVariantMap& results);

    QDBusConnection m_bus;
    Done m_done;
    QString m_path;
    bool m_finished = false;
};

}  // namespace vandrel::portal
