#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "base/MainLoop.h"
#include "base/Signal.h"
#include "dictation/KeyInjector.h"
#include "platform/portal/PortalClient.h"

namespace vandrel::portal {

// The paste keystroke through the RemoteDesktop portal's keyboard, for native Wayland windows when the
// compositor offers no virtual keyboard. The first paste asks the user's consent (CreateSession,
// SelectDevices for the keyboard, Start); the session then stays open for the following pastes, and
// the portal's restore token, kept in the user defaults, lets the next start skip the question where
// the portal supports that. A refused consent is not asked again while we run: the paste reports
// failure so the text stays on the clipboard. No paste waits without a limit: not for a question the user
// leaves open, not for a portal that stopped answering; and a key that went down is always released.
// Main thread only.
class RemoteDesktopKeyInjector : public QObject, public KeyInjector {
    Q_OBJECT
public:
    static constexpr const char* interfaceName = "org.freedesktop.portal.RemoteDesktop";
    // Device type bits of the portal.
    static constexpr std::uint32_t keyboardDevice = 1;
    // How long a paste waits for the user to answer the consent question before it leaves the text on the
    // clipboard. Time to read the desktop's dialog and decide unhurried; beyond it the dialog is most
    // likely unseen (behind a window, on another screen), and the dictation must not hang on it. The
    // question stays open: a grant that comes later serves the next paste.
    static constexpr double consentAnswerSeconds = 30.0;
    // How long one key event may go unanswered before its paste counts as failed. The portal answers in
    // well under a millisecond; a second means it is stuck, and the user should not wait on it. Real time,
    // like the bus's own timeouts: it measures another process, not a step of our flow.
    static constexpr int keyAnswerMs = 1000;
    // How long the bus waits for that answer at all. The next event goes out only after the one before it,
    // so that a late press cannot overtake its release; a portal that answers within this bound gets the
    // releases in order. One that does not has its session closed (the compositor then releases whatever
    // the session's device holds), the strokes queued behind fail at once, and the next paste opens a new
    // session.
    static constexpr int keyCallTimeoutMs = 5000;
    // Pastes that waited for the consent question go out once the keyboard focus is back on the window they
    // were meant for: the desktop's dialog had it, and keys sent as it closes reach nobody (GNOME hands the
    // focus back a few tens of milliseconds after the grant). Bounded, for a focus that went elsewhere; and
    // where the focus cannot be told, a fixed settle time stands in for it.
    static constexpr double focusReturnSeconds = 1.0;
    static constexpr double focusSettleSeconds = 0.3;

    // Where the keyboard focus is, as far as the desktop tells.
    struct FocusWatch {
        // The focused window now; none when it cannot be told.
        std::function<std::optional<std::uint64_t>()> focusedWindow;
        // Calls its argument at each change of the focus, for as long as the connection lives.
        std::function<Connection(std::function<void()>)> onChange;
    };

    explicit RemoteDesktopKeyInjector(QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);
    ~RemoteDesktopKeyInjector() override;

    // True until the user refused the keyboard (or the portal left): until then a paste can be sent, at
    // worst after the consent question.
    bool isTrusted() const override;
    void sendPaste(PasteKeystroke keystroke, std::function<void(bool posted)> done) override;
    // Only through a session that is open already.
    bool sendMaskKey(std::string& whyNot) override;

    // Without one, pastes go out as soon as the keyboard is granted. One that cannot tell the focus
    // (focusedWindow always none) has them wait the settle time.
    void setFocusWatch(FocusWatch watch) { m_focus = std::move(watch); }

    bool hasSession() const { return !m_session.isEmpty(); }
    // The desktop granted the keyboard: in this run, or in an earlier one whose restore token we keep.
    bool hasConsent() const;
    // Once per refusal: the user declined the keyboard, or granted everything but it.
    Signal<> consentRefused;

private:
    // How a try at a session ended, and the road each takes: granted serves the pastes that waited; refused
    // is final for this run; failed, unanswered and gone fail the pastes that waited, and the next paste
    // tries again. Not sooner: every try may put the desktop's question to the user, which only a paste the
    // user is waiting for may do.
    enum class Outcome { granted, refused, failed, unanswered, gone };
    // One try at a session: CreateSession, then SelectDevices and Start once the portal's version is in too.
    // Each answer names its try; one that comes for a try that is over is dropped, and a session it opened
    // after all is closed. While a try is current, pastes wait for it.
    struct Attempt {
        std::uint64_t number = 0;
        QString sessionToken;
        std::optional<std::uint32_t> version;
        QString session;  // once CreateSession answered
    };
    struct Waiting {
        PasteKeystroke keystroke;
        std::function<void(bool)> done;
        std::uint64_t id = 0;
        Timer consentDeadline;
        std::optional<std::uint64_t> focusedWindow;  // when the paste came
    };
    struct Settling {
        PasteKeystroke keystroke;
        std::function<void(bool)> done;
    };
    // One paste keystroke on its way: its events go out one at a time, behind those of earlier pastes.
    struct Stroke {
        QString session;  // where its keys go down, and so where they are released
        std::function<void(bool)> done;
        std::size_t unanswered = 0;
        bool finished = false;
        std::vector<int> down;  // pressed (or perhaps pressed) and not yet released, in press order
    };
    struct KeyEvent {
        QString session;
        int keycode = 0;
        std::uint32_t state = 0;
        std::shared_ptr<Stroke> stroke;  // none for a release sent after its paste failed
    };

    void startSession();
    Attempt* current(std::uint64_t attempt);
    void selectDevices(const Attempt& attempt);
    void start(const Attempt& attempt);
    void finish(Outcome outcome);
    void flushWaiting(bool started);
    std::optional<std::uint64_t> focusedWindow() const;
    // Holds the pastes that waited for the question until the focus is back on `target`.
    void settle(std::vector<Settling> pastes, std::optional<std::uint64_t> target);
    void settled();
    void consentUnanswered(std::uint64_t id);
    void post(PasteKeystroke keystroke, std::function<void(bool)> done);
    void sendNextKey();
    void keyAnswered(bool ok);
    void failStroke(const std::shared_ptr<Stroke>& stroke);
    void endSession();

    PortalClient m_client;
    bool m_refused = false;
    std::optional<Attempt> m_attempt;
    std::uint64_t m_attempts = 0;
    QString m_session;  // the started session, where the keys go
    std::vector<Waiting> m_waiting;
    FocusWatch m_focus;
    std::vector<Settling> m_settling;  // in order; later pastes queue behind them
    Timer m_settleDeadline;
    Connection m_focusChanged;
    std::uint64_t m_waitingCount = 0;
    std::deque<KeyEvent> m_keys;
    std::optional<KeyEvent> m_inFlight;
    QTimer m_keyAnswerDeadline;
    Connection m_vanished, m_closed;
};

}  // namespace vandrel::portal
