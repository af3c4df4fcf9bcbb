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
        refused,   // the portal (or the user) did not bind the shortcut: final for this run
        vanished,  // the portal left the bus or did not answer: `available` says when it is back
    };

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

    // Once, when the binding was refused or the portal went away. Triggers held at that moment have been
    // released before; further registrations fail, so the caller picks another way.
    Signal<Loss> lost;
    // A portal that had vanished is on the bus again (restarted, or started after us): registrations
    // are taken again, so the caller may hand the combinations back.
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

    void scheduleSync();
    void sync();
    // The shortcut id of each combination of one bind, fixed when the bind starts: the stored shortcuts may
    // change while the desktop asks, and the answer speaks of the ids it was given.
    using ShortcutIds = std::map<Combination, std::string>;

    void bind(const std::set<Combination>& wanted);
    void listOrBind(const ShortcutIds& ids, const QList<detail::PortalShortcut>& shortcuts);
    void bindShortcuts(const ShortcutIds& ids, const QList<detail::PortalShortcut>& shortcuts);
    static bool grantsAll(const ShortcutIds& ids, const QVariantMap& results);
    void takeResults(const ShortcutIds& ids, const QVariantMap& results);
    void bindFailed(std::uint32_t response, const std::string& what);
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
    bool m_binding = false;
    bool m_syncScheduled = false;
    std::optional<Loss> m_lost;
    Connection m_vanished, m_appeared;
};

}  // namespace vandrel::portal
