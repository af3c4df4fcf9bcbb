#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "base/Signal.h"
#include "dictation/KeyInjector.h"
#include "platform/portal/PortalClient.h"

namespace vandrel::portal {

// The paste keystroke through the RemoteDesktop portal's keyboard, for native Wayland windows when the
// compositor offers no virtual keyboard. The first paste asks the user's consent (CreateSession,
// SelectDevices for the keyboard, Start); the session then stays open for the following pastes, and
// the portal's restore token, kept in the user defaults, lets the next start skip the question where
// the portal supports that. A refused consent is not asked again while we run: the paste reports
// failure so the text stays on the clipboard. Main thread only.
class RemoteDesktopKeyInjector : public QObject, public KeyInjector {
    Q_OBJECT
public:
    static constexpr const char* interfaceName = "org.freedesktop.portal.RemoteDesktop";
    // Device type bits of the portal.
    static constexpr std::uint32_t keyboardDevice = 1;

    explicit RemoteDesktopKeyInjector(QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);
    ~RemoteDesktopKeyInjector() override;

    // Whether the session's portal offers a remote-desktop keyboard. Blocks briefly: for the choice at
    // start-up.
    static bool isOffered(QDBusConnection bus = QDBusConnection::sessionBus());

    // True until the user refused the keyboard (or the portal left): until then a paste can be sent, at
    // worst after the consent question.
    bool isTrusted() const override;
    void sendPaste(PasteKeystroke keystroke, std::function<void(bool posted)> done) override;

    bool hasSession() const { return m_state == State::started; }
    // The desktop granted the keyboard: in this run, or in an earlier one whose restore token we keep.
    bool hasConsent() const;
    // Once per refusal: the user declined the keyboard, or granted everything but it.
    Signal<> consentRefused;

private:
    enum class State { none, starting, started, refused };
    struct Waiting {
        PasteKeystroke keystroke;
        std::function<void(bool)> done;
    };

    void startSession();
    void selectDevices(const QString& session);
    void start(const QString& session);
    void sessionFailed(State state);
    void flushWaiting(bool started);
    void post(PasteKeystroke keystroke, std::function<void(bool)> done);

    PortalClient m_client;
    State m_state = State::none;
    QString m_session;
    std::vector<Waiting> m_waiting;
    Connection m_vanished, m_closed;
};

}  // namespace vandrel::portal
