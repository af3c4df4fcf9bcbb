#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QList>
#include <QObject>
#include <QVariantMap>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "KeyboardShortcuts/HotKeyBackend.h"
#include "base/MainLoop.h"
#include "base/Signal.h"
#include "platform/portal/PortalClient.h"

namespace vandrel::portal {

namespace detail {
struct PortalShortcut;
}

// System-wide hot keys through the GlobalShortcuts portal. Each registered combination becomes a portal
// shortcut with its preferred trigger; the desktop may let the user pick another trigger, and whatever
// triggers the shortcut then is what we follow. Activated and Deactivated arrive as the press and the
// release of the registration, so the shortcut module and the hotkey manager see what they see on X11.
//
// A portal session binds only once, so a changed set of combinations means a new session; changes made
// in one turn of the event loop are bound together. The combinations go with CreateSession (the one way
// Plasma 5.27 binds) and, where ListShortcuts does not show them bound then, with BindShortcuts (the
// documented way, which may ask the user). Main thread only.
class GlobalShortcutsHotKeyBackend : public QObject, public KeyboardShortcuts::HotKeyBackend {
    Q_OBJECT
public:
    static constexpr const char* interfaceName = "org.freedesktop.portal.GlobalShortcuts";
    // Every session takes this handle token: Plasma keeps a session's shortcuts, and the triggers the
    // user gave them, under the token (and shows it as the group's name in its shortcut settings).
    static constexpr const char* sessionToken = "Vandrel";

    enum class Loss {
        refused,     // the portal (or the user) did not bind the shortcut: final for this run
        unanswered,  // the portal did not answer in time: asked again after a pause, as nothing else tells that
                     // it is ready (a slow portal keeps its bus name); `available` says when bound after all
        vanished,    // the portal left the bus: asked again once it is back, as above
    };
    // The pause before the portal is asked again after it did not answer: as long as that try waited (the time a
    // backend had to start, or a dialog stood open), at least the first step, doubled at each try that goes
    // unanswered too, up to the last step.
    static constexpr double firstRetrySeconds = 10.0;
    static constexpr double lastRetrySeconds = 600.0;

    explicit GlobalShortcutsHotKeyBackend(QDBusConnection bus = QDBusConnection::sessionBus(),
                                          QObject* parent = nullptr);
    ~GlobalShortcutsHotKeyBackend() override;

    KeyboardShortcuts::HotKeyStatus registerHotKey(std::uint32_t keyCode, std::uint32_t carbonModifiers,
                                                   std::uint32_t id) override;
    void unregisterHotKey(std::uint32_t id) override;
    // The desktop settles conflicts in its own dialog; nothing is known to be taken beforehand.
    bool isHeldElsewhere(std::uint32_t, std::uint32_t) override { return false; }

    // Every registered combination is bound in the current session.
    bool isBound() const;
    bool isLost() const { return m_lost.has_value(); }
    // How the desktop says the combination is triggered, once it told us ("Ctrl+Shift+Space", or the
    // trigger the user chose instead).
    std::optional<std::string> triggerDescription(std::uint32_t keyCode, std::uint32_t carbonModifiers) const;

    // When the binding was refused or the portal stopped answering or went away, once until `available`.
    // Triggers held at that moment have been released before; further registrations fail, so the caller picks
    // another way.
    Signal<Loss> lost;
    // After a loss that was not final: the portal has bound again what the caller had registered when it was
    // lost (or it is back, where nothing was). Registrations are taken again, so the caller may hand the
    // combinations back.
    Signal<> available;
    // The portal told us of new trigger descriptions.
    Signal<> triggersChanged;

    // The bound shortcuts' session; empty while none is.
    const QString& session() const { return m_session; }
    // The portal signals, decoded (public for the latency benchmark).
    void handleActivated(const QString& session, const QString& shortcutId);
    void handleDeactivated(const QString& session, const QString& shortcutId);

private Q_SLOTS:
    void onActivated(const QDBusObjectPath& session, const QString& shortcutId, qulonglong timestamp,
                     const QVariantMap& options);
    void onDeactivated(const QDBusObjectPath& session, const QString& shortcutId, qulonglong timestamp,
                       const QVariantMap& options);
    void onShortcutsChanged(const QDBusMessage& message);

private:
    using Combination = std::pair<std::uint32_t, std::uint32_t>;  // key code, modifiers
    struct Bound {
        std::string id;
        std::optional<std::string> triggerDescription;
    };

    // The shortcut id of each combination of one bind, fixed when the bind starts: the stored shortcuts may
    // change while the desktop asks, and the answer speaks of the ids it was given.
    using ShortcutIds = std::map<Combination, std::string>;
    // One try at binding: closing the session before, if any (the next one takes the same handle), then
    // CreateSession, ListShortcuts and perhaps BindShortcuts. Each answer names its try; one that comes for
    // a try that is over (the portal left meanwhile) is dropped. A try is current from its first call until
    // it is granted or ends as a Loss says (each with its road: see there), and while it is, no other begins.
    struct Attempt {
        std::uint64_t number = 0;
        ShortcutIds ids;
        QList<detail::PortalShortcut> shortcuts;
        QString session;  // once CreateSession answered
        TimePoint started;
    };

    void scheduleSync();
    void sync();
    void bind(const std::set<Combination>& wanted, const QString& closeFirst = {});
    Attempt* current(std::uint64_t attempt);
    void createSession(Attempt& attempt);
    void listOrBind(Attempt& attempt);
    void bindShortcuts(Attempt& attempt);
    static bool grantsAll(const ShortcutIds& ids, const QVariantMap& results);
    void takeResults(const QVariantMap& results);
    void bindFailed(Loss outcome, const std::string& what);
    void tryAgain(bool samePortal);
    void closeSession();
    void releaseHeld(const std::optional<Combination>& only = std::nullopt);
    void fail(Loss loss);
    std::optional<Combination> combinationOf(const QString& shortcutId) const;
    std::set<Combination> wantedCombinations() const;
    static std::string shortcutIdFor(const Combination& combination);

    PortalClient m_client;
    std::map<std::uint32_t, Combination> m_registrations;  // registration id -> combination
    std::map<Combination, Bound> m_bound;                  // bound in m_session
    std::set<std::uint32_t> m_held;                        // registrations whose press was delivered
    QString m_session;
    std::optional<Attempt> m_attempt;
    std::uint64_t m_attempts = 0;
    bool m_syncScheduled = false;
    std::optional<Loss> m_lost;
    // While lost: what was registered then, which the next try binds; and that try's timer.
    std::set<Combination> m_lostCombinations;
    double m_retrySeconds = 0;
    Timer m_retry;
    Connection m_vanished, m_appeared;
};

}  // namespace vandrel::portal
