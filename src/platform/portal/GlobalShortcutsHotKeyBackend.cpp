#include "platform/portal/GlobalShortcutsHotKeyBackend.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QMetaObject>
#include <QString>
#include <algorithm>
#include <chrono>

#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "base/LocalizationManager.h"
#include "base/Log.h"
#include "platform/portal/XdgShortcutTrigger.h"

namespace vandrel::portal::detail {

// One element of the portal's a(sa{sv}) shortcut lists.
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut) {
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut) {
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

}  // namespace vandrel::portal::detail

Q_DECLARE_METATYPE(vandrel::portal::detail::PortalShortcut)

namespace vandrel::portal {
namespace {

using detail::PortalShortcut;
using KeyboardShortcuts::HotKeyEventKind;
using KeyboardShortcuts::HotKeyStatus;

QList<PortalShortcut> shortcutList(const QVariant& value) {
    if (value.metaType() == QMetaType::fromType<QDBusArgument>())
        return qdbus_cast<QList<PortalShortcut>>(value.value<QDBusArgument>());
    return value.value<QList<PortalShortcut>>();
}

// The combinations of a bind (combination -> shortcut id), in the portal's trigger format.
std::string describe(const std::map<std::pair<std::uint32_t, std::uint32_t>, std::string>& ids) {
    std::string out;
    for (const auto& [combination, id] : ids) {
        if (!out.empty()) out += ", ";
        out += xdgShortcutTrigger(combination.first, combination.second).value_or("?");
    }
    return out;
}

}  // namespace

GlobalShortcutsHotKeyBackend::GlobalShortcutsHotKeyBackend(QDBusConnection bus, QObject* parent)
    : QObject(parent), m_client(bus, "vandrel_shortcuts") {
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    auto& b = m_client.bus();
    const QString path = PortalClient::objectPath;
    const bool following = b.connect(PortalClient::service, path, interfaceName, "Activated", this,
                                     SLOT(onActivated(QDBusObjectPath, QString, qulonglong, QVariantMap))) &&
                           b.connect(PortalClient::service, path, interfaceName, "Deactivated", this,
                                     SLOT(onDeactivated(QDBusObjectPath, QString, qulonglong, QVariantMap))) &&
                           b.connect(PortalClient::service, path, interfaceName, "ShortcutsChanged", this,
                                     SLOT(onShortcutsChanged(QDBusMessage)));
    if (!following) {
        // A shortcut bound without its signals would never fire: registrations fail, and the caller
        // takes the next way.
        log("Platform", "hotkeys: cannot follow the GlobalShortcuts portal's signals");
        m_lost = Loss::refused;
    }
    m_vanished = m_client.vanished.connect([this] {
        if (m_lost == Loss::refused || m_lost == Loss::vanished) return;
        log("Platform", "hotkeys: the desktop portal left the session bus");
        m_session.clear();  // gone with the portal
        fail(Loss::vanished);
    });
    m_appeared = m_client.appeared.connect([this] {
        if (m_lost != Loss::vanished && m_lost != Loss::unanswered) return;
        log("Platform", "hotkeys: the desktop portal is on the session bus again");
        tryAgain(false);
    });
}

GlobalShortcutsHotKeyBackend::~GlobalShortcutsHotKeyBackend() {
    closeSession();
    if (m_attempt) m_client.closeSession(m_attempt->session);
}

HotKeyStatus GlobalShortcutsHotKeyBackend::registerHotKey(std::uint32_t keyCode, std::uint32_t carbonModifiers,
                                                          std::uint32_t id) {
    if (m_lost) return HotKeyStatus::unavailable;
    if (!xdgShortcutTrigger(keyCode, carbonModifiers)) return HotKeyStatus::unsupported;
    // The portal answers later; a refusal then arrives through `lost`.
    m_registrations[id] = {keyCode, carbonModifiers};
    scheduleSync();
    return HotKeyStatus::ok;
}

void GlobalShortcutsHotKeyBackend::unregisterHotKey(std::uint32_t id) {
    m_held.erase(id);
    if (m_registrations.erase(id)) scheduleSync();
}

bool GlobalShortcutsHotKeyBackend::isBound() const {
    if (m_attempt || m_syncScheduled) return false;
    for (const auto& combination : wantedCombinations())
        if (!m_bound.count(combination)) return false;
    return true;
}

std::optional<std::string> GlobalShortcutsHotKeyBackend::triggerDescription(std::uint32_t keyCode,
                                                                            std::uint32_t carbonModifiers) const {
    auto it = m_bound.find({keyCode, carbonModifiers});
    if (it == m_bound.end()) return std::nullopt;
    return it->second.triggerDescription;
}

std::set<GlobalShortcutsHotKeyBackend::Combination> GlobalShortcutsHotKeyBackend::wantedCombinations() const {
    std::set<Combination> wanted;
    for (const auto& [id, combination] : m_registrations) wanted.insert(combination);
    return wanted;
}

void GlobalShortcutsHotKeyBackend::scheduleSync() {
    // Choosing another trigger unregisters the old combination and registers the new one in one go:
    // bind once for both instead of opening a session (and a desktop dialog) per step.
    if (m_syncScheduled) return;
    m_syncScheduled = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_syncScheduled = false;
            sync();
        },
        Qt::QueuedConnection);
}

void GlobalShortcutsHotKeyBackend::sync() {
    if (m_lost || m_attempt) return;
    const auto wanted = wantedCombinations();
    std::set<Combination> bound;
    for (const auto& [combination, b] : m_bound) bound.insert(combination);
    if (wanted == bound) return;
    if (m_session.isEmpty()) {
        if (!wanted.empty()) bind(wanted);
        return;
    }
    // A session binds once: other combinations need a new one, and none need none (the desktop should not
    // go on holding the keys for us).
    releaseHeld();
    m_bound.clear();
    bind(wanted, std::exchange(m_session, QString()));
}

GlobalShortcutsHotKeyBackend::Attempt* GlobalShortcutsHotKeyBackend::current(std::uint64_t attempt) {
    return m_attempt && m_attempt->number == attempt ? &*m_attempt : nullptr;
}

void GlobalShortcutsHotKeyBackend::bind(const std::set<Combination>& wanted, const QString& closeFirst) {
    Attempt attempt{++m_attempts, {}, {}, {}, MainLoop::current().now()};
    for (const auto& combination : wanted) {
        const std::string& id = attempt.ids[combination] = shortcutIdFor(combination);
        QVariantMap properties{{"description", QString::fromStdString(localized("Dictation Hotkey"))}};
        if (auto trigger = xdgShortcutTrigger(combination.first, combination.second))
            properties.insert("preferred_trigger", QString::fromStdString(*trigger));
        attempt.shortcuts.push_back({QString::fromStdString(id), properties});
    }
    m_attempt = std::move(attempt);
    if (closeFirst.isEmpty()) {
        createSession(*m_attempt);
        return;
    }
    // The next session takes the same handle, which the portal frees only once it has closed this one.
    m_client.closeSession(closeFirst, [this, number = m_attempt->number] {
        auto* attempt = current(number);
        if (!attempt) return;
        if (!attempt->ids.empty()) {
            createSession(*attempt);
            return;
        }
        m_attempt.reset();
        sync();  // registrations may have come meanwhile
    });
}

void GlobalShortcutsHotKeyBackend::createSession(Attempt& attempt) {
    // Plasma 5.27 binds what the session is created with and nothing that BindShortcuts asks for later;
    // portals that follow the documentation ignore the option and bind on BindShortcuts.
    m_client.request(
        interfaceName, "CreateSession", {},
        {{"session_handle_token", QString(sessionToken)}, {"shortcuts", QVariant::fromValue(attempt.shortcuts)}},
        [this, number = attempt.number](std::uint32_t response, const QVariantMap& results) {
            const QString session = PortalClient::sessionHandle(results);
            auto* attempt = current(number);
            if (!attempt) {
                // A session opened for a try that is over holds keys for nobody. Every try takes the same
                // handle: while one is current, or bound, the session may be its own.
                if (response == PortalRequest::success && !m_attempt && session != m_session)
                    m_client.closeSession(session);
                return;
            }
            if (response != PortalRequest::success || session.isEmpty()) {
                bindFailed(response == PortalRequest::noAnswer ? Loss::unanswered : Loss::refused,
                           "the desktop portal did not open a shortcuts session");
                return;
            }
            attempt->session = session;
            listOrBind(*attempt);
        });
}

void GlobalShortcutsHotKeyBackend::listOrBind(Attempt& attempt) {
    // What the session holds already needs no BindShortcuts, which may open the desktop's shortcut
    // settings: at every start, that would be once too often.
    m_client.request(interfaceName, "ListShortcuts", {QVariant::fromValue(QDBusObjectPath(attempt.session))}, {},
                     [this, number = attempt.number](std::uint32_t response, const QVariantMap& results) {
                         auto* attempt = current(number);
                         if (!attempt) return;
                         if (response == PortalRequest::noAnswer)
                             bindFailed(Loss::unanswered, "the desktop portal did not list the shortcuts");
                         else if (response == PortalRequest::success && grantsAll(attempt->ids, results))
                             takeResults(results);
                         else
                             bindShortcuts(*attempt);
                     });
}

void GlobalShortcutsHotKeyBackend::bindShortcuts(Attempt& attempt) {
    m_client.request(
        interfaceName, "BindShortcuts",
        {QVariant::fromValue(QDBusObjectPath(attempt.session)), QVariant::fromValue(attempt.shortcuts), QString()}, {},
        [this, number = attempt.number](std::uint32_t response, const QVariantMap& results) {
            auto* attempt = current(number);
            if (!attempt) return;
            if (response == PortalRequest::noAnswer) {
                bindFailed(Loss::unanswered, "the desktop did not answer about the shortcut " + describe(attempt->ids));
                return;
            }
            // GNOME 48's backend answers a binding that went through with a response it never set (seen: 2),
            // the bound shortcuts beside it; a refusal lists none.
            if (response != PortalRequest::success && !grantsAll(attempt->ids, results)) {
                bindFailed(Loss::refused, "the desktop refused the shortcut " + describe(attempt->ids));
                return;
            }
            takeResults(results);
        },
        PortalClient::questionAnswerSeconds);
}

void GlobalShortcutsHotKeyBackend::bindFailed(Loss outcome, const std::string& what) {
    const TimePoint now = MainLoop::current().now();
    const TimePoint started = m_attempt ? m_attempt->started : now;
    if (outcome != Loss::unanswered) {
        log("Platform", "hotkeys: " + what);
        fail(outcome);
        return;
    }
    const double waited = std::chrono::duration<double>(now - started).count();
    m_retrySeconds = std::clamp(std::max(waited, 2 * m_retrySeconds), firstRetrySeconds, lastRetrySeconds);
    log("Platform", "hotkeys: " + what + " (no answer); asking again in " +
                        std::to_string(static_cast<int>(m_retrySeconds)) + " s");
    fail(outcome);
    m_retry = MainLoop::current().singleShot(seconds(m_retrySeconds), [this] { tryAgain(true); });
}

void GlobalShortcutsHotKeyBackend::tryAgain(bool samePortal) {
    m_retry.cancel();
    if (!m_lost || m_lost == Loss::refused || m_attempt) return;
    if (m_lostCombinations.empty()) {
        m_lost.reset();
        available.emit();
        return;
    }
    log("Platform", "hotkeys: asking the GlobalShortcuts portal again");
    // A backend that answered the last CreateSession after its bound has opened that session after all, under
    // the handle the next one takes: it goes first (where there is none, the portal just says so). A portal
    // that is new on the bus holds none, and takes our registration before any other call.
    bind(m_lostCombinations, samePortal ? m_client.sessionHandleFor(sessionToken) : QString());
}

bool GlobalShortcutsHotKeyBackend::grantsAll(const ShortcutIds& ids, const QVariantMap& results) {
    // A shortcut listed without a trigger is held by nothing (Plasma leaves it so when another shortcut has
    // the keys): the desktop's own question is the way to give it one.
    std::set<std::string> granted;
    for (const auto& shortcut : shortcutList(results.value("shortcuts")))
        if (!shortcut.properties.value("trigger_description").toString().isEmpty())
            granted.insert(shortcut.id.toStdString());
    for (const auto& [combination, id] : ids)
        if (!granted.count(id)) return false;
    return true;
}

void GlobalShortcutsHotKeyBackend::takeResults(const QVariantMap& results) {
    std::map<std::string, std::optional<std::string>> granted;
    for (const auto& shortcut : shortcutList(results.value("shortcuts"))) {
        const QString description = shortcut.properties.value("trigger_description").toString();
        granted[shortcut.id.toStdString()] =
            description.isEmpty() ? std::nullopt : std::optional(description.toStdString());
    }
    ShortcutIds refused;
    for (const auto& [combination, id] : m_attempt->ids)
        if (!granted.count(id)) refused.emplace(combination, id);
    if (!refused.empty()) {
        bindFailed(Loss::refused, "the desktop refused the shortcut " + describe(refused));
        return;
    }
    const Attempt attempt = *std::exchange(m_attempt, std::nullopt);
    m_session = attempt.session;
    m_bound.clear();
    for (const auto& [combination, id] : attempt.ids) m_bound[combination] = {id, granted[id]};
    log("Platform", "hotkeys: bound " + describe(attempt.ids) + " through the GlobalShortcuts portal");
    m_retrySeconds = 0;
    if (m_lost) {
        m_lost.reset();
        m_lostCombinations.clear();
        available.emit();
    }
    triggersChanged.emit();
    sync();  // registrations may have changed while the portal asked the user
}

void GlobalShortcutsHotKeyBackend::closeSession() {
    releaseHeld();
    m_bound.clear();
    if (m_session.isEmpty()) return;
    m_client.closeSession(std::exchange(m_session, QString()));
}

void GlobalShortcutsHotKeyBackend::releaseHeld(const std::optional<Combination>& only) {
    std::vector<std::uint32_t> released;
    for (auto id : m_held) {
        auto it = m_registrations.find(id);
        if (!only || (it != m_registrations.end() && it->second == *only)) released.push_back(id);
    }
    for (auto id : released) {
        m_held.erase(id);
        deliver(id, HotKeyEventKind::released);
    }
}

void GlobalShortcutsHotKeyBackend::fail(Loss loss) {
    // Told once: the caller has taken another way then, and a later try that fails changes nothing for it.
    const bool serving = !m_lost;
    if (serving) m_lostCombinations = wantedCombinations();
    m_lost = loss;
    m_retry.cancel();
    // A portal that left took its sessions along; the one now on the bus must get our registration first.
    if (auto attempt = std::exchange(m_attempt, std::nullopt); attempt && loss != Loss::vanished)
        m_client.closeSession(attempt->session);
    // A press whose release can no longer come must not leave a recording running.
    releaseHeld();
    closeSession();
    if (serving) lost.emit(loss);
}

std::optional<GlobalShortcutsHotKeyBackend::Combination> GlobalShortcutsHotKeyBackend::combinationOf(
    const QString& shortcutId) const {
    const std::string id = shortcutId.toStdString();
    for (const auto& [combination, bound] : m_bound)
        if (bound.id == id) return combination;
    return std::nullopt;
}

void GlobalShortcutsHotKeyBackend::handleActivated(const QString& session, const QString& shortcutId) {
    if (m_lost || session != m_session) return;
    auto combination = combinationOf(shortcutId);
    if (!combination) return;
    std::vector<std::uint32_t> pressed;
    for (const auto& [id, c] : m_registrations)
        if (c == *combination && !m_held.count(id)) pressed.push_back(id);
    for (auto id : pressed) {
        m_held.insert(id);
        deliver(id, HotKeyEventKind::pressed);
    }
}

void GlobalShortcutsHotKeyBackend::handleDeactivated(const QString& session, const QString& shortcutId) {
    if (m_lost || session != m_session) return;
    if (auto combination = combinationOf(shortcutId)) releaseHeld(combination);
}

void GlobalShortcutsHotKeyBackend::onActivated(const QDBusObjectPath& session, const QString& shortcutId, qulonglong,
                                               const QVariantMap&) {
    handleActivated(session.path(), shortcutId);
}

void GlobalShortcutsHotKeyBackend::onDeactivated(const QDBusObjectPath& session, const QString& shortcutId, qulonglong,
                                                 const QVariantMap&) {
    handleDeactivated(session.path(), shortcutId);
}

void GlobalShortcutsHotKeyBackend::onShortcutsChanged(const QDBusMessage& message) {
    const auto args = message.arguments();
    if (args.size() < 2 || args[0].value<QDBusObjectPath>().path() != m_session || m_session.isEmpty()) return;
    bool changed = false;
    for (const auto& shortcut : shortcutList(args[1])) {
        auto combination = combinationOf(shortcut.id);
        if (!combination) continue;
        const QString description = shortcut.properties.value("trigger_description").toString();
        auto& bound = m_bound[*combination];
        bound.triggerDescription = description.isEmpty() ? std::nullopt : std::optional(description.toStdString());
        changed = true;
        log("Platform",
            "hotkeys: the desktop now triggers " + bound.id + " with " + bound.triggerDescription.value_or("nothing"));
    }
    if (changed) triggersChanged.emit();
}

std::string GlobalShortcutsHotKeyBackend::shortcutIdFor(const Combination& combination) {
    // The name the combination is stored under, and the combination: a desktop that keeps the trigger it
    // first gave a shortcut (Plasma does, across sessions and restarts) then binds a combination chosen
    // later in our settings as a shortcut of its own, and one the user picks again finds its old trigger.
    const std::string trigger = xdgShortcutTrigger(combination.first, combination.second).value_or("unknown");
    for (const auto& name : KeyboardShortcuts::allStoredNames()) {
        auto stored = name.shortcut();
        if (stored && stored->carbonKeyCode == combination.first && stored->carbonModifiers == combination.second)
            return name.rawValue + "-" + trigger;
    }
    return "shortcut-" + trigger;
}

}  // namespace vandrel::portal
